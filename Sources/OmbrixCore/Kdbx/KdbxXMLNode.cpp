#include "OmbrixCore/Kdbx/KdbxXMLNode.h"

#include <expat.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <exception>
#include <new>

#include "OmbrixCore/Kdbx/Base64.h"
#include "OmbrixCore/Kdbx/InnerStreamCipher.h"
#include "OmbrixCore/Kdbx/KdbxError.h"
#include "OmbrixCore/Kdbx/KdbxXMLEscape.h"
#include "OmbrixCore/Kdbx/PartChannel.h"
#include "OmbrixCore/Kdbx/Pipeline.h"
#include "OmbrixCore/Kdbx/UnicodeText.h"

namespace {

// XML_Parse takes an int length: larger documents are fed in pieces.
constexpr std::size_t maxPiece = std::size_t{1} << 30;

bool isTrue(const char* value) {
    const std::string_view v(value);
    if (v.size() != 4) return false;
    const char* expected = "true";
    for (std::size_t i = 0; i < 4; ++i) {
        const char c = v[i] >= 'A' && v[i] <= 'Z' ? static_cast<char>(v[i] - 'A' + 'a') : v[i];
        if (c != expected[i]) return false;
    }
    return true;
}

// Memory for the nodes of one parsed tree, taken in blocks instead of one allocation per node:
// a database holds millions of elements. A node given back is kept for the next one (every
// node takes the same size), so that a reader that drops each part of the document once read
// needs room for that part only; the blocks go when the builder and the last node have let go.
class NodePool {
  public:
    // A pool is held by its builders and by each node in it; the last to let go frees it. One
    // count per node instead of a shared pointer copied with every allocator: a node is made and
    // dropped millions of times per load, and each copy would cost an atomic operation.
    static NodePool* create() { return new NodePool; }
    void retain() noexcept { holders_.fetch_add(1, std::memory_order_relaxed); }
    void release() noexcept {
        if (holders_.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
    }

    void* allocate(std::size_t size, std::size_t alignment) {
        if (size == slotSize_ && free_ != nullptr) {
            FreeSlot* slot = free_;
            free_ = slot->next;
            return slot;
        }
        std::size_t offset = (used_ + alignment - 1) / alignment * alignment;
        if (blocks_.empty() || offset + size > blockSize) {
            // Blocks below the usual mmap threshold come back to the allocator for reuse.
            blocks_.push_back(std::unique_ptr<std::byte[]>(new std::byte[std::max(size, blockSize)]));
            offset = 0;
        }
        used_ = offset + size;
        return blocks_.back().get() + offset;
    }

    void deallocate(void* p, std::size_t size) noexcept {
        // Only slots of the one node size, large enough to hold the link, are kept.
        if (size < sizeof(FreeSlot)) return;
        if (slotSize_ == 0) slotSize_ = size;
        if (size != slotSize_) return;
        free_ = ::new (p) FreeSlot{free_};
    }

  private:
    NodePool() = default;
    ~NodePool() = default;

    struct FreeSlot {
        FreeSlot* next;
    };

    std::atomic<std::size_t> holders_{1};

    static constexpr std::size_t blockSize = 64 * 1024;
    std::vector<std::unique_ptr<std::byte[]>> blocks_;
    std::size_t used_ = 0;
    std::size_t slotSize_ = 0;
    FreeSlot* free_ = nullptr;
};

// A builder's hold on a pool; a copy holds it once more.
class PoolRef {
  public:
    PoolRef() : pool_(NodePool::create()) {}
    PoolRef(const PoolRef& other) noexcept : pool_(other.pool_) { pool_->retain(); }
    PoolRef& operator=(const PoolRef&) = delete;
    ~PoolRef() { pool_->release(); }

    NodePool* get() const { return pool_; }

  private:
    NodePool* pool_;
};

// Each node's control block holds the pool from its allocation until its memory is given back.
template <class T>
struct PoolAllocator {
    using value_type = T;

    explicit PoolAllocator(NodePool* p) noexcept : pool(p) {}
    template <class U>
    PoolAllocator(const PoolAllocator<U>& other) noexcept : pool(other.pool) {}

