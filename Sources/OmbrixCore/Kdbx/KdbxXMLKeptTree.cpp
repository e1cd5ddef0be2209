#include "OmbrixCore/Kdbx/KdbxXMLKeptTree.h"

#include "OmbrixCore/Kdbx/UnicodeText.h"

namespace KdbxXMLInternal {
namespace {

bool isNameStart(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == ':';
}

bool isNameChar(char c) {
    return isNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
}

// A name at `pos`: ASCII name characters, or, when `trusted`, anything up to a delimiter.
std::string_view name(std::string_view text, std::size_t& pos, bool trusted) {
    const std::size_t start = pos;
    if (trusted) {
        while (pos < text.size() &&
               std::string_view(" \t\r\n/>=\"").find(text[pos]) == std::string_view::npos)
            ++pos;
        return text.substr(start, pos - start);
    }
    if (pos >= text.size() || !isNameStart(text[pos])) return {};
    while (pos < text.size() && isNameChar(text[pos])) ++pos;
    return text.substr(start, pos - start);
}

// Escaped characters as the writer's escaping leaves them: printable ASCII other than the
// markup characters, the entities it writes, well-formed UTF-8 of XML characters; tab and
// line feed stand raw only in text (an attribute would read them back as blanks).
bool escapedRun(std::string_view text, std::size_t& pos, char stop, bool attribute) {
    while (pos < text.size() && text[pos] != stop) {
        const auto c = static_cast<unsigned char>(text[pos]);
        if (c == '&') {
            const std::size_t end = text.find(';', pos);
            if (end == std::string_view::npos) return false;
            const std::string_view entity = text.substr(pos, end - pos + 1);
            const bool known = entity == "&amp;" || entity == "&lt;" || entity == "&gt;" ||
                               entity == "&#xD;" ||
                               (attribute && (entity == "&quot;" || entity == "&#xA;" || entity == "&#x9;"));
            if (!known) return false;
            pos = end + 1;
        } else if (c < 0x80) {
            if (c == '<' || c == '>' || c == '\r' || (attribute && c == '"')) return false;
            if (c < 0x20 && (attribute || (c != '\t' && c != '\n'))) return false;
            ++pos;
        } else {
            const UnicodeText::Scalar s = UnicodeText::scalarAt(text, pos);
            if (!s.wellFormed || (s.value >= 0xD800 && s.value < 0xE000) || s.value == 0xFFFE ||
                s.value == 0xFFFF)
                return false;
            pos += s.length;
        }
    }
    return pos < text.size();
}

}  // namespace

bool KeptTree::readAny(std::string_view text, KdbxXMLNode::FragmentReader& fallback) {
    if (read(text)) return true;
    const KdbxXMLNode::Ptr node = fallback.parse(text);
    if (!node) return false;
    own_.clear();
    node->appendAsWritten(own_);
    elements_.clear();
    // What expat read and the node tree wrote is canonical; only names outside ASCII are not
    // taken by the strict check, and expat has checked those.
    return scan(own_, true);
}

std::uint32_t KeptTree::child(std::uint32_t parent, std::string_view name) const {
    for (std::uint32_t c = elements_[parent].firstChild; c != none; c = elements_[c].nextSibling) {
        if (elements_[c].name == name) return c;
    }
    return none;
}

std::string KeptTree::unescape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '&') {
            out += text[i];
            continue;
        }
        const std::size_t end = text.find(';', i);
        const std::string_view entity = text.substr(i, end - i + 1);
        out += entity == "&amp;"    ? '&'
               : entity == "&lt;"   ? '<'
               : entity == "&gt;"   ? '>'
               : entity == "&quot;" ? '"'
               : entity == "&#xA;"  ? '\n'
               : entity == "&#xD;"  ? '\r'
                                    : '\t';
        i = end;
    }
    return out;
}

std::optional<std::string> KeptTree::attribute(std::uint32_t e, std::string_view name) const {
    std::string_view rest = elements_[e].attributes;
    while (!rest.empty()) {
        // ' name="value"'
        const std::size_t equals = rest.find('=');
        const std::string_view attributeName = rest.substr(1, equals - 1);
        const std::size_t close = rest.find('"', equals + 2);
        if (attributeName == name) return unescape(rest.substr(equals + 2, close - equals - 2));
        rest.remove_prefix(close + 1);
    }
    return std::nullopt;
}

bool KeptTree::scan(std::string_view text, bool trusted) {
    std::vector<std::uint32_t>& open = open_;
    open.clear();
    std::size_t pos = 0;
    if (text.empty() || text[0] != '<') return false;
    while (pos < text.size()) {
        if (text[pos] != '<') {
            // Text: only inside an element.
            if (open.empty()) return false;
            const std::size_t start = pos;
            if (!escapedRun(text, pos, '<', false)) return false;
            Element& e = elements_[open.back()];
            if (e.text.empty()) e.text = text.substr(start, pos - start);
            continue;
        }
        ++pos;
        if (pos < text.size() && text[pos] == '/') {
            ++pos;
            const std::string_view closing = name(text, pos, trusted);
            if (open.empty() || closing.empty() || closing != elements_[open.back()].name) return false;
            if (pos >= text.size() || text[pos] != '>') return false;
            ++pos;
            open.pop_back();
            if (open.empty()) return pos == text.size();
            continue;
        }
        if (open.size() >= KdbxXMLNode::maxDepth) return false;
        Element e;
        e.name = name(text, pos, trusted);
        if (e.name.empty()) return false;
        const std::size_t attributesStart = pos;
        std::string_view previous;
        while (pos < text.size() && text[pos] == ' ') {
            const std::size_t attributeStart = pos;
            ++pos;
            const std::string_view attributeName = name(text, pos, trusted);
            if (attributeName.empty() || pos + 1 >= text.size() || text[pos] != '=' || text[pos + 1] != '"')
                return false;
            pos += 2;
            const std::size_t valueStart = pos;
            if (!escapedRun(text, pos, '"', true)) return false;
            const std::string_view value = text.substr(valueStart, pos - valueStart);
            ++pos;
            if (attributeName == "Protected") {
                // Only the mark, and only behind every other attribute.
                if (value != "True" || e.isProtected) return false;
                e.isProtected = true;
                e.attributes = text.substr(attributesStart, attributeStart - attributesStart);
                continue;
            }
            if (e.isProtected || (!previous.empty() && !(previous < attributeName))) return false;
            previous = attributeName;
        }
        if (!e.isProtected) e.attributes = text.substr(attributesStart, pos - attributesStart);
        if (pos >= text.size()) return false;
        const auto index = static_cast<std::uint32_t>(elements_.size());
        if (!open.empty()) {
            Element& parent = elements_[open.back()];
            // A protected element is written without children: its text is all it has.
            if (parent.isProtected) return false;
            if (parent.lastChild == none) {
                parent.firstChild = index;
            } else {
                elements_[parent.lastChild].nextSibling = index;
            }
            parent.lastChild = index;
        } else if (!elements_.empty()) {
            return false;
        }
        elements_.push_back(e);
        if (text[pos] == '/') {
            if (pos + 1 >= text.size() || text[pos + 1] != '>') return false;
            pos += 2;
            if (open.empty()) return pos == text.size();
        } else if (text[pos] == '>') {
            ++pos;
            open.push_back(index);
        } else {
            return false;
        }
    }
    return false;
}

}  // namespace KdbxXMLInternal
