#include "OmbrixCore/Crypto/Argon2.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <barrier>
#include <cstdio>
#include <cstring>
#include <limits>
#include <new>
#include <optional>
#include <thread>
#include <vector>

#include "OmbrixCore/Crypto/Argon2Compress.h"
#include "OmbrixCore/Crypto/Blake2b.h"
#include "OmbrixCore/Crypto/SecureWipe.h"
#include "OmbrixCore/Foundation/Precondition.h"

// ---------------------------------------------------------------------------------------------
// Errors

Argon2::Error::Error(Kind kind, std::int64_t value) : kind_(kind), value_(value) {
    switch (kind) {
        case Kind::invalidParallelism:
            description_ = "Argon2: geçersiz paralellik değeri " + std::to_string(value) + ".";
            break;
        case Kind::invalidMemory:
            description_ = "Argon2: geçersiz bellek değeri " + std::to_string(value) + " KiB.";
            break;
        case Kind::invalidIterations:
            description_ = "Argon2: geçersiz tur sayısı " + std::to_string(value) + ".";
            break;
        case Kind::invalidOutputLength:
            description_ = "Argon2: geçersiz çıktı uzunluğu " + std::to_string(value) + ".";
            break;
        case Kind::invalidSaltLength:
            description_ = "Argon2: tuz en az 8 byte olmalı (" + std::to_string(value) + ").";
            break;
        case Kind::unsupportedVersion: {
            char hex[17];
            std::snprintf(hex, sizeof hex, "%llx", static_cast<unsigned long long>(value));
            description_ = std::string("Argon2: desteklenmeyen sürüm 0x") + hex + ".";
            break;
        }
        case Kind::allocationFailed:
            description_ = "Argon2: bellek ayrılamadı.";
            break;
    }
}

Argon2::Error Argon2::Error::invalidParallelism(std::uint32_t parallelism) {
    return Error(Kind::invalidParallelism, parallelism);
}
Argon2::Error Argon2::Error::invalidMemory(std::uint32_t memoryKiB) {
    return Error(Kind::invalidMemory, memoryKiB);
}
Argon2::Error Argon2::Error::invalidIterations(std::uint32_t iterations) {
    return Error(Kind::invalidIterations, iterations);
}
Argon2::Error Argon2::Error::invalidOutputLength(std::ptrdiff_t outputLength) {
    return Error(Kind::invalidOutputLength, outputLength);
}
Argon2::Error Argon2::Error::invalidSaltLength(std::ptrdiff_t saltLength) {
    return Error(Kind::invalidSaltLength, saltLength);
}
Argon2::Error Argon2::Error::unsupportedVersion(std::uint32_t version) {
    return Error(Kind::unsupportedVersion, version);
}
Argon2::Error Argon2::Error::allocationFailed() {
    return Error(Kind::allocationFailed, 0);
}

std::optional<Argon2::Variant> Argon2::variant(std::uint32_t rawValue) {
    if (rawValue > static_cast<std::uint32_t>(Variant::id)) return std::nullopt;
    return static_cast<Variant>(rawValue);
}

// ---------------------------------------------------------------------------------------------
// Computation

namespace {

constexpr std::uint32_t version10 = 0x10;
constexpr std::uint32_t version13 = 0x13;
constexpr std::uint64_t maxLength32 = 0xFFFFFFFF;

void appendLE32(Bytes& out, std::uint64_t value) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

// Total RAM, or nothing when the system does not say.
std::optional<std::uint64_t> physicalMemoryBytes() {
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGE_SIZE);
    if (pages <= 0 || pageSize <= 0) return std::nullopt;
    const auto p = static_cast<std::uint64_t>(pages);
    const auto s = static_cast<std::uint64_t>(pageSize);
    if (p > std::numeric_limits<std::uint64_t>::max() / s) return std::numeric_limits<std::uint64_t>::max();
    return p * s;
}

std::atomic<Argon2MatrixObserver> matrixObserver{nullptr};

