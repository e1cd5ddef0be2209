#include "OmbrixCore/Kdbx/AesKdfRounds.h"

#include "OmbrixCore/Foundation/Precondition.h"

#if defined(__x86_64__)

#include <immintrin.h>

#include "OmbrixCore/Crypto/SecureWipe.h"

namespace {

constexpr int roundKeys = 15;  // AES-256: 14 rounds plus the initial whitening key

// w[i] ^= w[i-1] ^ w[i-2] ^ ... across the four words of a round key: the running XOR with
// which each word of the FIPS 197 key expansion depends on the word before it.
inline __m128i prefixXor(__m128i key) {
    key = _mm_xor_si128(key, _mm_slli_si128(key, 4));
    key = _mm_xor_si128(key, _mm_slli_si128(key, 4));
    return _mm_xor_si128(key, _mm_slli_si128(key, 4));
}

// Words 8j..8j+3 (FIPS 197 5.2, i mod 8 = 0): SubWord(RotWord(w[i-1])) ^ Rcon, where w[i-1] is
// the last word of the previous round key. The assist instruction's word 3 holds exactly that.
template <int rcon>
inline __m128i evenRoundKey(__m128i twoBack, __m128i previous) {
    const __m128i assist = _mm_shuffle_epi32(_mm_aeskeygenassist_si128(previous, rcon), 0xFF);
    return _mm_xor_si128(prefixXor(twoBack), assist);
}

// Words 8j+4..8j+7 (i mod 8 = 4): SubWord(w[i-1]) without rotation or Rcon, the assist
// instruction's word 2.
inline __m128i oddRoundKey(__m128i twoBack, __m128i previous) {
    const __m128i assist = _mm_shuffle_epi32(_mm_aeskeygenassist_si128(previous, 0), 0xAA);
    return _mm_xor_si128(prefixXor(twoBack), assist);
}

void expandKey(const std::uint8_t* key, __m128i (&k)[roundKeys]) {
    k[0] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(key));
    k[1] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(key + 16));
    k[2] = evenRoundKey<0x01>(k[0], k[1]);
    k[3] = oddRoundKey(k[1], k[2]);
    k[4] = evenRoundKey<0x02>(k[2], k[3]);
    k[5] = oddRoundKey(k[3], k[4]);
    k[6] = evenRoundKey<0x04>(k[4], k[5]);
    k[7] = oddRoundKey(k[5], k[6]);
    k[8] = evenRoundKey<0x08>(k[6], k[7]);
    k[9] = oddRoundKey(k[7], k[8]);
    k[10] = evenRoundKey<0x10>(k[8], k[9]);
    k[11] = oddRoundKey(k[9], k[10]);
    k[12] = evenRoundKey<0x20>(k[10], k[11]);
    k[13] = oddRoundKey(k[11], k[12]);
    k[14] = evenRoundKey<0x40>(k[12], k[13]);
}

// One AES round on each half, issued side by side: the halves are independent, so the second
// chain fills the pipeline slots the first leaves idle while it waits on its own result.
inline void bothHalves(__m128i& a, __m128i& b, __m128i key) {
    a = _mm_aesenc_si128(a, key);
    b = _mm_aesenc_si128(b, key);
}

}  // namespace

void aesKdfRoundsAESNI(std::span<std::uint8_t, 32> block, std::span<const std::uint8_t, 32> key,
                       std::uint64_t rounds) {
    __m128i k[roundKeys];
    expandKey(key.data(), k);

    // The last round ends by XORing the last round key, and the next encryption begins by XORing
    // the first: folding both into one key shortens each dependent chain by one operation. The
    // first whitening is done before the loop and the surplus one undone after it.
    k[14] = _mm_xor_si128(k[14], k[0]);
    __m128i a = _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(block.data())), k[0]);
    __m128i b = _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(block.data() + 16)), k[0]);
    for (std::uint64_t round = 0; round < rounds; ++round) {
        bothHalves(a, b, k[1]);
        bothHalves(a, b, k[2]);
        bothHalves(a, b, k[3]);
        bothHalves(a, b, k[4]);
        bothHalves(a, b, k[5]);
        bothHalves(a, b, k[6]);
        bothHalves(a, b, k[7]);
        bothHalves(a, b, k[8]);
        bothHalves(a, b, k[9]);
        bothHalves(a, b, k[10]);
        bothHalves(a, b, k[11]);
        bothHalves(a, b, k[12]);
        bothHalves(a, b, k[13]);
        a = _mm_aesenclast_si128(a, k[14]);
        b = _mm_aesenclast_si128(b, k[14]);
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(block.data()), _mm_xor_si128(a, k[0]));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(block.data() + 16), _mm_xor_si128(b, k[0]));

    secureWipe(k, sizeof k);
}

#else

void aesKdfRoundsAESNI(std::span<std::uint8_t, 32>, std::span<const std::uint8_t, 32>, std::uint64_t) {
    OMBRIX_PRECONDITION(false, "AES-NI is only built for x86-64");
}

#endif
