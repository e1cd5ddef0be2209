#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "OmbrixCore/Foundation/Bytes.h"

// Standard base64 (RFC 4648 alphabet, "=" padding, no line breaks).
namespace Base64 {

std::string encode(ByteView data);
void appendEncoded(std::string& out, ByteView data);

// Every character must belong to the alphabet; the length is a multiple of 4 and "=" may only
// end the text (at most two). Nothing when the text does not decode.
std::optional<Bytes> decodeStrict(std::string_view text);

// As decodeStrict after every character outside the alphabet and "=" has been skipped
// (white space, line breaks, stray characters).
std::optional<Bytes> decodeLenient(std::string_view text);

}  // namespace Base64