// The block matrix: one anonymous mapping (zero-filled by the kernel), aligned to 2 MiB so that
// transparent huge pages can back it, which spares most page faults and TLB misses. Wiped before
// it is unmapped, unless the caller has wiped it already.
class BlockMatrix {
  public:
    explicit BlockMatrix(std::size_t blockCount) : bytes_(blockCount * sizeof(Argon2Block)) {
        constexpr std::size_t hugePage = std::size_t{2} << 20;
        const bool huge = bytes_ >= hugePage;
        const std::size_t reserve = huge ? bytes_ + hugePage : bytes_;
        void* mapped = mmap(nullptr, reserve, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (mapped == MAP_FAILED) throw Argon2::Error::allocationFailed();
        auto* base = static_cast<std::uint8_t*>(mapped);
        auto* start = base;
        if (huge) {
            const auto address = reinterpret_cast<std::uintptr_t>(base);
            start = base + ((hugePage - address % hugePage) % hugePage);
            if (start != base) munmap(base, static_cast<std::size_t>(start - base));
            const std::size_t tail = static_cast<std::size_t>(base + reserve - (start + bytes_));
            if (tail > 0) munmap(start + bytes_, tail);
            madvise(start, bytes_, MADV_HUGEPAGE);  // advice only: failure just means small pages
        }
        blocks_ = reinterpret_cast<Argon2Block*>(start);
    }

    ~BlockMatrix() {
        if (!wiped_) secureWipe(blocks_, bytes_);
        if (const Argon2MatrixObserver observer = matrixObserver.load())
            observer(ByteView(reinterpret_cast<const std::uint8_t*>(blocks_), bytes_));
        munmap(blocks_, bytes_);
    }

    // Every block has been wiped (lane by lane, on the filling threads).
    void markWiped() { wiped_ = true; }

    BlockMatrix(const BlockMatrix&) = delete;
    BlockMatrix& operator=(const BlockMatrix&) = delete;

    Argon2Block* blocks() const { return blocks_; }

  private:
    std::size_t bytes_;
    Argon2Block* blocks_ = nullptr;
    bool wiped_ = false;
};

// Wipes a lane but for its last block, which the final block is made of.
void wipeLaneButLast(const Argon2SegmentContext& ctx, std::uint32_t lane) {
    secureWipe(ctx.memory + std::uint64_t{lane} * ctx.laneLength,
               std::size_t{ctx.laneLength - 1} * sizeof(Argon2Block));
}

// Faults the block matrix in on cores the lanes leave idle, ahead of the first pass: the kernel
// zeroes every page on first touch (and in a virtual machine the host may have to supply it
// first), which would otherwise stall the lanes. MADV_POPULATE_WRITE maps pages without touching
// their contents, so it may run alongside the lanes that write them.
class MatrixPrefaulter {
  public:
    MatrixPrefaulter(const Argon2SegmentContext& ctx, unsigned threads)
        : memory_(reinterpret_cast<std::uint8_t*>(ctx.memory)),
          lanes_(ctx.lanes),
          laneBytes_(std::size_t{ctx.laneLength} * sizeof(Argon2Block)),
          segmentBytes_(std::size_t{ctx.segmentLength} * sizeof(Argon2Block)),
          piecesPerSegment_((segmentBytes_ + pieceBytes - 1) / pieceBytes),
          pieces_(piecesPerSegment_ * lanes_ * Argon2::syncPoints) {
#if defined(MADV_POPULATE_WRITE)
        for (unsigned k = 0; k < threads; ++k) {
            try {
                threads_.emplace_back([this] { run(); });
            } catch (...) {
                break;  // fewer helpers: the lanes fault the rest in themselves
            }
        }
#else
        (void)threads;
#endif
    }

    ~MatrixPrefaulter() {
        stop_.store(true, std::memory_order_relaxed);
        for (auto& thread : threads_) thread.join();
    }

    MatrixPrefaulter(const MatrixPrefaulter&) = delete;
    MatrixPrefaulter& operator=(const MatrixPrefaulter&) = delete;

  private:
    static constexpr std::size_t pieceBytes = std::size_t{2} << 20;

