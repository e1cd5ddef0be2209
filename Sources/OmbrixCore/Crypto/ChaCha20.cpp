#include "OmbrixCore/Crypto/ChaCha20.h"

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

// The quarter round of RFC 8439, section 2.1.
inline void quarterRound(std::uint32_t& a, std::uint32_t& b, std::uint32_t& c, std::uint32_t& d) {
    a += b;
    d = rotl(d ^ a, 16);
    c += d;
    b = rotl(b ^ c, 12);
    a += b;
    d = rotl(d ^ a, 8);
    c += d;
    b = rotl(b ^ c, 7);
}

// XORs n bytes; plain loops the compiler turns into vector code.
inline void xorBytes(std::uint8_t* out, const std::uint8_t* in, const std::uint8_t* keystream,
                     std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) out[i] = in[i] ^ keystream[i];
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
    for (std::size_t i = 0; i < 8; ++i) state_[4 + i] = loadLittleEndian(key.data() + 4 * i);
    state_[12] = counter;
    wideCounter_ = nonce.size() == 8;
    if (wideCounter_) {
        state_[13] = 0;  // high half of the 64-bit counter
        state_[14] = loadLittleEndian(nonce.data());
        state_[15] = loadLittleEndian(nonce.data() + 4);
    } else {
        state_[13] = loadLittleEndian(nonce.data());
        state_[14] = loadLittleEndian(nonce.data() + 4);
        state_[15] = loadLittleEndian(nonce.data() + 8);
    }
}

void ChaCha20Stream::generateBlock() {
    std::array<std::uint32_t, 16> x = state_;
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
    for (std::size_t i = 0; i < 16; ++i) storeLittleEndian(keystream_.data() + 4 * i, x[i] + state_[i]);

    // With a 12-byte nonce the 32-bit counter wraps and the nonce words stay untouched; with an
    // 8-byte nonce the carry goes into word 13.
    ++state_[12];
    if (wideCounter_ && state_[12] == 0) ++state_[13];
}

Bytes ChaCha20Stream::process(ByteView input) {
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
