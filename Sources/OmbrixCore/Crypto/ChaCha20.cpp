#include "OmbrixCore/Crypto/ChaCha20.h"

#include <bit>

#include "OmbrixCore/Foundation/Precondition.h"

namespace {

// The quarter round of RFC 8439, section 2.1.
inline void quarterRound(std::uint32_t& a, std::uint32_t& b, std::uint32_t& c, std::uint32_t& d) {
    a += b;
    d = std::rotl(d ^ a, 16);
    c += d;
    b = std::rotl(b ^ c, 12);
    a += b;
    d = std::rotl(d ^ a, 8);
    c += d;
    b = std::rotl(b ^ c, 7);
}

}  // namespace

ChaCha20Stream::ChaCha20Stream(ByteView key, ByteView nonce, std::uint32_t counter) {
    OMBRIX_PRECONDITION(key.size() == 32, "ChaCha20 key must be 32 bytes");
    OMBRIX_PRECONDITION(nonce.size() == 12 || nonce.size() == 8, "ChaCha20 nonce must be 12 or 8 bytes");

    // "expand 32-byte k" as four little-endian words.
    state_[0] = 0x61707865;
    state_[1] = 0x3320646e;
    state_[2] = 0x79622d32;
    state_[3] = 0x6b206574;
    for (std::size_t i = 0; i < 8; ++i) state_[4 + i] = BlockKeystream::loadWord(key.data() + 4 * i);
    state_[12] = counter;
    wideCounter_ = nonce.size() == 8;
    if (wideCounter_) {
        state_[13] = 0;  // high half of the 64-bit counter
        state_[14] = BlockKeystream::loadWord(nonce.data());
        state_[15] = BlockKeystream::loadWord(nonce.data() + 4);
    } else {
        state_[13] = BlockKeystream::loadWord(nonce.data());
        state_[14] = BlockKeystream::loadWord(nonce.data() + 4);
        state_[15] = BlockKeystream::loadWord(nonce.data() + 8);
    }
}

void ChaCha20Stream::generateBlock(BlockKeystream::Block& block) {
    BlockKeystream::Words x = state_;
    for (int i = 0; i < 10; ++i) {
        quarterRound(x[0], x[4], x[8], x[12]);
        quarterRound(x[1], x[5], x[9], x[13]);
        quarterRound(x[2], x[6], x[10], x[14]);
        quarterRound(x[3], x[7], x[11], x[15]);
        quarterRound(x[0], x[5], x[10], x[15]);
        quarterRound(x[1], x[6], x[11], x[12]);
        quarterRound(x[2], x[7], x[8], x[13]);
        quarterRound(x[3], x[4], x[9], x[14]);
    }
    BlockKeystream::storeBlock(block, x, state_);

    // With a 12-byte nonce the 32-bit counter wraps and the nonce words stay untouched; with an
    // 8-byte nonce the carry goes into word 13.
    ++state_[12];
    if (wideCounter_ && state_[12] == 0) ++state_[13];
}

Bytes ChaCha20Stream::process(ByteView input) {
    return keystream_.process(input, [this](BlockKeystream::Block& block) { generateBlock(block); });
}