    // Pieces in the order the first pass writes them: slice by slice, every lane's segment.
    void run() {
#if defined(MADV_POPULATE_WRITE)
        const auto pageBytes = static_cast<std::uintptr_t>(sysconf(_SC_PAGE_SIZE));
        for (std::size_t piece; !stop_.load(std::memory_order_relaxed) &&
                                (piece = next_.fetch_add(1, std::memory_order_relaxed)) < pieces_;) {
            const std::size_t slice = piece / (piecesPerSegment_ * lanes_);
            const std::size_t lane = piece / piecesPerSegment_ % lanes_;
            const std::size_t offset = piece % piecesPerSegment_ * pieceBytes;
            std::uint8_t* segment = memory_ + lane * laneBytes_ + slice * segmentBytes_;
            const auto begin = reinterpret_cast<std::uintptr_t>(segment + offset) / pageBytes * pageBytes;
            const auto end =
                reinterpret_cast<std::uintptr_t>(segment + std::min(offset + pieceBytes, segmentBytes_));
            // Advice only: a kernel without it (before Linux 5.14) leaves the faults to the lanes.
            if (madvise(reinterpret_cast<void*>(begin), end - begin, MADV_POPULATE_WRITE) != 0) break;
        }
#endif
    }

    std::uint8_t* memory_;
    std::size_t lanes_;
    std::size_t laneBytes_;
    std::size_t segmentBytes_;
    std::size_t piecesPerSegment_;
    std::size_t pieces_;
    std::atomic<std::size_t> next_{0};
    std::atomic<bool> stop_{false};
    std::vector<std::thread> threads_;
};

// Helpers for MatrixPrefaulter: none for a small matrix, else two, or as many as make five
// faulting threads with the lanes' own, within the idle cores. More only contend for memory
// bandwidth (measured on 256 MiB with four lanes and on 64 MiB with one).
unsigned prefaultHelpers(const Argon2SegmentContext& ctx, unsigned cores, std::uint32_t threadCount) {
    constexpr std::uint64_t smallMatrixBlocks = 16 * 1024;  // 16 MiB
    if (ctx.memoryBlocks < smallMatrixBlocks || cores <= threadCount) return 0;
    const unsigned wanted = threadCount >= 3 ? 2 : 5 - threadCount;
    return std::min(cores - threadCount, wanted);
}

// Wipes the first `columns` blocks of a lane.
void wipeLane(const Argon2SegmentContext& ctx, std::uint32_t lane, std::uint64_t columns) {
    secureWipe(ctx.memory + std::uint64_t{lane} * ctx.laneLength, std::size_t(columns) * sizeof(Argon2Block));
}

// The blocks of each lane that hold anything once the filling stopped in the given pass and
// slice: untouched pages are not faulted in only to be zeroed.
std::uint64_t writtenColumns(const Argon2SegmentContext& ctx) {
    if (ctx.pass > 0) return ctx.laneLength;
    return std::uint64_t{ctx.slice + 1} * ctx.segmentLength;
}

// Runs every pass and slice, then wipes every lane but its last block. The lanes of a slice are
// shared out among at most as many threads as the machine has cores (the calling thread
// included), started once; a barrier ends each slice, because later slices read the segments it
// wrote. The same threads share the wiping, which is bound by memory bandwidth. A raised stop
// ends it after the slice in progress (whose segments end early too), wipes every block written
// and returns false.
bool fillMemory(Argon2SegmentContext ctx, Argon2FillSegment fillSegment) {
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    const std::uint32_t threadCount = std::min<std::uint32_t>(ctx.lanes, cores);
    const MatrixPrefaulter prefaulter(ctx, prefaultHelpers(ctx, cores, threadCount));
    if (threadCount == 1) {
        for (ctx.pass = 0; ctx.pass < ctx.iterations; ++ctx.pass) {
            for (ctx.slice = 0; ctx.slice < Argon2::syncPoints; ++ctx.slice) {
                for (std::uint32_t lane = 0; lane < ctx.lanes; ++lane) fillSegment(ctx, lane);
                if (stopRequested(ctx.stop)) {
                    for (std::uint32_t lane = 0; lane < ctx.lanes; ++lane)
                        wipeLane(ctx, lane, writtenColumns(ctx));
                    return false;
                }
            }
        }
        for (std::uint32_t lane = 0; lane < ctx.lanes; ++lane) wipeLaneButLast(ctx, lane);
        return true;
    }

    ctx.pass = 0;
    ctx.slice = 0;
    bool done = false;
    bool stopped = false;
    std::atomic<std::uint32_t> nextLane{0};
    // Runs on one thread once all have arrived and before any leaves: the next slice's context.
    auto advance = [&]() noexcept {
        nextLane.store(0, std::memory_order_relaxed);
        if (stopRequested(ctx.stop)) {
            stopped = true;
            done = true;
            return;
        }
        if (++ctx.slice == Argon2::syncPoints) {
            ctx.slice = 0;
            if (++ctx.pass == ctx.iterations) done = true;
        }
    };
    std::barrier sliceEnd(static_cast<std::ptrdiff_t>(threadCount), advance);
    auto work = [&] {
        while (!done) {
            const Argon2SegmentContext slice = ctx;
            for (std::uint32_t lane;
                 (lane = nextLane.fetch_add(1, std::memory_order_relaxed)) < slice.lanes;) {
                fillSegment(slice, lane);
            }
            sliceEnd.arrive_and_wait();
        }
        // The last slice's barrier has set nextLane back to 0.
        for (std::uint32_t lane; (lane = nextLane.fetch_add(1, std::memory_order_relaxed)) < ctx.lanes;) {
            if (stopped)
                wipeLane(ctx, lane, writtenColumns(ctx));
            else
                wipeLaneButLast(ctx, lane);
        }
    };

    std::vector<std::thread> workers;
    workers.reserve(threadCount - 1);
    for (std::uint32_t k = 1; k < threadCount; ++k) {
        try {
            workers.emplace_back(work);
        } catch (...) {
            // No more threads to be had (system limit or memory): the ones running share the
            // lanes, and the missing ones leave the barrier for good.
            for (; k < threadCount; ++k) sliceEnd.arrive_and_drop();
            break;
        }
    }
    work();
    for (auto& worker : workers) worker.join();
    return !stopped;
}

// A working buffer derived from the password, wiped however its scope ends: a matrix that cannot
// be mapped or an allocation that fails midway must not leave it in freed memory.
struct WipedBytes {
    Bytes bytes;

