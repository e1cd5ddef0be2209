#include "OmbrixCore/Crypto/Salsa20.h"

#include <algorithm>

#include "OmbrixCore/Crypto/Precondition.h"

namespace {

std::uint32_t loadLittleEndian(const std::uint8_t* p) {
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
           std::uint32_t{p[3]} << 24;
}

void storeLittleEndian(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
    p[2] = static_cast<std::uint8_t>(v >> 16);
    p[3] = static_cast<std::uint8_t>(v >> 24);
}

constexpr std::uint32_t rotl(std::uint32_t v, int n) {
    return (v << n) | (v >> (32 - n));
}

// The Salsa20 quarter round on (y0, y1, y2, y3).
inline void quarterRound(std::uint32_t& y0, std::uint32_t& y1, std::uint32_t& y2, std::uint32_t& y3) {
    y1 ^= rotl(y0 + y3, 7);
    y2 ^= rotl(y1 + y0, 9);
    y3 ^= rotl(y2 + y1, 13);
    y0 ^= rotl(y3 + y2, 18);
}

inline void xorBytes(std::uint8_t* out, const std::uint8_t* in, const std::uint8_t* keystream,
                     std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) out[i] = in[i] ^ keystream[i];
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
        state_[1 + i] = loadLittleEndian(key.data() + 4 * i);
        state_[11 + i] = loadLittleEndian(secondHalf + 4 * i);
    }
    state_[6] = loadLittleEndian(nonce.data());
    state_[7] = loadLittleEndian(nonce.data() + 4);
    state_[8] = static_cast<std::uint32_t>(firstBlock);
    state_[9] = static_cast<std::uint32_t>(firstBlock >> 32);
}

const Bytes& Salsa20Stream::kdbxNonce() {
    static const Bytes nonce = {0xE8, 0x30, 0x09, 0x4B, 0x97, 0x20, 0x5D, 0x2A};
    return nonce;
}

void Salsa20Stream::generateBlock() {
    std::array<std::uint32_t, 16> x = state_;
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
    for (std::size_t i = 0; i < 16; ++i) storeLittleEndian(keystream_.data() + 4 * i, x[i] + state_[i]);

    // 64-bit block counter in words 8 (low) and 9 (high).
    if (++state_[8] == 0) ++state_[9];
}

Bytes Salsa20Stream::process(ByteView input) {
    Bytes output(input.size());
    const std::uint8_t* in = input.data();
    std::uint8_t* out = output.data();
    std::size_t left = input.size();

    // Finish the block an earlier call left partly used.
    if (left > 0 && keystreamOffset_ < blockSize) {
        const std::size_t n = std::min(blockSize - keystreamOffset_, left);
        xorBytes(out, in, keystream_.data() + keystreamOffset_, n);
        keystreamOffset_ += n;
        in += n;
        out += n;
        left -= n;
    }
    // Whole blocks, then the start of one more; a block is made only when a byte needs it.
    while (left > 0) {
        generateBlock();
        const std::size_t n = std::min(blockSize, left);
        xorBytes(out, in, keystream_.data(), n);
        keystreamOffset_ = n;
        in += n;
        out += n;
        left -= n;
    }
    return output;
}
