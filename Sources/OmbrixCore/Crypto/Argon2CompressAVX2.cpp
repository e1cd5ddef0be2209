#include "OmbrixCore/Crypto/Argon2Compress.h"

#if defined(__x86_64__)

#include <immintrin.h>

#include "OmbrixCore/Crypto/Argon2Segment.h"

// G with 256-bit vectors: the block is 32 vectors of four words. A row of the permutation is
// four vectors (one G-lane per word, diagonals by permuting words across the vector). Columns
// are taken two at a time: the two 128-bit halves of a vector carry two different columns, each
// laid out as in the 128-bit form, so that the diagonal step never crosses the halves.

namespace {

inline __m256i rotr32(__m256i x) {
    return _mm256_shuffle_epi32(x, _MM_SHUFFLE(2, 3, 0, 1));
}
inline __m256i rotr24(__m256i x) {
    const __m256i bytes = _mm256_setr_epi8(3, 4, 5, 6, 7, 0, 1, 2, 11, 12, 13, 14, 15, 8, 9, 10,  //
                                           3, 4, 5, 6, 7, 0, 1, 2, 11, 12, 13, 14, 15, 8, 9, 10);
    return _mm256_shuffle_epi8(x, bytes);
}
inline __m256i rotr16(__m256i x) {
    const __m256i bytes = _mm256_setr_epi8(2, 3, 4, 5, 6, 7, 0, 1, 10, 11, 12, 13, 14, 15, 8, 9,  //
                                           2, 3, 4, 5, 6, 7, 0, 1, 10, 11, 12, 13, 14, 15, 8, 9);
    return _mm256_shuffle_epi8(x, bytes);
}
inline __m256i rotr63(__m256i x) {
    return _mm256_or_si256(_mm256_srli_epi64(x, 63), _mm256_add_epi64(x, x));
}

inline __m256i blaMka(__m256i x, __m256i y) {
    const __m256i product = _mm256_mul_epu32(x, y);
    return _mm256_add_epi64(_mm256_add_epi64(x, y), _mm256_add_epi64(product, product));
}

// Two independent G applications interleaved, for instruction-level parallelism.
inline void gb2(__m256i& a0, __m256i& b0, __m256i& c0, __m256i& d0, __m256i& a1, __m256i& b1, __m256i& c1,
                __m256i& d1) {
    a0 = blaMka(a0, b0);
    a1 = blaMka(a1, b1);
    d0 = rotr32(_mm256_xor_si256(d0, a0));
    d1 = rotr32(_mm256_xor_si256(d1, a1));
    c0 = blaMka(c0, d0);
    c1 = blaMka(c1, d1);
    b0 = rotr24(_mm256_xor_si256(b0, c0));
    b1 = rotr24(_mm256_xor_si256(b1, c1));
    a0 = blaMka(a0, b0);
    a1 = blaMka(a1, b1);
    d0 = rotr16(_mm256_xor_si256(d0, a0));
    d1 = rotr16(_mm256_xor_si256(d1, a1));
    c0 = blaMka(c0, d0);
    c1 = blaMka(c1, d1);
    b0 = rotr63(_mm256_xor_si256(b0, c0));
    b1 = rotr63(_mm256_xor_si256(b1, c1));
}

// P on two rows at once; each row is (v0..v3), (v4..v7), (v8..v11), (v12..v15).
inline void permuteRows(__m256i* r0, __m256i* r1) {
    gb2(r0[0], r0[1], r0[2], r0[3], r1[0], r1[1], r1[2], r1[3]);
    // Diagonals: rotate B, C, D by one, two and three words so that lane k holds diagonal k.
    r0[1] = _mm256_permute4x64_epi64(r0[1], _MM_SHUFFLE(0, 3, 2, 1));
    r0[2] = _mm256_permute4x64_epi64(r0[2], _MM_SHUFFLE(1, 0, 3, 2));
    r0[3] = _mm256_permute4x64_epi64(r0[3], _MM_SHUFFLE(2, 1, 0, 3));
    r1[1] = _mm256_permute4x64_epi64(r1[1], _MM_SHUFFLE(0, 3, 2, 1));
    r1[2] = _mm256_permute4x64_epi64(r1[2], _MM_SHUFFLE(1, 0, 3, 2));
    r1[3] = _mm256_permute4x64_epi64(r1[3], _MM_SHUFFLE(2, 1, 0, 3));
    gb2(r0[0], r0[1], r0[2], r0[3], r1[0], r1[1], r1[2], r1[3]);
    r0[1] = _mm256_permute4x64_epi64(r0[1], _MM_SHUFFLE(2, 1, 0, 3));
    r0[2] = _mm256_permute4x64_epi64(r0[2], _MM_SHUFFLE(1, 0, 3, 2));
    r0[3] = _mm256_permute4x64_epi64(r0[3], _MM_SHUFFLE(0, 3, 2, 1));
    r1[1] = _mm256_permute4x64_epi64(r1[1], _MM_SHUFFLE(2, 1, 0, 3));
    r1[2] = _mm256_permute4x64_epi64(r1[2], _MM_SHUFFLE(1, 0, 3, 2));
    r1[3] = _mm256_permute4x64_epi64(r1[3], _MM_SHUFFLE(0, 3, 2, 1));
}

// In each 128-bit half: (x.hi, y.lo).
inline __m256i highLow(__m256i x, __m256i y) {
    return _mm256_alignr_epi8(y, x, 8);
}

// P on two columns at once: v[k] holds, in each half, the words (v(2k), v(2k+1)) of one column.
inline void permuteColumns(__m256i& v0, __m256i& v1, __m256i& v2, __m256i& v3, __m256i& v4, __m256i& v5,
                           __m256i& v6, __m256i& v7) {
    gb2(v0, v2, v4, v6, v1, v3, v5, v7);
    __m256i b0 = highLow(v2, v3);  // v5, v6
    __m256i b1 = highLow(v3, v2);  // v7, v4
    __m256i d0 = highLow(v7, v6);  // v15, v12
    __m256i d1 = highLow(v6, v7);  // v13, v14
    gb2(v0, b0, v5, d0, v1, b1, v4, d1);
    v2 = highLow(b1, b0);
    v3 = highLow(b0, b1);
    v6 = highLow(d0, d1);
    v7 = highLow(d1, d0);
}

struct AVX2Kernel {
    template <class FirstWordReady>
    static void compress(const Argon2Block& prev, const Argon2Block& ref, Argon2Block& next, bool xorInto,
                         FirstWordReady&& firstWordReady) {
        __m256i r[32];
        __m256i keep[32];
        const auto* p = reinterpret_cast<const __m256i*>(prev.words);
        const auto* q = reinterpret_cast<const __m256i*>(ref.words);
        auto* out = reinterpret_cast<__m256i*>(next.words);
        // Each pair of rows is loaded right before it is permuted: the reference block's cache
        // lines come in one after another, and the rows whose lines are there go ahead.
        for (int row = 0; row < 8; row += 2) {
            for (int k = 4 * row; k < 4 * row + 8; ++k) {
                r[k] = _mm256_xor_si256(_mm256_load_si256(p + k), _mm256_load_si256(q + k));
                keep[k] = xorInto ? _mm256_xor_si256(r[k], _mm256_load_si256(out + k)) : r[k];
            }
            permuteRows(r + 4 * row, r + 4 * row + 4);
        }
        // Columns 2c and 2c+1 are vector c of each row. The first pair holds word 0, so it goes
        // first.
        for (int c = 0; c < 4; ++c) {
            permuteColumns(r[c], r[c + 4], r[c + 8], r[c + 12], r[c + 16], r[c + 20], r[c + 24], r[c + 28]);
            if (c == 0) {
                const __m128i low = _mm256_castsi256_si128(_mm256_xor_si256(keep[0], r[0]));
                firstWordReady(static_cast<std::uint64_t>(_mm_cvtsi128_si64(low)));
            }
        }
        for (int k = 0; k < 32; ++k) _mm256_store_si256(out + k, _mm256_xor_si256(keep[k], r[k]));
    }
};

}  // namespace

void argon2FillBlockAVX2(const Argon2Block& prev, const Argon2Block& ref, Argon2Block& next, bool xorInto) {
    AVX2Kernel::compress(prev, ref, next, xorInto, [](std::uint64_t) {});
}

void argon2FillSegmentAVX2(const Argon2SegmentContext& context, std::uint32_t lane) {
    argon2FillSegmentWith<AVX2Kernel>(context, lane);
}

#endif
