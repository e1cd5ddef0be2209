#pragma once

#include <string>
#include <string_view>

#include "OmbrixCore/Crypto/Bytes.h"

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

}  // namespace UnicodeText
