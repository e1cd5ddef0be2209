#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <vector>

#include "OmbrixCore/Foundation/Bytes.h"

namespace testsupport {

// `length` bytes of `bytes` from `from` on.
inline Bytes slice(const Bytes& bytes, std::size_t from, std::size_t length) {
    return Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(from),
                 bytes.begin() + static_cast<std::ptrdiff_t>(from + length));
}

// Feeds `input` to a keystream cipher in pieces of the sizes in `split` (which add up to the
// input's size) and joins what comes out, checking that every call answers its whole piece.
template <class Stream>
Bytes processInPieces(Stream& stream, const Bytes& input, const std::vector<std::size_t>& split) {
    Bytes joined;
    std::size_t at = 0;
    for (const std::size_t n : split) {
        const Bytes piece = stream.process(slice(input, at, n));
        EXPECT_EQ(piece.size(), n);
        joined.insert(joined.end(), piece.begin(), piece.end());
        at += n;
    }
    EXPECT_EQ(at, input.size());
    return joined;
}

}  // namespace testsupport
