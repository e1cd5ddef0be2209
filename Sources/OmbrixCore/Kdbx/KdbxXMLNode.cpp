#include "OmbrixCore/Kdbx/KdbxXMLNode.h"

#include <expat.h>

#include <algorithm>
#include <climits>
#include <cstddef>
#include <exception>
#include <new>

#include "OmbrixCore/Kdbx/Base64.h"
#include "OmbrixCore/Kdbx/InnerStreamCipher.h"
#include "OmbrixCore/Kdbx/KdbxError.h"
#include "OmbrixCore/Kdbx/KdbxXMLEscape.h"
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
    struct FreeSlot {
        FreeSlot* next;
    };

    static constexpr std::size_t blockSize = 64 * 1024;
    std::vector<std::unique_ptr<std::byte[]>> blocks_;
    std::size_t used_ = 0;
    std::size_t slotSize_ = 0;
    FreeSlot* free_ = nullptr;
};

// Each node's control block keeps the pool alive through its copy of the allocator.
template <class T>
struct PoolAllocator {
    using value_type = T;

    explicit PoolAllocator(std::shared_ptr<NodePool> p) : pool(std::move(p)) {}
    template <class U>
    PoolAllocator(const PoolAllocator<U>& other) : pool(other.pool) {}

    T* allocate(std::size_t n) { return static_cast<T*>(pool->allocate(n * sizeof(T), alignof(T))); }
    void deallocate(T* p, std::size_t n) noexcept { pool->deallocate(p, n * sizeof(T)); }

    template <class U>
    bool operator==(const PoolAllocator<U>& other) const noexcept {
        return pool == other.pool;
    }

    std::shared_ptr<NodePool> pool;
};

// Builds the tree from expat's events. No exception may cross expat's C frames: each handler
// catches, records and stops the parser, and parse() rethrows once XML_Parse has returned.
class TreeBuilder {
  public:
    TreeBuilder(XML_Parser parser, InnerStreamCipher* stream, KdbxXMLNode::Handler* handler,
                std::shared_ptr<NodePool> pool = std::make_shared<NodePool>())
        : parser_(parser), stream_(stream), handler_(handler), pool_(std::move(pool)) {
        XML_SetUserData(parser, this);
        XML_SetElementHandler(parser, &TreeBuilder::onStart, &TreeBuilder::onEnd);
        XML_SetCharacterDataHandler(parser, &TreeBuilder::onCharacters);
        // A document type declaration is where entities would be declared (and expanded
        // exponentially); the format never has one, so the document is refused outright.
        XML_SetStartDoctypeDeclHandler(parser, &TreeBuilder::onDoctype);
        XML_SetEntityDeclHandler(parser, &TreeBuilder::onEntityDecl);
    }

    KdbxXMLNode::Ptr finish(bool parsedOK) { return complete(parsedOK) ? std::move(root_) : nullptr; }

    bool complete(bool parsedOK) {
        if (error_) std::rethrow_exception(error_);
        return parsedOK && !failed_ && stack_.empty();
    }

  private:
    static TreeBuilder& self(void* data) { return *static_cast<TreeBuilder*>(data); }

    static void onStart(void* data, const XML_Char* name, const XML_Char** attributes) {
        self(data).guard([&](TreeBuilder& b) { b.start(name, attributes); });
    }
    static void onEnd(void* data, const XML_Char*) {
        self(data).guard([](TreeBuilder& b) { b.end(); });
    }
    static void onCharacters(void* data, const XML_Char* text, int length) {
        TreeBuilder& b = self(data);
        if (b.failed_ || b.stack_.empty()) return;
        b.guard([&](TreeBuilder& t) {
            if (KdbxXMLNode* node = t.stack_.back().get()) {
                node->text.append(text, static_cast<std::size_t>(length));
            } else if (t.open_.back().isProtected) {
                t.open_.back().text.append(text, static_cast<std::size_t>(length));
            }
        });
    }
    static void onDoctype(void* data, const XML_Char*, const XML_Char*, const XML_Char*, int) {
        self(data).fail();
    }
    static void onEntityDecl(void* data, const XML_Char*, int, const XML_Char*, int, const XML_Char*,
                             const XML_Char*, const XML_Char*, const XML_Char*) {
        self(data).fail();
    }

