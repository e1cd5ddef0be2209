#pragma once

// The filling of one segment (RFC 9106, section 3.4), written once and compiled into the file of
// each kernel so that G is inlined into the loop. Everything here has internal linkage: the copy
// built for one instruction set must never stand in for another's at link time.

#include <cstdint>

#include "OmbrixCore/Crypto/Argon2Compress.h"

namespace {

// Index in the matrix of the block that block i of the segment references, given its
// pseudo-random word (J1 low, J2 high).
inline std::uint64_t argon2ReferenceBlock(const Argon2SegmentContext& ctx, std::uint32_t lane,
                                          std::uint32_t i, std::uint64_t pseudoRandom) {
    const auto j1 = static_cast<std::uint32_t>(pseudoRandom);
    const auto j2 = static_cast<std::uint32_t>(pseudoRandom >> 32);
    const bool firstSlice = ctx.pass == 0 && ctx.slice == 0;
    const std::uint32_t refLane = firstSlice ? lane : j2 % ctx.lanes;
    const bool sameLane = refLane == lane;

    // Finished segments, plus the blocks of the current segment before the previous one when the
    // reference lane is our own; another lane's current segment is still being written.
    std::uint64_t area;
    if (ctx.pass == 0) {
        if (ctx.slice == 0)
            area = i - 1;
        else if (sameLane)
            area = std::uint64_t{ctx.slice} * ctx.segmentLength + i - 1;
        else
            area = std::uint64_t{ctx.slice} * ctx.segmentLength - (i == 0 ? 1 : 0);
    } else {
        if (sameLane)
            area = std::uint64_t{ctx.laneLength} - ctx.segmentLength + i - 1;
        else
            area = std::uint64_t{ctx.laneLength} - ctx.segmentLength - (i == 0 ? 1 : 0);
    }
    // In later passes the area starts right after the current segment.
    const std::uint64_t start = (ctx.pass != 0 && ctx.slice != Argon2::syncPoints - 1)
                                    ? std::uint64_t{ctx.slice + 1} * ctx.segmentLength
                                    : 0;
    const std::uint64_t x = (std::uint64_t{j1} * j1) >> 32;
    const std::uint64_t y = (area * x) >> 32;
    // start + relative position stays below twice the lane length: one subtraction wraps it.
    std::uint64_t column = start + area - 1 - y;
    if (column >= ctx.laneLength) column -= ctx.laneLength;
    return std::uint64_t{refLane} * ctx.laneLength + column;
}

// Asks for a block's cache lines ahead of use: reference blocks lie anywhere in the matrix, and
// fetching them while G still works on the current block hides most of the memory latency.
// On x86-64 an asm statement: GCC counts __builtin_prefetch as free of effects, so it deemed the
// callback that holds only the prefetch const and dropped the call.
inline void argon2Prefetch(const Argon2Block& block) {
    const auto* bytes = reinterpret_cast<const char*>(&block);
    for (int offset = 0; offset < static_cast<int>(sizeof(Argon2Block)); offset += 64) {
#if defined(__x86_64__)
        asm volatile("prefetcht0 %0" : : "m"(bytes[offset]));
#else
        __builtin_prefetch(bytes + offset);
#endif
    }
}

// How far ahead, in later passes, the old contents of the blocks to be overwritten are fetched:
// they were written a pass ago and sit in memory, and the hardware prefetchers stop at every
// 4 KiB page, that is every fourth block.
constexpr std::uint32_t argon2OverwriteDistance = 2;

// Kernel::compress(prev, ref, next, xorInto, firstWordReady) computes G and calls
// firstWordReady(word 0 of the new block) as soon as that word is final, before G is done.
template <class Kernel>
void argon2NextAddresses(Argon2Block& input, Argon2Block& address, Argon2Block& scratch) {
    static constexpr Argon2Block zero{};
    const auto nothing = [](std::uint64_t) {};
    ++input.words[6];
    Kernel::compress(zero, input, scratch, false, nothing);
    Kernel::compress(zero, scratch, address, false, nothing);
}

template <class Kernel>
void argon2FillSegmentWith(const Argon2SegmentContext& ctx, std::uint32_t lane) {
    const bool dataIndependent = ctx.variant == Argon2::Variant::i ||
                                 (ctx.variant == Argon2::Variant::id && ctx.pass == 0 && ctx.slice < 2);
    const bool firstSlice = ctx.pass == 0 && ctx.slice == 0;
    const bool xorInto = ctx.version == 0x13 && ctx.pass != 0;
    Argon2Block* const memory = ctx.memory;

    Argon2Block address{};
    Argon2Block input{};
    Argon2Block scratch{};
    if (dataIndependent) {
        input.words[0] = ctx.pass;
        input.words[1] = lane;
        input.words[2] = ctx.slice;
        input.words[3] = ctx.memoryBlocks;
        input.words[4] = ctx.iterations;
        input.words[5] = static_cast<std::uint32_t>(ctx.variant);
    }

    // Columns 0 and 1 of the first pass come from H0.
    const std::uint32_t firstIndex = firstSlice ? 2 : 0;
    if (firstSlice && dataIndependent) argon2NextAddresses<Kernel>(input, address, scratch);

    const std::uint64_t laneStart = std::uint64_t{lane} * ctx.laneLength;
    const std::uint32_t firstColumn = ctx.slice * ctx.segmentLength + firstIndex;
    std::uint64_t current = laneStart + firstColumn;
    std::uint64_t previous = firstColumn == 0 ? laneStart + ctx.laneLength - 1 : current - 1;
    const std::uint32_t last = ctx.segmentLength - 1;

    for (std::uint32_t i = firstIndex; i <= last; ++i, previous = current, ++current) {
        // Half a megabyte at a time: a stop is seen within a millisecond or so, even in a
        // segment of gigabytes.
        if (i % 512 == 0 && stopRequested(ctx.stop)) return;
        if (ctx.pass != 0 && i + argon2OverwriteDistance <= last) {
            argon2Prefetch(memory[current + argon2OverwriteDistance]);
        }
        std::uint64_t reference;
        if (dataIndependent) {
            if (i % Argon2::addressesPerBlock == 0) argon2NextAddresses<Kernel>(input, address, scratch);
            reference = argon2ReferenceBlock(ctx, lane, i, address.words[i % Argon2::addressesPerBlock]);
            const std::uint32_t n = i + 1;
            if (n <= last && n % Argon2::addressesPerBlock != 0) {
                argon2Prefetch(
                    memory[argon2ReferenceBlock(ctx, lane, n, address.words[n % Argon2::addressesPerBlock])]);
            }
            Kernel::compress(memory[previous], memory[reference], memory[current], xorInto,
                             [](std::uint64_t) {});
        } else {
            reference = argon2ReferenceBlock(ctx, lane, i, memory[previous].words[0]);
            // The next block's reference depends on this block's first word: fetch it while G
            // finishes the other columns.
            Kernel::compress(
                memory[previous], memory[reference], memory[current], xorInto, [&](std::uint64_t firstWord) {
                    if (i < last) argon2Prefetch(memory[argon2ReferenceBlock(ctx, lane, i + 1, firstWord)]);
                });
        }
    }
}

}  // namespace
