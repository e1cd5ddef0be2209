#include "OmbrixCore/Kdbx/KdbxXMLEscape.h"

#include <cstdint>

#include "OmbrixCore/Kdbx/UnicodeText.h"

namespace {

enum class Mode { sanitise, text, attribute };

// The XML 1.0 Char production.
bool isXMLChar(char32_t c) {
    if (c < 0x20) return c == 0x09 || c == 0x0A || c == 0x0D;
    if (c <= 0xD7FF) return true;
    if (c < 0xE000) return false;  // surrogates never come out of a UTF-8 decoder anyway
    if (c <= 0xFFFD) return true;
    return c >= 0x10000 && c <= 0x10FFFF;
}

// Printable ASCII other than the markup characters: copied as it is in every mode.
bool isPlainASCII(unsigned char c, Mode mode) {
    if (c < 0x20 || c >= 0x80) return false;
    if (c == '&' || c == '<' || c == '>') return mode == Mode::sanitise;
    if (c == '"') return mode != Mode::attribute;
    return true;
}

void append(std::string& out, std::string_view in, Mode mode) {
    std::size_t i = 0;
    while (i < in.size()) {
        // Copy the longest run that needs nothing at once.
        std::size_t run = i;
        while (run < in.size() && isPlainASCII(static_cast<unsigned char>(in[run]), mode)) ++run;
        out.append(in, i, run - i);
        i = run;
        if (i >= in.size()) break;

        const UnicodeText::Scalar s = UnicodeText::scalarAt(in, i);
        const char32_t c = s.value;
        if (!isXMLChar(c)) {
            // dropped
        } else if (!s.wellFormed) {
            UnicodeText::appendUTF8(out, c);
        } else if (mode != Mode::sanitise && c == '&') {
            out += "&amp;";
        } else if (mode != Mode::sanitise && c == '<') {
            out += "&lt;";
        } else if (mode != Mode::sanitise && c == '>') {
            out += "&gt;";
        } else if (mode != Mode::sanitise && c == '\r') {
            out += "&#xD;";
        } else if (mode == Mode::attribute && c == '"') {
            out += "&quot;";
        } else if (mode == Mode::attribute && c == '\n') {
            out += "&#xA;";
        } else if (mode == Mode::attribute && c == '\t') {
            out += "&#x9;";
        } else {
            out.append(in, i, s.length);
        }
        i += s.length;
    }
}

}  // namespace

namespace KdbxXMLEscape {

std::string sanitise(std::string_view text) {
    std::string out;
    appendSanitised(out, text);
    return out;
}

std::string text(std::string_view text) {
    std::string out;
    appendText(out, text);
    return out;
}

std::string attribute(std::string_view text) {
    std::string out;
    appendAttribute(out, text);
    return out;
}

void appendSanitised(std::string& out, std::string_view text) {
    append(out, text, Mode::sanitise);
}

void appendText(std::string& out, std::string_view text) {
    append(out, text, Mode::text);
}

void appendAttribute(std::string& out, std::string_view text) {
    append(out, text, Mode::attribute);
}

}  // namespace KdbxXMLEscape
