#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "OmbrixCore/Foundation/Bytes.h"

class InnerStreamCipher;

// One XML element: the only form in which the engine reads XML (database payloads, key files,
// kept fragments). Protected values arrive already decrypted, with isProtected set.
class KdbxXMLNode {
  public:
    using Ptr = std::shared_ptr<KdbxXMLNode>;
    using Attributes = std::map<std::string, std::string>;

    // Deeper documents are refused: the readers above walk the tree recursively.
    static constexpr std::size_t maxDepth = 1000;

    KdbxXMLNode(std::string name, Attributes attributes)
        : name(std::move(name)), attributes(std::move(attributes)) {}

    // The element name as written, prefix included (namespaces are not processed).
    std::string name;
    // Entity references resolved; never a "Protected" attribute.
    Attributes attributes;
    // All character data and CDATA directly inside the element, in document order.
    std::string text;
    std::vector<Ptr> children;
    // The element carried Protected="true" (any letter case).
    bool isProtected = false;

    // The document element of `data`, or nullptr when the bytes are not one well-formed document,
    // hold a document type declaration (no entity can be declared, so none can expand) or nest
    // deeper than maxDepth. With a stream, every protected value is decrypted when its end tag is
    // read, so the keystream is consumed in document order; a protected value whose base64 does
    // not decode throws KdbxError::corruptedData, because every later value would decrypt with
    // the wrong keystream. A protected Binary inside Binaries holds attachment bytes: its
    // plaintext is kept as base64. Without a stream protected texts stay as read.
    static Ptr parse(ByteView data, InnerStreamCipher* stream = nullptr);
    static Ptr parse(std::string_view text, InnerStreamCipher* stream = nullptr);

    // Takes a document apart while it is parsed, for a reader that need not keep the whole tree:
    // an element the handler opens is not built; each of its children arrives as a complete
    // subtree as soon as it ends (or is opened in turn), and the handler hears when it closes.
    class Handler {
      public:
        virtual ~Handler() = default;
        // The document element, or an element whose parent is open, starts. True opens it.
        virtual bool open(std::string_view name) = 0;
        // A complete child of the innermost open element, or the document element itself when
        // it was not opened.
        virtual void child(Ptr node) = 0;
        // The innermost open element ends.
        virtual void close() = 0;
    };

    // The same parse, protected values and limits included, delivered to `handler`; an open
    // element's own text is read only to keep the keystream in step. False when the bytes are
    // not one well-formed document. What the handler throws ends the parse and is rethrown.
    static bool parse(ByteView data, InnerStreamCipher* stream, Handler& handler);

    // Supplies a document in parts: each call returns the next part, valid until the next call,
    // and an empty view at the end. What it throws ends the parse and passes out.
    //
    // Threading: the source is called on a thread of the parser's own (where expat runs), never
    // on the caller's, one call at a time, and never again once parse() has returned. Whatever
    // it reads must not be touched by the caller until then.
    using Source = std::function<ByteView()>;
    // The same parse over a document read part by part. The document is cut at element starts
    // into pieces of about `pieceSize` bytes, which two expat parsers read side by side, each on
    // a thread of its own, while the tree is built and `handler` is called on the caller's thread.
    static constexpr std::size_t defaultPieceSize = std::size_t{2} << 20;
    static bool parse(const Source& next, InnerStreamCipher* stream, Handler& handler,
                      std::size_t pieceSize = defaultPieceSize);

    // Parses one short document after another (the kept fragments of a save) with one expat
    // parser and one node pool, so that each costs its own size and no parser of its own. A
    // tree it returned may be kept as long as wanted; its nodes' memory is reused once let go.
    // Without a stream, like parse(text).
    class FragmentReader {
      public:
        FragmentReader();
        ~FragmentReader();
        FragmentReader(const FragmentReader&) = delete;
        FragmentReader& operator=(const FragmentReader&) = delete;

        Ptr parse(std::string_view text);

      private:
        struct State;
        std::unique_ptr<State> state_;
    };

    // The first child with exactly this name, or nullptr; valid while this node lives.
    const KdbxXMLNode* child(std::string_view name) const;
    // Every child with exactly this name, in document order.
    std::vector<const KdbxXMLNode*> childrenNamed(std::string_view name) const;

    // text without white space and line breaks at either end.
    std::string trimmedText() const;

    // The element and its subtree as XML: attributes sorted by name, the Protected="True" mark
    // when protected (the text then in plain: the writer encrypts it again), texts escaped,
    // comments and processing instructions gone, no indentation. An element with children is
    // written without its own text.
    std::string rawXMLString() const;
    void appendRaw(std::string& out) const;
    // The same as the writer writes the element: a protected one keeps its text and drops any
    // children, as a protected value has only text.
    void appendAsWritten(std::string& out) const;
};
