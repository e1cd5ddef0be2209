#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "OmbrixCore/Kdbx/KdbxXMLNode.h"

// Internal to the XML writer, which reads every kept element of a save through it.
namespace KdbxXMLInternal {

// A kept element read back from its text without an XML parser. The reader writes every kept
// text in one canonical form (no declaration, comments or white space between elements,
// attributes sorted and escaped, text escaped, a protected value as plain text with a
// Protected="True" mark behind the other attributes): that form is checked strictly here and
// then written back by copying its pieces, so that a save neither parses nor builds a tree for
// the hundreds of thousands of small kept elements of a large database. Any text not in that form
// (one a caller made by hand) is read by expat once and its canonical form used instead.
class KeptTree {
  public:
    struct Element {
        std::string_view name;
        // As written: each attribute with its leading blank, sorted, escaped; no Protected.
        std::string_view attributes;
        // As written (escaped), the text directly inside; used only without children.
        std::string_view text;
        bool isProtected = false;
        std::uint32_t firstChild = none;
        std::uint32_t nextSibling = none;
        std::uint32_t lastChild = none;
    };
    static constexpr std::uint32_t none = UINT32_MAX;

    // Reads `text`, which must outlive the tree's use; false when it is not in the canonical form.
    bool read(std::string_view text) {
        elements_.clear();
        return scan(text);
    }

    // Reads `text` in whatever form, through expat when it is not canonical; false when it is
    // not one well-formed element (it is then left out).
    bool readAny(std::string_view text, KdbxXMLNode::FragmentReader& fallback);

    const Element& operator[](std::uint32_t i) const { return elements_[i]; }
    std::uint32_t root() const { return 0; }

    // The first child of `parent` named `name`, or none.
    std::uint32_t child(std::uint32_t parent, std::string_view name) const;

    // An escaped text as the plain text it stands for.
    static std::string unescape(std::string_view text);

    // The value of attribute `name` of element `e` in plain text, if it has one.
    std::optional<std::string> attribute(std::uint32_t e, std::string_view name) const;

  private:
    bool scan(std::string_view text, bool trusted = false);

    std::vector<Element> elements_;
    std::vector<std::uint32_t> open_;
    std::string own_;
};

}  // namespace KdbxXMLInternal
