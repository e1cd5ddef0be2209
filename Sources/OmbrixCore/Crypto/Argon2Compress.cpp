#include "OmbrixCore/Crypto/Argon2Compress.h"

#include <bit>

#include "OmbrixCore/Crypto/Argon2Segment.h"
#include "OmbrixCore/Foundation/Precondition.h"

namespace {

// BLAKE2b's addition with Argon2's extra multiplication of the low halves (RFC 9106, 3.6).
inline std::uint64_t blaMka(std::uint64_t x, std::uint64_t y) {
    constexpr std::uint64_t low = 0xFFFFFFFF;
    return x + y + 2 * (x & low) * (y & low);
}

inline void gb(std::uint64_t& a, std::uint64_t& b, std::uint64_t& c, std::uint64_t& d) {
    a = blaMka(a, b);
    d = std::rotr(d ^ a, 32);
    c = blaMka(c, d);
    b = std::rotr(b ^ c, 24);
    a = blaMka(a, b);
    d = std::rotr(d ^ a, 16);
    c = blaMka(c, d);
    b = std::rotr(b ^ c, 63);
}

// P on sixteen words given by their positions in r.
inline void permute(std::uint64_t* r, const int (&at)[16]) {
    gb(r[at[0]], r[at[4]], r[at[8]], r[at[12]]);
    gb(r[at[1]], r[at[5]], r[at[9]], r[at[13]]);
    gb(r[at[2]], r[at[6]], r[at[10]], r[at[14]]);
    gb(r[at[3]], r[at[7]], r[at[11]], r[at[15]]);
    gb(r[at[0]], r[at[5]], r[at[10]], r[at[15]]);
    gb(r[at[1]], r[at[6]], r[at[11]], r[at[12]]);
    gb(r[at[2]], r[at[7]], r[at[8]], r[at[13]]);
    gb(r[at[3]], r[at[4]], r[at[9]], r[at[14]]);
}

struct PortableKernel {
    template <class FirstWordReady>
    static void compress(const Argon2Block& prev, const Argon2Block& ref, Argon2Block& next, bool xorInto,
                         FirstWordReady&& firstWordReady) {
        std::uint64_t r[128];
        std::uint64_t keep[128];
        for (int k = 0; k < 128; ++k) {
            r[k] = prev.words[k] ^ ref.words[k];
            keep[k] = xorInto ? r[k] ^ next.words[k] : r[k];
        }
        // Rows: eight runs of sixteen consecutive words.
        for (int row = 0; row < 8; ++row) {
            int at[16];
            for (int k = 0; k < 16; ++k) at[k] = 16 * row + k;
            permute(r, at);
        }
        // Columns: eight sets of the same two-word pair taken from each row. Column 0 holds
        // word 0, so it goes first.
        for (int column = 0; column < 8; ++column) {
            int at[16];
            for (int k = 0; k < 8; ++k) {
                at[2 * k] = 16 * k + 2 * column;
                at[2 * k + 1] = 16 * k + 2 * column + 1;
            }
            permute(r, at);
            if (column == 0) firstWordReady(keep[0] ^ r[0]);
        }
        for (int k = 0; k < 128; ++k) next.words[k] = keep[k] ^ r[k];
    }
};

bool cpuHasAVX2() {
#if defined(__x86_64__)
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
#else
    return false;
#endif
}

}  // namespace

void argon2FillBlockPortable(const Argon2Block& prev, const Argon2Block& ref, Argon2Block& next,
                             bool xorInto) {
    PortableKernel::compress(prev, ref, next, xorInto, [](std::uint64_t) {});
}

void argon2FillSegmentPortable(const Argon2SegmentContext& context, std::uint32_t lane) {
    argon2FillSegmentWith<PortableKernel>(context, lane);
}

bool argon2KernelAvailable(Argon2Kernel kernel) {
    switch (kernel) {
        case Argon2Kernel::portable:
            return true;
        case Argon2Kernel::sse2:
#if defined(__x86_64__)
            return true;  // part of the x86-64 baseline
#else
            return false;
#endif
        case Argon2Kernel::avx2:
            return cpuHasAVX2();
    }
    return false;
}

Argon2Kernel argon2PreferredKernel() {
    if (cpuHasAVX2()) return Argon2Kernel::avx2;
    return argon2KernelAvailable(Argon2Kernel::sse2) ? Argon2Kernel::sse2 : Argon2Kernel::portable;
}

Argon2KernelFunctions argon2KernelFunctions(Argon2Kernel kernel) {
    OMBRIX_PRECONDITION(argon2KernelAvailable(kernel), "Argon2 kernel not supported by this processor");
    switch (kernel) {
        case Argon2Kernel::portable:
            break;
#if defined(__x86_64__)
        case Argon2Kernel::sse2:
            return {argon2FillBlockSSE2, argon2FillSegmentSSE2};
        case Argon2Kernel::avx2:
            return {argon2FillBlockAVX2, argon2FillSegmentAVX2};
#else
        default:
            break;
#endif
    }
    return {argon2FillBlockPortable, argon2FillSegmentPortable};
}
