#include "OmbrixCore/Crypto/Salsa20.h"

#include <bit>

#include "OmbrixCore/Foundation/Precondition.h"

namespace {

// The Salsa20 quarter round on (y0, y1, y2, y3).
inline void quarterRound(std::uint32_t& y0, std::uint32_t& y1, std::uint32_t& y2, std::uint32_t& y3) {
    y1 ^= std::rotl(y0 + y3, 7);
    y2 ^= std::rotl(y1 + y0, 9);
    y3 ^= std::rotl(y2 + y1, 13);
    y0 ^= std::rotl(y3 + y2, 18);
}

}  // namespace

Salsa20Stream::Salsa20Stream(ByteView key, ByteView nonce) : Salsa20Stream(key, nonce, 0) {}

Salsa20Stream::Salsa20Stream(ByteView key, ByteView nonce, std::uint64_t firstBlock) {
    OMBRIX_PRECONDITION(key.size() == 32 || key.size() == 16, "Salsa20 key must be 32 or 16 bytes");
    OMBRIX_PRECONDITION(nonce.size() == 8, "Salsa20 nonce must be 8 bytes");

    // "expand 32-byte k" or, for a 16-byte key used twice, "expand 16-byte k", spread over the
    // diagonal words 0, 5, 10 and 15.
    const bool longKey = key.size() == 32;
    const std::uint8_t* secondHalf = longKey ? key.data() + 16 : key.data();
    state_[0] = 0x61707865;
    state_[5] = longKey ? 0x3320646e : 0x3120646e;
    state_[10] = longKey ? 0x79622d32 : 0x79622d36;
    state_[15] = 0x6b206574;
    for (std::size_t i = 0; i < 4; ++i) {
        state_[1 + i] = BlockKeystream::loadWord(key.data() + 4 * i);
        state_[11 + i] = BlockKeystream::loadWord(secondHalf + 4 * i);
    }
    state_[6] = BlockKeystream::loadWord(nonce.data());
    state_[7] = BlockKeystream::loadWord(nonce.data() + 4);
    state_[8] = static_cast<std::uint32_t>(firstBlock);
    state_[9] = static_cast<std::uint32_t>(firstBlock >> 32);
}

const Bytes& Salsa20Stream::kdbxNonce() {
    static const Bytes nonce = {0xE8, 0x30, 0x09, 0x4B, 0x97, 0x20, 0x5D, 0x2A};
    return nonce;
}

void Salsa20Stream::generateBlock(BlockKeystream::Block& block) {
    BlockKeystream::Words x = state_;
    for (int i = 0; i < 10; ++i) {
        // Column round, then row round.
        quarterRound(x[0], x[4], x[8], x[12]);
        quarterRound(x[5], x[9], x[13], x[1]);
        quarterRound(x[10], x[14], x[2], x[6]);
        quarterRound(x[15], x[3], x[7], x[11]);
        quarterRound(x[0], x[1], x[2], x[3]);
        quarterRound(x[5], x[6], x[7], x[4]);
        quarterRound(x[10], x[11], x[8], x[9]);
        quarterRound(x[15], x[12], x[13], x[14]);
    }
    BlockKeystream::storeBlock(block, x, state_);

    // 64-bit block counter in words 8 (low) and 9 (high).
    if (++state_[8] == 0) ++state_[9];
}

Bytes Salsa20Stream::process(ByteView input) {
    return keystream_.process(input, [this](BlockKeystream::Block& block) { generateBlock(block); });
}