    T* allocate(std::size_t n) {
        T* p = static_cast<T*>(pool->allocate(n * sizeof(T), alignof(T)));
        pool->retain();
        return p;
    }
    void deallocate(T* p, std::size_t n) noexcept {
        pool->deallocate(p, n * sizeof(T));
        pool->release();
    }

    template <class U>
    bool operator==(const PoolAllocator<U>& other) const noexcept {
        return pool == other.pool;
    }

    NodePool* pool;
};

// Builds the tree from the events of one parse, whoever drives them: expat on the same thread,
// or a record of expat's events made on another.
class TreeBuilder {
  public:
    TreeBuilder(InnerStreamCipher* stream, KdbxXMLNode::Handler* handler, const PoolRef& pool = PoolRef())
        : stream_(stream), handler_(handler), pool_(pool) {}

    KdbxXMLNode::Ptr finish(bool parsedOK) { return complete(parsedOK) ? std::move(root_) : nullptr; }
    bool complete(bool parsedOK) const { return parsedOK && !failed_ && stack_.empty(); }

    // The document is refused; later events are ignored.
    void fail() { failed_ = true; }
    bool failed() const { return failed_; }

    // `attributes` as expat gives them: names and values in turn, ended by a null pointer.
    void start(const char* name, const char** attributes) {
        if (failed_) return;
        if (stack_.size() >= KdbxXMLNode::maxDepth) return fail();
        KdbxXMLNode::Attributes map;
        bool isProtected = false;
        for (const char** a = attributes; *a != nullptr; a += 2) {
            if (std::string_view(a[0]) == "Protected") {
                isProtected = isTrue(a[1]);
            } else {
                map.emplace(a[0], a[1]);
            }
        }
        if (handler_ != nullptr && (stack_.empty() || stack_.back() == nullptr) && handler_->open(name)) {
            // An open element has no node: a null entry on the stack stands for it.
            stack_.push_back(nullptr);
            open_.push_back({isProtected, {}});
            return;
        }
        auto node =
            std::allocate_shared<KdbxXMLNode>(PoolAllocator<KdbxXMLNode>(pool_.get()), name, std::move(map));
        node->isProtected = isProtected;
        stack_.push_back(std::move(node));
        // Children are gathered per level in reused vectors and moved into the node in one
        // exact allocation when it ends.
        if (pending_.size() < stack_.size()) pending_.resize(stack_.size());
    }

    void characters(const char* text, std::size_t length) {
        if (failed_ || stack_.empty()) return;
        if (KdbxXMLNode* node = stack_.back().get()) {
            node->text.append(text, length);
        } else if (open_.back().isProtected) {
            open_.back().text.append(text, length);
        }
    }

    void end() {
        if (failed_ || stack_.empty()) return;
        if (stack_.back() == nullptr) {
            stack_.pop_back();
            const OpenElement element = std::move(open_.back());
            open_.pop_back();
            // Its text decrypts to nothing anyone reads, but takes its share of the keystream.
            if (element.isProtected && stream_ != nullptr) decode(element.text);
            handler_->close();
            return;
        }
        KdbxXMLNode::Ptr node = std::move(stack_.back());
        stack_.pop_back();
        std::vector<KdbxXMLNode::Ptr>& gathered = pending_[stack_.size()];
        if (!gathered.empty()) {
            node->children.assign(std::make_move_iterator(gathered.begin()),
                                  std::make_move_iterator(gathered.end()));
            gathered.clear();
        }
        if (node->isProtected && stream_ != nullptr) decrypt(*node);
        if (handler_ != nullptr && (stack_.empty() || stack_.back() == nullptr)) {
            handler_->child(std::move(node));
        } else if (stack_.empty()) {
            root_ = std::move(node);
        } else {
            pending_[stack_.size() - 1].push_back(std::move(node));
        }
    }

  private:
    Bytes decode(const std::string& text) {
        const std::optional<Bytes> cipher = Base64::decodeLenient(text);
        if (!cipher) throw KdbxError::corruptedData("korumalı değer base64 değil");
        return stream_->process(*cipher);
    }

    void decrypt(KdbxXMLNode& node) {
        const Bytes plain = decode(node.text);
        // An attachment of a version 3 pool is bytes, not text: kept exactly, as base64.
        const bool attachment = node.name == "Binary" && !stack_.empty() && stack_.back() != nullptr &&
                                stack_.back()->name == "Binaries";
        node.text = attachment ? Base64::encode(plain) : UnicodeText::decodeUTF8(plain);
    }

