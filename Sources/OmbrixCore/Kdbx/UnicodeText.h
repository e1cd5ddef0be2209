#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "OmbrixCore/Foundation/Bytes.h"

// The engine's text rules in one place: UTF-8 read without failing, and text equality by
// Unicode canonical equivalence (a precomposed letter equals its decomposed form).
namespace UnicodeText {

// The bytes as UTF-8 text; every maximal ill-formed subsequence becomes U+FFFD.
std::string decodeUTF8(ByteView bytes);
std::string decodeUTF8(std::string_view bytes);

// The NFC form of a text (ill-formed UTF-8 is first repaired as decodeUTF8 does).
std::string nfc(std::string_view text);

// True when both texts have the same NFC form.
bool canonicallyEqual(std::string_view a, std::string_view b);

// One scalar value read from UTF-8.
struct Scalar {
    char32_t value;      // U+FFFD for an ill-formed sequence
    std::size_t length;  // bytes consumed (the maximal ill-formed subpart when ill-formed)
    bool wellFormed;
};
// The scalar that starts at byte `i` (i < text.size()).
Scalar scalarAt(std::string_view text, std::size_t i);
// Appends the UTF-8 form of a scalar value.
void appendUTF8(std::string& out, char32_t scalar);

// The Unicode White_Space property: blanks, tabs, line breaks and the other space separators.
bool isWhiteSpace(char32_t scalar);
// The text without white space and line breaks at either end.
std::string_view trimWhiteSpace(std::string_view text);

}  // namespace UnicodeText
