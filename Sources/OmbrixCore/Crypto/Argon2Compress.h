#pragma once

#include <cstdint>

#include "OmbrixCore/Crypto/Argon2.h"
#include "OmbrixCore/Foundation/Bytes.h"

// Argon2's 1 KiB block, its compression function G (RFC 9106, sections 3.5 and 3.6) and the
// filling of a segment, in a portable form that is the reference and in vector forms picked at
// run time. Internal to the Argon2 implementation; tests and benchmarks use it to hold the
// vector forms to the reference.

struct alignas(64) Argon2Block {
    std::uint64_t words[128];
};

enum class Argon2Kernel { portable, sse2, avx2 };

// What every lane needs to fill its segment of one slice; read by all lanes of the slice.
struct Argon2SegmentContext {
    Argon2Block* memory;
    std::uint32_t pass;
    std::uint32_t slice;
    std::uint32_t lanes;
    std::uint32_t laneLength;
    std::uint32_t segmentLength;
    std::uint32_t memoryBlocks;
    std::uint32_t iterations;
    Argon2::Variant variant;
    std::uint32_t version;
    // Raised to end the filling early; a segment then stops part-way.
    const StopFlag* stop = nullptr;
};

// next = G(prev, ref), or next ^= G(prev, ref) when xorInto is set (version 0x13 after the
// first pass). next never aliases prev or ref.
using Argon2FillBlock = void (*)(const Argon2Block& prev, const Argon2Block& ref, Argon2Block& next,
                                 bool xorInto);

// Fills the given lane's segment of the context's slice.
using Argon2FillSegment = void (*)(const Argon2SegmentContext& context, std::uint32_t lane);

struct Argon2KernelFunctions {
    Argon2FillBlock fillBlock;
    Argon2FillSegment fillSegment;
};

bool argon2KernelAvailable(Argon2Kernel kernel);

// The fastest kernel this processor runs.
Argon2Kernel argon2PreferredKernel();

// The functions of an available kernel.
Argon2KernelFunctions argon2KernelFunctions(Argon2Kernel kernel);

// Argon2::hash with the segments filled by `fillSegment` (one of an available kernel's).
Bytes argon2Hash(Argon2FillSegment fillSegment, ByteView password, ByteView salt, ByteView secret,
                 ByteView associatedData, std::uint32_t memoryKiB, std::uint32_t iterations,
                 std::uint32_t parallelism, std::ptrdiff_t outputLength, Argon2::Variant variant,
                 std::uint32_t version, const StopFlag* stop = nullptr);

// Test seam: when set, called with the whole block matrix as it is released, after its wipe and
// before it is unmapped. Null removes it.
using Argon2MatrixObserver = void (*)(ByteView matrix);
void argon2SetMatrixObserver(Argon2MatrixObserver observer) noexcept;

// Per-kernel entry points, defined in the kernel's own file; the AVX2 ones run only on
// processors with AVX2.
void argon2FillBlockPortable(const Argon2Block& prev, const Argon2Block& ref, Argon2Block& next,
                             bool xorInto);
void argon2FillSegmentPortable(const Argon2SegmentContext& context, std::uint32_t lane);
void argon2FillBlockSSE2(const Argon2Block& prev, const Argon2Block& ref, Argon2Block& next, bool xorInto);
void argon2FillSegmentSSE2(const Argon2SegmentContext& context, std::uint32_t lane);
void argon2FillBlockAVX2(const Argon2Block& prev, const Argon2Block& ref, Argon2Block& next, bool xorInto);
void argon2FillSegmentAVX2(const Argon2SegmentContext& context, std::uint32_t lane);
