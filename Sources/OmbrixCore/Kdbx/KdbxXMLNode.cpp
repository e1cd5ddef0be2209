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
// a database holds millions of elements. Nothing is given back before the pool goes, which is
// when the builder and the last node of the tree have let go of it.
class NodePool {
  public:
    void* allocate(std::size_t size, std::size_t alignment) {
        std::size_t offset = (used_ + alignment - 1) / alignment * alignment;
        if (blocks_.empty() || offset + size > blockSize) {
            // Blocks below the usual mmap threshold come back to the allocator for reuse.
            blocks_.push_back(std::unique_ptr<std::byte[]>(new std::byte[std::max(size, blockSize)]));
            offset = 0;
        }
        used_ = offset + size;
        return blocks_.back().get() + offset;
    }

  private:
    static constexpr std::size_t blockSize = 64 * 1024;
    std::vector<std::unique_ptr<std::byte[]>> blocks_;
    std::size_t used_ = 0;
};

// Each node's control block keeps the pool alive through its copy of the allocator.
template <class T>
struct PoolAllocator {
    using value_type = T;

    explicit PoolAllocator(std::shared_ptr<NodePool> p) : pool(std::move(p)) {}
    template <class U>
    PoolAllocator(const PoolAllocator<U>& other) : pool(other.pool) {}

    T* allocate(std::size_t n) { return static_cast<T*>(pool->allocate(n * sizeof(T), alignof(T))); }
    void deallocate(T*, std::size_t) noexcept {}

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
    TreeBuilder(XML_Parser parser, InnerStreamCipher* stream)
        : parser_(parser), stream_(stream), pool_(std::make_shared<NodePool>()) {
        XML_SetUserData(parser, this);
        XML_SetElementHandler(parser, &TreeBuilder::onStart, &TreeBuilder::onEnd);
        XML_SetCharacterDataHandler(parser, &TreeBuilder::onCharacters);
        // A document type declaration is where entities would be declared (and expanded
        // exponentially); the format never has one, so the document is refused outright.
        XML_SetStartDoctypeDeclHandler(parser, &TreeBuilder::onDoctype);
        XML_SetEntityDeclHandler(parser, &TreeBuilder::onEntityDecl);
    }

    KdbxXMLNode::Ptr finish(bool parsedOK) {
        if (error_) std::rethrow_exception(error_);
        if (!parsedOK || failed_ || !stack_.empty()) return nullptr;
        return std::move(root_);
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
        b.guard(
            [&](TreeBuilder& t) { t.stack_.back()->text.append(text, static_cast<std::size_t>(length)); });
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
        KdbxXMLNode::Ptr node = std::move(stack_.back());
        stack_.pop_back();
        std::vector<KdbxXMLNode::Ptr>& gathered = pending_[stack_.size()];
        if (!gathered.empty()) {
            node->children.assign(std::make_move_iterator(gathered.begin()),
                                  std::make_move_iterator(gathered.end()));
            gathered.clear();
        }
        if (node->isProtected && stream_ != nullptr) decrypt(*node);
        if (stack_.empty()) {
            root_ = std::move(node);
        } else {
            pending_[stack_.size() - 1].push_back(std::move(node));
        }
    }

    void decrypt(KdbxXMLNode& node) {
        const std::optional<Bytes> cipher = Base64::decodeLenient(node.text);
        if (!cipher) throw KdbxError::corruptedData("korumalı değer base64 değil");
        const Bytes plain = stream_->process(*cipher);
        // An attachment of a version 3 pool is bytes, not text: kept exactly, as base64.
        const bool attachment = node.name == "Binary" && !stack_.empty() && stack_.back()->name == "Binaries";
        node.text = attachment ? Base64::encode(plain) : UnicodeText::decodeUTF8(plain);
    }

    XML_Parser parser_;
    InnerStreamCipher* stream_;
    std::shared_ptr<NodePool> pool_;
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

KdbxXMLNode::Ptr KdbxXMLNode::parse(ByteView data, InnerStreamCipher* stream) {
    std::unique_ptr<XML_ParserStruct, ParserFree> parser(XML_ParserCreate(nullptr));
    if (!parser) throw std::bad_alloc();
    TreeBuilder builder(parser.get(), stream);
    const char* next = reinterpret_cast<const char*>(data.data());
    std::size_t left = data.size();
    bool ok = true;
    do {
        const std::size_t piece = std::min(left, maxPiece);
        const bool isFinal = piece == left;
        if (XML_Parse(parser.get(), next, static_cast<int>(piece), isFinal ? XML_TRUE : XML_FALSE) !=
            XML_STATUS_OK) {
            ok = false;
            break;
        }
        next += piece;
        left -= piece;
    } while (left > 0);
    return builder.finish(ok);
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
