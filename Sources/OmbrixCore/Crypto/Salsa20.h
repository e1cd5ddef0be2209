#pragma once

#include <cstddef>
#include <cstdint>

#include "OmbrixCore/Crypto/BlockKeystream.h"
#include "OmbrixCore/Foundation/Bytes.h"

// Salsa20/20 with a 64-bit nonce and a 64-bit block counter starting at 0, as a keystream that
// one object carries across calls: a long stream may be handed to process() in pieces of any size
// and comes out as if processed in one call. The inner random stream of KDBX 3 protected values;
// held by shared_ptr.
class Salsa20Stream {
  public:
    // key: 32 or 16 bytes; nonce: 8 bytes. Other sizes are programming errors and stop the
    // program.
    Salsa20Stream(ByteView key, ByteView nonce);

    Salsa20Stream(const Salsa20Stream&) = delete;
    Salsa20Stream& operator=(const Salsa20Stream&) = delete;

    // The input XORed with the next input.size() keystream bytes; encrypts and decrypts alike.
    Bytes process(ByteView input);

    // The fixed nonce of the KDBX inner random stream: E8 30 09 4B 97 20 5D 2A.
    static const Bytes& kdbxNonce();

  private:
    // Tests start a stream at a chosen block to check the published block examples and the carry
    // of the counter into its high word, which no caller can reach from block 0.
    friend struct Salsa20StreamTesting;
    Salsa20Stream(ByteView key, ByteView nonce, std::uint64_t firstBlock);

    // Fills block with the block of the current counter and advances the counter.
    void generateBlock(BlockKeystream::Block& block);

    BlockKeystream::Words state_{};
    BlockKeystream keystream_;
};