    struct OpenElement {
        bool isProtected = false;
        std::string text;
    };

    InnerStreamCipher* stream_;
    KdbxXMLNode::Handler* handler_;
    PoolRef pool_;
    std::vector<OpenElement> open_;
    KdbxXMLNode::Ptr root_;
    std::vector<KdbxXMLNode::Ptr> stack_;
    std::vector<std::vector<KdbxXMLNode::Ptr>> pending_;
    bool failed_ = false;
};

// Points expat's events at the handlers of `driver`. A document type declaration is where
// entities would be declared (and expanded exponentially); the format never has one, so the
// driver refuses a document with one outright.
template <class Driver>
void connect(XML_Parser parser, Driver* driver) {
    XML_SetUserData(parser, driver);
    XML_SetElementHandler(parser, &Driver::onStart, &Driver::onEnd);
    XML_SetCharacterDataHandler(parser, &Driver::onCharacters);
    XML_SetStartDoctypeDeclHandler(parser, &Driver::onDoctype);
    XML_SetEntityDeclHandler(parser, &Driver::onEntityDecl);
}

// Drives a builder from expat on the same thread. No exception may cross expat's C frames: each
// handler catches, records and stops the parser, and complete() rethrows once XML_Parse has
// returned.
class ExpatDriver {
  public:
    ExpatDriver(XML_Parser parser, TreeBuilder& builder) : parser_(parser), builder_(builder) {
        connect(parser, this);
    }

    bool complete(bool parsedOK) {
        if (error_) std::rethrow_exception(error_);
        return builder_.complete(parsedOK);
    }

  private:
    template <class Driver>
    friend void connect(XML_Parser, Driver*);

    static ExpatDriver& self(void* data) { return *static_cast<ExpatDriver*>(data); }

    static void onStart(void* data, const XML_Char* name, const XML_Char** attributes) {
        self(data).guard([&](TreeBuilder& b) { b.start(name, attributes); });
    }
    static void onEnd(void* data, const XML_Char*) {
        self(data).guard([](TreeBuilder& b) { b.end(); });
    }
    static void onCharacters(void* data, const XML_Char* text, int length) {
        self(data).guard([&](TreeBuilder& b) { b.characters(text, static_cast<std::size_t>(length)); });
    }
    static void onDoctype(void* data, const XML_Char*, const XML_Char*, const XML_Char*, int) {
        self(data).guard([](TreeBuilder& b) { b.fail(); });
    }
    static void onEntityDecl(void* data, const XML_Char*, int, const XML_Char*, int, const XML_Char*,
                             const XML_Char*, const XML_Char*, const XML_Char*) {
        self(data).guard([](TreeBuilder& b) { b.fail(); });
    }

    template <class Fn>
    void guard(Fn&& fn) {
        // Expat may deliver a few more events after being stopped; the builder ignores them.
        if (builder_.failed()) return;
        try {
            fn(builder_);
        } catch (...) {
            error_ = std::current_exception();
            builder_.fail();
        }
        if (builder_.failed()) XML_StopParser(parser_, XML_FALSE);
    }

    XML_Parser parser_;
    TreeBuilder& builder_;
    std::exception_ptr error_;
};

// Records expat's events in chunks for a builder on another thread: expat's pass and the building
// of the tree are the two halves of reading a payload, and each then has a core. An event is 'S',
// the attribute count (4 bytes), then the element name and each attribute name and value, each
// followed by a NUL (which expat never lets into either); 'T', a length (4 bytes) and that much
// character data (runs of it merged); or 'E'. The record ends with 'D' when the document was
// well-formed and 'X' when it was not or held a document type declaration.
class EventRecorder {
  public:
    EventRecorder(XML_Parser parser, PartChannel& out) : parser_(parser), out_(out) {
        connect(parser, this);
        chunk_.resize(chunkSize + chunkSize / 4);
    }

    // Ends the record once expat has returned, unless nobody reads it any more.
    void finish(bool parsedOK) {
        if (error_) std::rethrow_exception(error_);
        if (abandoned_) return;
        room(1);
        chunk_[used_++] = parsedOK && !refused_ ? 'D' : 'X';
        flush();
    }

