#include "OmbrixCore/Crypto/Argon2Compress.h"

#if defined(__x86_64__)

#include <emmintrin.h>

#include "OmbrixCore/Crypto/Argon2Segment.h"

// G with 128-bit vectors: the block is 64 vectors of two words. Each row and each column of
// the permutation is sixteen words = eight vectors, mixed two G-lanes per vector.

namespace {

inline __m128i rotr32(__m128i x) {
    return _mm_shuffle_epi32(x, _MM_SHUFFLE(2, 3, 0, 1));
}
inline __m128i rotr24(__m128i x) {
    return _mm_or_si128(_mm_srli_epi64(x, 24), _mm_slli_epi64(x, 40));
}
inline __m128i rotr16(__m128i x) {
    // Moving each 16-bit piece down one place rotates each word by 16 bits.
    constexpr int down = _MM_SHUFFLE(0, 3, 2, 1);
    return _mm_shufflehi_epi16(_mm_shufflelo_epi16(x, down), down);
}
inline __m128i rotr63(__m128i x) {
    return _mm_or_si128(_mm_srli_epi64(x, 63), _mm_add_epi64(x, x));
}

inline __m128i blaMka(__m128i x, __m128i y) {
    const __m128i product = _mm_mul_epu32(x, y);
    return _mm_add_epi64(_mm_add_epi64(x, y), _mm_add_epi64(product, product));
}

inline void gb(__m128i& a, __m128i& b, __m128i& c, __m128i& d) {
    a = blaMka(a, b);
    d = rotr32(_mm_xor_si128(d, a));
    c = blaMka(c, d);
    b = rotr24(_mm_xor_si128(b, c));
    a = blaMka(a, b);
    d = rotr16(_mm_xor_si128(d, a));
    c = blaMka(c, d);
    b = rotr63(_mm_xor_si128(b, c));
}

// (x.hi, y.lo)
inline __m128i highLow(__m128i x, __m128i y) {
    return _mm_unpacklo_epi64(_mm_unpackhi_epi64(x, x), y);
}

// P on the words v0..v15 held as v[k] = (v(2k), v(2k+1)).
inline void permute(__m128i& v0, __m128i& v1, __m128i& v2, __m128i& v3, __m128i& v4, __m128i& v5, __m128i& v6,
                    __m128i& v7) {
    // Columns of the 4x4 matrix: (v0,v4,v8,v12) and (v1,v5,v9,v13) in v0,v2,v4,v6; the other two
    // in v1,v3,v5,v7.
    gb(v0, v2, v4, v6);
    gb(v1, v3, v5, v7);
    // Diagonals: (v0,v5,v10,v15), (v1,v6,v11,v12) | (v2,v7,v8,v13), (v3,v4,v9,v14).
    __m128i b0 = highLow(v2, v3);  // v5, v6
    __m128i b1 = highLow(v3, v2);  // v7, v4
    __m128i d0 = highLow(v7, v6);  // v15, v12
    __m128i d1 = highLow(v6, v7);  // v13, v14
    gb(v0, b0, v5, d0);
    gb(v1, b1, v4, d1);
    v2 = highLow(b1, b0);
    v3 = highLow(b0, b1);
    v6 = highLow(d0, d1);
    v7 = highLow(d1, d0);
}

struct SSE2Kernel {
    template <class FirstWordReady>
    static void compress(const Argon2Block& prev, const Argon2Block& ref, Argon2Block& next, bool xorInto,
                         FirstWordReady&& firstWordReady) {
        __m128i r[64];
        __m128i keep[64];
        const auto* p = reinterpret_cast<const __m128i*>(prev.words);
        const auto* q = reinterpret_cast<const __m128i*>(ref.words);
        auto* out = reinterpret_cast<__m128i*>(next.words);
        for (int k = 0; k < 64; ++k) {
            r[k] = _mm_xor_si128(_mm_load_si128(p + k), _mm_load_si128(q + k));
            keep[k] = xorInto ? _mm_xor_si128(r[k], _mm_load_si128(out + k)) : r[k];
        }
        for (int row = 0; row < 8; ++row) {
            __m128i* v = r + 8 * row;
            permute(v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7]);
        }
        // Column c is the pair of words 2c, 2c+1 of every row: vector c of each row. Column 0
        // holds word 0, so it goes first.
        for (int c = 0; c < 8; ++c) {
            permute(r[c], r[c + 8], r[c + 16], r[c + 24], r[c + 32], r[c + 40], r[c + 48], r[c + 56]);
            if (c == 0)
                firstWordReady(static_cast<std::uint64_t>(_mm_cvtsi128_si64(_mm_xor_si128(keep[0], r[0]))));
        }
        for (int k = 0; k < 64; ++k) _mm_store_si128(out + k, _mm_xor_si128(keep[k], r[k]));
    }
};

}  // namespace

void argon2FillBlockSSE2(const Argon2Block& prev, const Argon2Block& ref, Argon2Block& next, bool xorInto) {
    SSE2Kernel::compress(prev, ref, next, xorInto, [](std::uint64_t) {});
}

void argon2FillSegmentSSE2(const Argon2SegmentContext& context, std::uint32_t lane) {
    argon2FillSegmentWith<SSE2Kernel>(context, lane);
}

#endif