    ~WipedBytes() { secureWipe(bytes); }
};

}  // namespace

Bytes argon2Hash(Argon2FillSegment fillSegment, ByteView password, ByteView salt, ByteView secret,
                 ByteView associatedData, std::uint32_t memoryKiB, std::uint32_t iterations,
                 std::uint32_t parallelism, std::ptrdiff_t outputLength, Argon2::Variant variant,
                 std::uint32_t version, const StopFlag* stop) {
    using Error = Argon2::Error;
    OMBRIX_PRECONDITION(outputLength <= static_cast<std::int64_t>(maxLength32),
                        "Argon2 output length must not exceed 4294967295");
    OMBRIX_PRECONDITION(password.size() <= maxLength32 && salt.size() <= maxLength32 &&
                            secret.size() <= maxLength32 && associatedData.size() <= maxLength32,
                        "Argon2 inputs must be shorter than 4 GiB");

    if (version != version13 && version != version10) throw Error::unsupportedVersion(version);
    if (parallelism == 0 || parallelism > 0xFFFFFF) throw Error::invalidParallelism(parallelism);
    if (iterations == 0) throw Error::invalidIterations(iterations);
    if (outputLength < 4) throw Error::invalidOutputLength(outputLength);
    if (salt.size() < 8) throw Error::invalidSaltLength(static_cast<std::ptrdiff_t>(salt.size()));
    if (memoryKiB < std::uint64_t{8} * parallelism) throw Error::invalidMemory(memoryKiB);

    // Four blocks per lane and slice at least; the memory is rounded down to that multiple.
    const std::uint32_t memoryBlocks = memoryKiB / (4 * parallelism) * (4 * parallelism);
    const std::uint32_t laneLength = memoryBlocks / parallelism;
    const std::uint32_t segmentLength = laneLength / Argon2::syncPoints;

    // A matrix larger than the machine's memory can never be filled: the kernel would end the
    // process part-way. Refuse it before touching anything.
    const std::uint64_t matrixBytes = std::uint64_t{memoryBlocks} * sizeof(Argon2Block);
    const auto physical = physicalMemoryBytes();
    // (The second bound only matters where size_t is 32 bits; it leaves room for the alignment slack.)
    if ((physical && matrixBytes > *physical) || matrixBytes > std::numeric_limits<std::size_t>::max() / 2) {
        throw Error::allocationFailed();
    }

    if (stopRequested(stop)) throw Stopped();
    try {
        WipedBytes h0;
        {
            WipedBytes initial;
            Bytes& in = initial.bytes;
            in.reserve(6 * 4 + 4 * 4 + password.size() + salt.size() + secret.size() + associatedData.size());
            appendLE32(in, parallelism);
            appendLE32(in, static_cast<std::uint64_t>(outputLength));
            appendLE32(in, memoryKiB);
            appendLE32(in, iterations);
            appendLE32(in, version);
            appendLE32(in, static_cast<std::uint32_t>(variant));
            for (ByteView field : {password, salt, secret, associatedData}) {
                appendLE32(in, field.size());
                in.insert(in.end(), field.begin(), field.end());
            }
            Blake2b::State state(64);
            state.update(in);
            h0.bytes = state.finalize();
        }

        BlockMatrix matrix(memoryBlocks);
        Argon2Block* memory = matrix.blocks();

        // First two columns of every lane: H'(H0 || column || lane).
        // Its one block is big enough from the start: a block outgrown would be freed unwiped.
        WipedBytes seedBuffer;
        Bytes& seed = seedBuffer.bytes;
        seed.reserve(h0.bytes.size() + 8);
        seed.assign(h0.bytes.begin(), h0.bytes.end());
        seed.resize(h0.bytes.size() + 8);
        for (std::uint32_t lane = 0; lane < parallelism; ++lane) {
            for (std::uint32_t column = 0; column < 2; ++column) {
                for (int i = 0; i < 4; ++i) {
                    seed[64 + i] = static_cast<std::uint8_t>(column >> (8 * i));
                    seed[68 + i] = static_cast<std::uint8_t>(lane >> (8 * i));
                }
                const WipedBytes block{Blake2b::longHash(seed, sizeof(Argon2Block))};
                Argon2Block& target = memory[std::uint64_t{lane} * laneLength + column];
                for (int w = 0; w < Argon2::wordsPerBlock; ++w) {
                    std::uint64_t word = 0;
                    for (int b = 7; b >= 0; --b) word = (word << 8) | block.bytes[8 * w + b];
                    target.words[w] = word;
                }
            }
        }

        if (!fillMemory(Argon2SegmentContext{memory, 0, 0, parallelism, laneLength, segmentLength,
                                             memoryBlocks, iterations, variant, version, stop},
                        fillSegment)) {
            matrix.markWiped();
            throw Stopped();
        }

        // Final block: the last column of every lane XORed together.
        Argon2Block final{};
        for (std::uint32_t lane = 0; lane < parallelism; ++lane) {
            const Argon2Block& last = memory[std::uint64_t{lane} * laneLength + laneLength - 1];
            for (int w = 0; w < Argon2::wordsPerBlock; ++w) final.words[w] ^= last.words[w];
        }
        WipedBytes finalBytes{Bytes(sizeof(Argon2Block))};
        for (int w = 0; w < Argon2::wordsPerBlock; ++w) {
            for (int b = 0; b < 8; ++b)
                finalBytes.bytes[8 * w + b] = static_cast<std::uint8_t>(final.words[w] >> (8 * b));
        }
        secureWipe(&final, sizeof final);
        for (std::uint32_t lane = 0; lane < parallelism; ++lane) {
            secureWipe(&memory[std::uint64_t{lane} * laneLength + laneLength - 1], sizeof(Argon2Block));
        }
        matrix.markWiped();
        return Blake2b::longHash(finalBytes.bytes, outputLength);
    } catch (const std::bad_alloc&) {
        throw Error::allocationFailed();
    }
}

void argon2SetMatrixObserver(Argon2MatrixObserver observer) noexcept {
    matrixObserver.store(observer);
}

Bytes Argon2::hash(ByteView password, ByteView salt, ByteView secret, ByteView associatedData,
                   std::uint32_t memoryKiB, std::uint32_t iterations, std::uint32_t parallelism,
                   std::ptrdiff_t outputLength, Variant variant, std::uint32_t version,
                   const StopFlag* stop) {
    static const Argon2FillSegment fillSegment = argon2KernelFunctions(argon2PreferredKernel()).fillSegment;
    return argon2Hash(fillSegment, password, salt, secret, associatedData, memoryKiB, iterations, parallelism,
                      outputLength, variant, version, stop);
}
