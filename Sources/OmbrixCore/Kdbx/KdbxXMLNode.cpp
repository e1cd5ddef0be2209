#include "OmbrixCore/Kdbx/KdbxXMLNode.h"

#include <expat.h>

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <exception>
#include <new>

#include "OmbrixCore/Kdbx/Base64.h"
#include "OmbrixCore/Kdbx/InnerStreamCipher.h"
#include "OmbrixCore/Kdbx/KdbxError.h"
#include "OmbrixCore/Kdbx/KdbxXMLEscape.h"
#include "OmbrixCore/Kdbx/KdbxXMLExpat.h"
#include "OmbrixCore/Kdbx/PartChannel.h"
#include "OmbrixCore/Kdbx/Pipeline.h"
#include "OmbrixCore/Kdbx/UnicodeText.h"

namespace {

using KdbxXMLInternal::connect;
using KdbxXMLInternal::maxPiece;
using KdbxXMLInternal::ParserFree;

bool isTrue(std::string_view v) {
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

    // `attributes`: names and values in turn.
    void start(std::string_view name, std::span<const std::string_view> attributes) {
        if (failed_) return;
        if (stack_.size() >= KdbxXMLNode::maxDepth) return fail();
        KdbxXMLNode::Attributes map;
        bool isProtected = false;
        for (std::size_t i = 0; i + 1 < attributes.size(); i += 2) {
            if (attributes[i] == "Protected") {
                isProtected = isTrue(attributes[i + 1]);
            } else {
                map.emplace(attributes[i], attributes[i + 1]);
            }
        }
        if (handler_ != nullptr && (stack_.empty() || stack_.back() == nullptr) && handler_->open(name)) {
            // An open element has no node: a null entry on the stack stands for it.
            stack_.push_back(nullptr);
            open_.push_back({isProtected, {}});
            return;
        }
        auto node = std::allocate_shared<KdbxXMLNode>(PoolAllocator<KdbxXMLNode>(pool_.get()),
                                                      std::string(name), std::move(map));
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
    friend void KdbxXMLInternal::connect(XML_Parser, Driver*);

    static ExpatDriver& self(void* data) { return *static_cast<ExpatDriver*>(data); }

    static void onStart(void* data, const XML_Char* name, const XML_Char** attributes) {
        self(data).guard([&](TreeBuilder& b) {
            std::vector<std::string_view>& views = self(data).attributes_;
            views.clear();
            for (const XML_Char** a = attributes; *a != nullptr; ++a) views.emplace_back(*a);
            b.start(name, views);
        });
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
    std::vector<std::string_view> attributes_;
    std::exception_ptr error_;
};

// Parts the channel between the two parsers holds: a piece in frames of a quarter piece (split
// once more where it is cut) and the next piece's events in chunks of a quarter megabyte.
std::size_t oddPieceRoom(std::size_t pieceSize) {
    return 8 + 2 * (pieceSize >> 19);
}

// Plays a record of events into the builder; false once the record has ended. `parsedOK` is set
// by the record's last event.
bool replay(const Bytes& chunk, TreeBuilder& builder, std::vector<std::string_view>& attributes,
            bool& parsedOK) {
    // The frame's tag and the record's length stand before it; the buffer may be longer.
    std::uint32_t recorded = 0;
    std::memcpy(&recorded, chunk.data() + 1, sizeof recorded);
    const auto* data = reinterpret_cast<const char*>(chunk.data()) + 1 + sizeof recorded;
    const char* const end = data + recorded;
    const auto length = [&] {
        std::uint32_t value = 0;
        std::memcpy(&value, data, sizeof value);
        data += sizeof value;
        return value;
    };
    // A length, then that many bytes.
    const auto string = [&] {
        const std::uint32_t size = length();
        const std::string_view text(data, size);
        data += size;
        return text;
    };
    while (data < end && !builder.failed()) {
        switch (*data++) {
            case 'S': {
                const std::uint32_t count = length();
                const std::string_view name = string();
                attributes.clear();
                for (std::uint32_t i = 0; i < 2 * count; ++i) attributes.push_back(string());
                builder.start(name, attributes);
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
            case 'P':
                // A piece ended well-formed; the next one's events follow.
                break;
            default:
                parsedOK = data[-1] == 'D';
                return false;
        }
    }
    return !builder.failed();
}

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

bool KdbxXMLNode::parse(const Source& next, InnerStreamCipher* stream, Handler& handler,
                        std::size_t pieceSize) {
    // The pieces are cut on a thread of their own, the even ones parsed on the next and the odd
    // ones on the one after it, which passes the events of both on in document order; the tree is
    // built, and the handler called, here.
    Pipeline pipeline;
    pipeline.then([&next, pieceSize](PartChannel*, PartChannel& pieces) {
        KdbxXMLInternal::splitIntoPieces(next, pieces, pieceSize);
    });
    // Room for an odd piece on its way to the second parser and the events of the even piece
    // after it: the first parser goes on while the second reads.
    pipeline.then(
        [](PartChannel* pieces, PartChannel& out) { KdbxXMLInternal::recordPieces(*pieces, out, true); },
        oddPieceRoom(pieceSize));
    pipeline.then(
        [](PartChannel* in, PartChannel& events) { KdbxXMLInternal::recordPieces(*in, events, false); });
    return pipeline.finish([&](PartChannel& events) {
        TreeBuilder builder(stream, &handler);
        std::vector<std::string_view> attributes;
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
