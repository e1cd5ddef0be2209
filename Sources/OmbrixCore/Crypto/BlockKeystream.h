#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>

#include "OmbrixCore/Foundation/Bytes.h"

// What ChaCha20 and Salsa20 share: a 64-byte block made of sixteen little-endian 32-bit words (the
// mixed state added to the state), and a keystream carried across calls, so that a long stream
// handed to process() in pieces of any size comes out as if processed in one call.
class BlockKeystream {
  public:
    static constexpr std::size_t blockSize = 64;
    using Words = std::array<std::uint32_t, 16>;
    using Block = std::array<std::uint8_t, blockSize>;

    static std::uint32_t loadWord(const std::uint8_t* p) {
        return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
               std::uint32_t{p[3]} << 24;
    }

    // The block of a state that the cipher's rounds turned into `mixed`: the word-wise sum of the
    // two, little-endian.
    static void storeBlock(Block& block, const Words& mixed, const Words& state) {
        for (std::size_t i = 0; i < 16; ++i) {
            const std::uint32_t v = mixed[i] + state[i];
            block[4 * i] = static_cast<std::uint8_t>(v);
            block[4 * i + 1] = static_cast<std::uint8_t>(v >> 8);
            block[4 * i + 2] = static_cast<std::uint8_t>(v >> 16);
            block[4 * i + 3] = static_cast<std::uint8_t>(v >> 24);
        }
    }

    // The input XORed with the next input.size() keystream bytes. nextBlock(Block&) fills in the
    // block of the cipher's current counter and advances the counter; it is called only when a
    // byte needs a new block.
    template <class NextBlock>
    Bytes process(ByteView input, NextBlock&& nextBlock) {
        Bytes output(input.size());
        const std::uint8_t* in = input.data();
        std::uint8_t* out = output.data();
        std::size_t left = input.size();

        // Finish the block an earlier call left partly used.
        if (left > 0 && used_ < blockSize) {
            const std::size_t n = std::min(blockSize - used_, left);
            xorBytes(out, in, block_.data() + used_, n);
            used_ += n;
            in += n;
            out += n;
            left -= n;
        }
        // Whole blocks, then the start of one more.
        while (left > 0) {
            nextBlock(block_);
            const std::size_t n = std::min(blockSize, left);
            xorBytes(out, in, block_.data(), n);
            used_ = n;
            in += n;
            out += n;
            left -= n;
        }
        return output;
    }

  private:
    // Plain loops the compiler turns into vector code.
    static void xorBytes(std::uint8_t* out, const std::uint8_t* in, const std::uint8_t* keystream,
                         std::size_t n) {
        for (std::size_t i = 0; i < n; ++i) out[i] = in[i] ^ keystream[i];
    }

    Block block_{};
    std::size_t used_ = blockSize;  // bytes of block_ used up; blockSize = none left
};
