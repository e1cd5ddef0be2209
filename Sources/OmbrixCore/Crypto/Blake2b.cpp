#include "OmbrixCore/Crypto/Blake2b.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "OmbrixCore/Crypto/SecureWipe.h"
#include "OmbrixCore/Foundation/Precondition.h"

namespace {

std::uint64_t load64le(const std::uint8_t* p) {
    std::uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = (v << 8) | p[i];
    return v;
}

void store64le(std::uint8_t* p, std::uint64_t v) {
    for (int i = 0; i < 8; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

void store32le(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

inline void mix(std::uint64_t* v, int a, int b, int c, int d, std::uint64_t x, std::uint64_t y) {
    v[a] = v[a] + v[b] + x;
    v[d] = std::rotr(v[d] ^ v[a], 32);
    v[c] = v[c] + v[d];
    v[b] = std::rotr(v[b] ^ v[c], 24);
    v[a] = v[a] + v[b] + y;
    v[d] = std::rotr(v[d] ^ v[a], 16);
    v[c] = v[c] + v[d];
    v[b] = std::rotr(v[b] ^ v[c], 63);
}

}  // namespace

Blake2b::State::State(std::ptrdiff_t outputLength, ByteView key) : h_(iv), digestLength_(outputLength) {
    OMBRIX_PRECONDITION(outputLength >= 1 && outputLength <= 64, "BLAKE2b digest length must be 1 to 64");
    OMBRIX_PRECONDITION(key.size() <= 64, "BLAKE2b key must be at most 64 bytes");
    // Parameter block of RFC 7693: digest length, key length, fan-out 1, depth 1.
    h_[0] ^=
        0x01010000 ^ (static_cast<std::uint64_t>(key.size()) << 8) ^ static_cast<std::uint64_t>(outputLength);
    if (!key.empty()) {
        // The key is the first message block, padded with zeros to a full block.
        std::array<std::uint8_t, 128> block{};
        std::copy(key.begin(), key.end(), block.begin());
        ingest(block.data(), block.size());
    }
}

void Blake2b::State::update(ByteView data) {
    ingest(data.data(), data.size());
}

void Blake2b::State::ingest(const std::uint8_t* data, std::size_t count) {
    while (count > 0) {
        // A full buffer waits for more input, so that the last block always goes through the
        // final compression.
        if (bufLen_ == 128) {
            tLow_ += 128;
            if (tLow_ < 128) ++tHigh_;
            compress(false);
            bufLen_ = 0;
        }
        const std::size_t take = std::min(count, static_cast<std::size_t>(128 - bufLen_));
        std::memcpy(buf_.data() + bufLen_, data, take);
        bufLen_ += static_cast<std::ptrdiff_t>(take);
        data += take;
        count -= take;
    }
}

void Blake2b::State::compress(bool final) {
    std::uint64_t m[16];
    for (int i = 0; i < 16; ++i) m[i] = load64le(buf_.data() + 8 * i);
    std::uint64_t v[16];
    for (int i = 0; i < 8; ++i) {
        v[i] = h_[i];
        v[i + 8] = iv[i];
    }
    v[12] ^= tLow_;
    v[13] ^= tHigh_;
    if (final) v[14] = ~v[14];
    for (const auto& s : sigma) {
        mix(v, 0, 4, 8, 12, m[s[0]], m[s[1]]);
        mix(v, 1, 5, 9, 13, m[s[2]], m[s[3]]);
        mix(v, 2, 6, 10, 14, m[s[4]], m[s[5]]);
        mix(v, 3, 7, 11, 15, m[s[6]], m[s[7]]);
        mix(v, 0, 5, 10, 15, m[s[8]], m[s[9]]);
        mix(v, 1, 6, 11, 12, m[s[10]], m[s[11]]);
        mix(v, 2, 7, 8, 13, m[s[12]], m[s[13]]);
        mix(v, 3, 4, 9, 14, m[s[14]], m[s[15]]);
    }
    for (int i = 0; i < 8; ++i) h_[i] ^= v[i] ^ v[i + 8];
}

Bytes Blake2b::State::finalize() {
    const auto used = static_cast<std::uint64_t>(bufLen_);
    tLow_ += used;
    if (tLow_ < used) ++tHigh_;
    std::fill(buf_.begin() + bufLen_, buf_.end(), std::uint8_t{0});
    compress(true);
    std::uint8_t out[64];
    for (int i = 0; i < 8; ++i) store64le(out + 8 * i, h_[i]);
    // The last block may hold key or password bytes; the state is spent now.
    secureWipe(buf_.data(), buf_.size());
    Bytes digest(out, out + digestLength_);
    secureWipe(out, sizeof out);
    return digest;
}

Bytes Blake2b::hash(ByteView data, std::ptrdiff_t outputLength, ByteView key) {
    State state(outputLength, key);
    state.update(data);
    return state.finalize();
}

Bytes Blake2b::hash(ByteView data, std::ptrdiff_t outputLength) {
    return hash(data, outputLength, {});
}

Bytes Blake2b::longHash(ByteView data, std::int64_t outputLength) {
    OMBRIX_PRECONDITION(outputLength >= 1 && outputLength <= 0xFFFFFFFF, "H' length must be 1 to 4294967295");
    std::uint8_t prefix[4];
    store32le(prefix, static_cast<std::uint32_t>(outputLength));
    if (outputLength <= 64) {
        State state(static_cast<std::ptrdiff_t>(outputLength));
        state.update(prefix);
        state.update(data);
        return state.finalize();
    }
    // RFC 9106, section 3.3: r = ceil(T / 32) - 2 full 64-byte digests chained, keeping the
    // first half of each, then one digest of the remaining 33 to 64 bytes.
    const auto length = static_cast<std::size_t>(outputLength);
    const std::size_t r = (length + 31) / 32 - 2;
    Bytes out;
    out.reserve(length);
    State first(64);
    first.update(prefix);
    first.update(data);
    // Argon2 makes its first blocks and its tag here from the password: each chain value is
    // wiped before it is freed.
    Bytes v = first.finalize();
    out.insert(out.end(), v.begin(), v.begin() + 32);
    for (std::size_t i = 2; i <= r; ++i) {
        Bytes next = hash(v, 64);
        secureWipe(v.data(), v.size());
        v = std::move(next);
        out.insert(out.end(), v.begin(), v.begin() + 32);
    }
    Bytes last = hash(v, static_cast<std::ptrdiff_t>(length - 32 * r));
    secureWipe(v.data(), v.size());
    out.insert(out.end(), last.begin(), last.end());
    secureWipe(last.data(), last.size());
    return out;
}