    template <class Fn>
    void guard(Fn&& fn) {
        // Expat may deliver a few more events after being stopped; they are ignored.
        if (failed_) return;
        try {
            fn(*this);
        } catch (...) {
            error_ = std::current_exception();
            fail();
        }
    }

    void fail() {
        if (failed_) return;
        failed_ = true;
        XML_StopParser(parser_, XML_FALSE);
    }

    void start(const XML_Char* name, const XML_Char** attributes) {
        if (stack_.size() >= KdbxXMLNode::maxDepth) return fail();
        KdbxXMLNode::Attributes map;
        bool isProtected = false;
        for (const XML_Char** a = attributes; *a != nullptr; a += 2) {
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
            std::allocate_shared<KdbxXMLNode>(PoolAllocator<KdbxXMLNode>(pool_), name, std::move(map));
        node->isProtected = isProtected;
        stack_.push_back(std::move(node));
        // Children are gathered per level in reused vectors and moved into the node in one
        // exact allocation when it ends.
        if (pending_.size() < stack_.size()) pending_.resize(stack_.size());
    }

    void end() {
        if (stack_.empty()) return;
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

    XML_Parser parser_;
    InnerStreamCipher* stream_;
    KdbxXMLNode::Handler* handler_;
    std::shared_ptr<NodePool> pool_;
    std::vector<OpenElement> open_;
    KdbxXMLNode::Ptr root_;
    std::vector<KdbxXMLNode::Ptr> stack_;
    std::vector<std::vector<KdbxXMLNode::Ptr>> pending_;
    bool failed_ = false;
    std::exception_ptr error_;
};

struct ParserFree {
    void operator()(XML_Parser parser) const { XML_ParserFree(parser); }
};

void appendNode(const KdbxXMLNode& node, std::string& out) {
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
    if (node.children.empty() && node.text.empty()) {
        out += "/>";
        return;
    }
    out += '>';
    if (node.children.empty()) {
        KdbxXMLEscape::appendText(out, node.text);
    } else {
        for (const KdbxXMLNode::Ptr& child : node.children) appendNode(*child, out);
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
    TreeBuilder builder(parser.get(), stream, nullptr);
    return builder.finish(feed(parser.get(), data));
}

bool KdbxXMLNode::parse(ByteView data, InnerStreamCipher* stream, Handler& handler) {
    std::unique_ptr<XML_ParserStruct, ParserFree> parser(XML_ParserCreate(nullptr));
    if (!parser) throw std::bad_alloc();
    TreeBuilder builder(parser.get(), stream, &handler);
    return builder.complete(feed(parser.get(), data));
}

bool KdbxXMLNode::parse(const Source& next, InnerStreamCipher* stream, Handler& handler) {
    std::unique_ptr<XML_ParserStruct, ParserFree> parser(XML_ParserCreate(nullptr));
    if (!parser) throw std::bad_alloc();
    TreeBuilder builder(parser.get(), stream, &handler);
    bool parsed = true;
    for (ByteView part = next(); parsed && !part.empty(); part = next()) {
        for (std::size_t offset = 0; parsed && offset < part.size(); offset += maxPiece) {
            const std::size_t piece = std::min(maxPiece, part.size() - offset);
            parsed = XML_Parse(parser.get(), reinterpret_cast<const char*>(part.data() + offset),
                               static_cast<int>(piece), XML_FALSE) == XML_STATUS_OK;
        }
    }
    parsed = parsed && XML_Parse(parser.get(), nullptr, 0, XML_TRUE) == XML_STATUS_OK;
    return builder.complete(parsed);
}

struct KdbxXMLNode::FragmentReader::State {
    std::unique_ptr<XML_ParserStruct, ParserFree> parser;
    std::shared_ptr<NodePool> pool = std::make_shared<NodePool>();
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
    TreeBuilder builder(parser, nullptr, nullptr, state_->pool);
    return builder.finish(
        feed(parser, ByteView(reinterpret_cast<const std::uint8_t*>(text.data()), text.size())));
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
    appendNode(*this, out);
}