  private:
    // A chunk is handed on once it holds this much; the buffer has a quarter more, so that most
    // events fit behind that mark without a check of their own.
    static constexpr std::size_t chunkSize = 256 * 1024;

    template <class Driver>
    friend void connect(XML_Parser, Driver*);

    static EventRecorder& self(void* data) { return *static_cast<EventRecorder*>(data); }

    // The record is written through a cursor into a buffer sized in advance: this runs on
    // expat's thread, the one the whole load waits for, once for every event of the payload.
    static void onStart(void* data, const XML_Char* name, const XML_Char** attributes) {
        self(data).guard([&](EventRecorder& r) {
            r.textLength_ = noText;
            std::size_t count = 0;
            const std::size_t nameLength = std::strlen(name) + 1;
            std::size_t size = 1 + 4 + nameLength;
            while (attributes[2 * count] != nullptr) {
                size += std::strlen(attributes[2 * count]) + std::strlen(attributes[2 * count + 1]) + 2;
                ++count;
            }
            r.room(size);
            std::uint8_t* at = r.chunk_.data() + r.used_;
            *at++ = 'S';
            const auto count32 = static_cast<std::uint32_t>(count);
            std::memcpy(at, &count32, 4);
            at += 4;
            std::memcpy(at, name, nameLength);
            at += nameLength;
            for (std::size_t i = 0; i < 2 * count; ++i) {
                const std::size_t length = std::strlen(attributes[i]) + 1;
                std::memcpy(at, attributes[i], length);
                at += length;
            }
            r.used_ = static_cast<std::size_t>(at - r.chunk_.data());
            if (r.used_ >= chunkSize) r.flush();
        });
    }
    static void onEnd(void* data, const XML_Char*) {
        self(data).guard([](EventRecorder& r) {
            r.textLength_ = noText;
            r.room(1);
            r.chunk_[r.used_++] = 'E';
        });
    }
    static void onCharacters(void* data, const XML_Char* text, int length) {
        self(data).guard([&](EventRecorder& r) {
            const auto size = static_cast<std::size_t>(length);
            // Runs of character data (expat hands over each line apart) are merged into one.
            if (r.textLength_ == noText || r.used_ + size > r.chunk_.size()) {
                r.textLength_ = noText;
                r.room(1 + 4 + size);
                r.chunk_[r.used_++] = 'T';
                r.textLength_ = r.used_;
                r.textTotal_ = 0;
                r.used_ += 4;
            }
            std::memcpy(r.chunk_.data() + r.used_, text, size);
            r.used_ += size;
            r.textTotal_ += static_cast<std::uint32_t>(size);
            std::memcpy(r.chunk_.data() + r.textLength_, &r.textTotal_, sizeof r.textTotal_);
            if (r.used_ >= chunkSize) r.flush();
        });
    }
    static void onDoctype(void* data, const XML_Char*, const XML_Char*, const XML_Char*, int) {
        self(data).guard([](EventRecorder& r) { r.refused_ = true; });
    }
    static void onEntityDecl(void* data, const XML_Char*, int, const XML_Char*, int, const XML_Char*,
                             const XML_Char*, const XML_Char*, const XML_Char*) {
        self(data).guard([](EventRecorder& r) { r.refused_ = true; });
    }

    // No exception may cross expat's C frames: it is kept, the parser stopped, and finish()
    // rethrows it. Expat may deliver a few more events after being stopped; they are ignored.
    template <class Fn>
    void guard(Fn&& fn) {
        if (stopped()) return;
        try {
            fn(*this);
        } catch (...) {
            error_ = std::current_exception();
        }
        if (stopped()) XML_StopParser(parser_, XML_FALSE);
    }

    bool stopped() const { return refused_ || abandoned_ || error_; }

    // Makes room for `size` more bytes: the chunk is handed on first when they would not fit,
    // and an event larger than a whole chunk gets a buffer of its size.
    void room(std::size_t size) {
        if (used_ + size <= chunk_.size()) return;
        if (used_ > 0) flush();
        if (size > chunk_.size()) chunk_.resize(size);
    }

