#pragma once

#include <cstddef>
#include <functional>
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

// What decodeStrict decodes, handed to `piece` at most `pieceSize` bytes (at least 3) at a time,
// so that the whole never stands in memory. The first return is the decoded size, known from
// the text's length and padding before anything is decoded (nothing when those are wrong); the
// call itself returns false, after some pieces perhaps, when the text does not decode.
std::optional<std::size_t> strictDecodedSize(std::string_view text);
bool decodeStrictInPieces(std::string_view text, std::size_t pieceSize,
                          const std::function<void(ByteView)>& piece);

// As decodeStrict after every character outside the alphabet and "=" has been skipped
// (white space, line breaks, stray characters).
std::optional<Bytes> decodeLenient(std::string_view text);

}  // namespace Base64
