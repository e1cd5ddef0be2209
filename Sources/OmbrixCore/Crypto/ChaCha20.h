#pragma once

#include <cstddef>
#include <cstdint>

#include "OmbrixCore/Crypto/BlockKeystream.h"
#include "OmbrixCore/Foundation/Bytes.h"

// ChaCha20 (20 rounds) as a keystream that one object carries across calls: a long stream may be
// handed to process() in pieces of any size and comes out as if processed in one call. Serves as
// the payload cipher and as the inner random stream of protected values; held by shared_ptr.
//
// A 12-byte nonce gives the layout of RFC 8439 (32-bit block counter in word 12); an 8-byte
// nonce the original layout with a 64-bit counter in words 12 and 13.
class ChaCha20Stream {
  public:
    // key: 32 bytes; nonce: 12 or 8 bytes; counter: the number of the first block. Other sizes
    // are programming errors and stop the program.
    ChaCha20Stream(ByteView key, ByteView nonce, std::uint32_t counter);

    ChaCha20Stream(const ChaCha20Stream&) = delete;
    ChaCha20Stream& operator=(const ChaCha20Stream&) = delete;

    // The input XORed with the next input.size() keystream bytes; encrypts and decrypts alike.
    Bytes process(ByteView input);

  private:
    // Fills block with the block of the current counter and advances the counter.
    void generateBlock(BlockKeystream::Block& block);

    BlockKeystream::Words state_{};
    bool wideCounter_ = false;
    BlockKeystream keystream_;
};