    void flush() {
        textLength_ = noText;
        Bytes full = out_.spare();
        full.resize(std::max(chunkSize + chunkSize / 4, full.capacity()));
        full.swap(chunk_);
        full.resize(used_);
        used_ = 0;
        // The builder stopped reading: nothing more need be read.
        if (!out_.push(std::move(full))) abandoned_ = true;
    }

    static constexpr std::size_t noText = SIZE_MAX;

    XML_Parser parser_;
    PartChannel& out_;
    // The chunk being written, sized in advance; its first used_ bytes are the record.
    Bytes chunk_;
    std::size_t used_ = 0;
    // Where the length of the character data being recorded stands in the chunk, and that length.
    std::size_t textLength_ = noText;
    std::uint32_t textTotal_ = 0;
    bool refused_ = false;
    bool abandoned_ = false;
    std::exception_ptr error_;
};

// Plays a record of events into the builder; false once the record has ended. `parsedOK` is set
// by the record's last event.
bool replay(const Bytes& chunk, TreeBuilder& builder, std::vector<const char*>& attributes, bool& parsedOK) {
    const auto* data = reinterpret_cast<const char*>(chunk.data());
    const char* const end = data + chunk.size();
    const auto length = [&] {
        std::uint32_t value = 0;
        std::memcpy(&value, data, sizeof value);
        data += sizeof value;
        return value;
    };
    const auto string = [&] {
        const char* text = data;
        data += std::strlen(text) + 1;
        return text;
    };
    while (data < end && !builder.failed()) {
        switch (*data++) {
            case 'S': {
                const std::uint32_t count = length();
                const char* name = string();
                attributes.clear();
                for (std::uint32_t i = 0; i < 2 * count; ++i) attributes.push_back(string());
                attributes.push_back(nullptr);
                builder.start(name, attributes.data());
                break;
            }
            case 'T': {
                const std::uint32_t size = length();
                builder.characters(data, size);
                data += size;
                break;
            }
            case 'E':
                builder.end();
                break;
            default:
                parsedOK = data[-1] == 'D';
                return false;
        }
    }
    return !builder.failed();
}

struct ParserFree {
    void operator()(XML_Parser parser) const { XML_ParserFree(parser); }
};

void appendNode(const KdbxXMLNode& node, std::string& out, bool protectedIsLeaf) {
    out += '<';
    out += node.name;
    for (const auto& [name, value] : node.attributes) {
        if (name == "Protected") continue;
        out += ' ';
        out += name;
        out += "=\"";
        KdbxXMLEscape::appendAttribute(out, value);
        out += '"';
    }
    if (node.isProtected) out += " Protected=\"True\"";
    const bool leaf = (protectedIsLeaf && node.isProtected) || node.children.empty();
    if (leaf && node.text.empty()) {
        out += "/>";
        return;
    }
    out += '>';
    if (leaf) {
        KdbxXMLEscape::appendText(out, node.text);
    } else {
        for (const KdbxXMLNode::Ptr& child : node.children) appendNode(*child, out, protectedIsLeaf);
    }
    out += "</";
    out += node.name;
    out += '>';
}

}  // namespace

namespace {

// Feeds the whole input to expat; false when it is not well-formed.
bool feed(XML_Parser parser, ByteView data) {
    const char* next = reinterpret_cast<const char*>(data.data());
    std::size_t left = data.size();
    do {
        const std::size_t piece = std::min(left, maxPiece);
        const bool isFinal = piece == left;
        if (XML_Parse(parser, next, static_cast<int>(piece), isFinal ? XML_TRUE : XML_FALSE) !=
            XML_STATUS_OK) {
            return false;
        }
        next += piece;
        left -= piece;
    } while (left > 0);
    return true;
}

}  // namespace

KdbxXMLNode::Ptr KdbxXMLNode::parse(ByteView data, InnerStreamCipher* stream) {
    std::unique_ptr<XML_ParserStruct, ParserFree> parser(XML_ParserCreate(nullptr));
    if (!parser) throw std::bad_alloc();
    TreeBuilder builder(stream, nullptr);
    ExpatDriver driver(parser.get(), builder);
    const bool parsed = driver.complete(feed(parser.get(), data));
    return builder.finish(parsed);
}

bool KdbxXMLNode::parse(ByteView data, InnerStreamCipher* stream, Handler& handler) {
    std::unique_ptr<XML_ParserStruct, ParserFree> parser(XML_ParserCreate(nullptr));
    if (!parser) throw std::bad_alloc();
    TreeBuilder builder(stream, &handler);
    ExpatDriver driver(parser.get(), builder);
    return driver.complete(feed(parser.get(), data));
}

bool KdbxXMLNode::parse(const Source& next, InnerStreamCipher* stream, Handler& handler) {
    // Expat reads on a thread of its own; the tree is built, and the handler called, here.
    Pipeline pipeline;
    pipeline.then([&next](PartChannel*, PartChannel& events) {
        std::unique_ptr<XML_ParserStruct, ParserFree> parser(XML_ParserCreate(nullptr));
        if (!parser) throw std::bad_alloc();
        EventRecorder recorder(parser.get(), events);
        bool parsed = true;
        for (ByteView part = next(); parsed && !part.empty(); part = next()) {
            for (std::size_t offset = 0; parsed && offset < part.size(); offset += maxPiece) {
                const std::size_t piece = std::min(maxPiece, part.size() - offset);
                parsed = XML_Parse(parser.get(), reinterpret_cast<const char*>(part.data() + offset),
                                   static_cast<int>(piece), XML_FALSE) == XML_STATUS_OK;
            }
        }
        parsed = parsed && XML_Parse(parser.get(), nullptr, 0, XML_TRUE) == XML_STATUS_OK;
        recorder.finish(parsed);
    });
    return pipeline.finish([&](PartChannel& events) {
        TreeBuilder builder(stream, &handler);
        std::vector<const char*> attributes;
        bool parsed = false;
        while (std::optional<Bytes> chunk = events.pop()) {
            const bool more = replay(*chunk, builder, attributes, parsed);
            events.recycle(std::move(*chunk));
            // A builder that refused the document reads no further: expat stops at its next chunk.
            if (!more) break;
        }
        return builder.complete(parsed);
    });
}

struct KdbxXMLNode::FragmentReader::State {
    std::unique_ptr<XML_ParserStruct, ParserFree> parser;
    PoolRef pool;
    bool used = false;
};

KdbxXMLNode::FragmentReader::FragmentReader() : state_(std::make_unique<State>()) {
    state_->parser.reset(XML_ParserCreate(nullptr));
    if (!state_->parser) throw std::bad_alloc();
}

KdbxXMLNode::FragmentReader::~FragmentReader() = default;

KdbxXMLNode::Ptr KdbxXMLNode::FragmentReader::parse(std::string_view text) {
    // A reset parser starts a new document, its handlers cleared (the builder sets its own).
    if (state_->used && XML_ParserReset(state_->parser.get(), nullptr) != XML_TRUE) {
        state_->parser.reset(XML_ParserCreate(nullptr));
        if (!state_->parser) throw std::bad_alloc();
    }
    state_->used = true;
    XML_Parser parser = state_->parser.get();
    TreeBuilder builder(nullptr, nullptr, state_->pool);
    ExpatDriver driver(parser, builder);
    const bool parsed = driver.complete(
        feed(parser, ByteView(reinterpret_cast<const std::uint8_t*>(text.data()), text.size())));
    return builder.finish(parsed);
}

KdbxXMLNode::Ptr KdbxXMLNode::parse(std::string_view text, InnerStreamCipher* stream) {
    return parse(ByteView(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()), stream);
}

const KdbxXMLNode* KdbxXMLNode::child(std::string_view childName) const {
    for (const Ptr& c : children) {
        if (c->name == childName) return c.get();
    }
    return nullptr;
}

std::vector<const KdbxXMLNode*> KdbxXMLNode::childrenNamed(std::string_view childName) const {
    std::vector<const KdbxXMLNode*> out;
    for (const Ptr& c : children) {
        if (c->name == childName) out.push_back(c.get());
    }
    return out;
}

std::string KdbxXMLNode::trimmedText() const {
    return std::string(UnicodeText::trimWhiteSpace(text));
}

std::string KdbxXMLNode::rawXMLString() const {
    std::string out;
    appendRaw(out);
    return out;
}

void KdbxXMLNode::appendRaw(std::string& out) const {
    appendNode(*this, out, false);
}

void KdbxXMLNode::appendAsWritten(std::string& out) const {
    appendNode(*this, out, true);
}
