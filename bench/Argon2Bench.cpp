// Argon2id at the settings of a new database (256 MiB, 16 passes, 4 lanes) and at a
// single-lane setting (64 MiB, 3 passes), ours side by side with libargon2 and libsodium.
// Every comparison first checks that the other library gives our tag.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "OmbrixCore/Crypto/Argon2.h"
#include "OmbrixCore/Crypto/Argon2Compress.h"

#if defined(OMBRIX_HAVE_LIBARGON2)
#include <argon2.h>
#endif
#if defined(OMBRIX_HAVE_LIBSODIUM)
#include <sodium.h>
#endif

namespace {

constexpr std::size_t tagLength = 32;

struct Setting {
    std::uint32_t memoryKiB;
    std::uint32_t iterations;
    std::uint32_t parallelism;
};

constexpr Setting recommended{262144, 16, 4};
constexpr Setting singleLane{65536, 3, 1};

const Bytes& password() {
    static const Bytes value(32, 0x5A);
    return value;
}

// 16 bytes: the only salt length libsodium's crypto_pwhash takes.
const Bytes& salt() {
    static const Bytes value = {0x4F, 0x6D, 0x62, 0x72, 0x69, 0x78, 0x2D, 0x62,
                                0x65, 0x6E, 0x63, 0x68, 0x2D, 0x73, 0x61, 0x6C};
    return value;
}

Bytes ours(const Setting& s) {
    return Argon2::hash(password(), salt(), {}, {}, s.memoryKiB, s.iterations, s.parallelism, tagLength,
                        Argon2::Variant::id, 0x13);
}

void report(benchmark::State& state, const Setting& s) {
    state.counters["KiB"] = s.memoryKiB;
    state.counters["t"] = s.iterations;
    state.counters["p"] = s.parallelism;
}

void ombrix(benchmark::State& state, Setting s) {
    for (auto _ : state) {
        Bytes tag = ours(s);
        benchmark::DoNotOptimize(tag.data());
    }
    report(state, s);
}

#if defined(OMBRIX_HAVE_LIBARGON2)
Bytes libargon2(const Setting& s) {
    Bytes tag(tagLength);
    const int rc = argon2id_hash_raw(s.iterations, s.memoryKiB, s.parallelism, password().data(),
                                     password().size(), salt().data(), salt().size(), tag.data(), tag.size());
    if (rc != ARGON2_OK) tag.clear();
    return tag;
}

void libargon2Bench(benchmark::State& state, Setting s) {
    if (libargon2(s) != ours(s)) {
        state.SkipWithError("libargon2 gives another tag");
        return;
    }
    for (auto _ : state) {
        Bytes tag = libargon2(s);
        benchmark::DoNotOptimize(tag.data());
    }
    report(state, s);
}
#endif

#if defined(OMBRIX_HAVE_LIBSODIUM)
// crypto_pwhash always runs one lane; its opslimit is the pass count and its memlimit is bytes.
Bytes libsodium(const Setting& s) {
    Bytes tag(tagLength);
    const int rc = crypto_pwhash(tag.data(), tag.size(), reinterpret_cast<const char*>(password().data()),
                                 password().size(), salt().data(), s.iterations,
                                 static_cast<std::size_t>(s.memoryKiB) * 1024, crypto_pwhash_ALG_ARGON2ID13);
    if (rc != 0) tag.clear();
    return tag;
}

void libsodiumBench(benchmark::State& state, Setting s) {
    if (sodium_init() < 0 || s.parallelism != 1 || libsodium(s) != ours(s)) {
        state.SkipWithError("libsodium unusable or gives another tag");
        return;
    }
    for (auto _ : state) {
        Bytes tag = libsodium(s);
        benchmark::DoNotOptimize(tag.data());
    }
    report(state, s);
}
#endif

// One block of G per kernel, to see what the vector forms gain.
void compress(benchmark::State& state, Argon2Kernel kernel) {
    if (!argon2KernelAvailable(kernel)) {
        state.SkipWithError("not supported by this processor");
        return;
    }
    const Argon2FillBlock fill = argon2KernelFunctions(kernel).fillBlock;
    static Argon2Block a, b, c;
    for (int k = 0; k < 128; ++k) {
        a.words[k] = 0x9E3779B97F4A7C15ULL * static_cast<std::uint64_t>(k + 1);
        b.words[k] = 0xC2B2AE3D27D4EB4FULL * static_cast<std::uint64_t>(k + 7);
    }
    for (auto _ : state) {
        fill(a, b, c, true);
        benchmark::DoNotOptimize(c.words);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
}

}  // namespace

BENCHMARK_CAPTURE(ombrix, Argon2id_256MiB_t16_p4, recommended)->Unit(benchmark::kMillisecond)->UseRealTime();
#if defined(OMBRIX_HAVE_LIBARGON2)
BENCHMARK_CAPTURE(libargon2Bench, Argon2id_256MiB_t16_p4, recommended)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
#endif

BENCHMARK_CAPTURE(ombrix, Argon2id_64MiB_t3_p1, singleLane)->Unit(benchmark::kMillisecond)->UseRealTime();
#if defined(OMBRIX_HAVE_LIBARGON2)
BENCHMARK_CAPTURE(libargon2Bench, Argon2id_64MiB_t3_p1, singleLane)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
#endif
#if defined(OMBRIX_HAVE_LIBSODIUM)
BENCHMARK_CAPTURE(libsodiumBench, Argon2id_64MiB_t3_p1, singleLane)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
#endif

BENCHMARK_CAPTURE(compress, Argon2Block_portable, Argon2Kernel::portable);
BENCHMARK_CAPTURE(compress, Argon2Block_sse2, Argon2Kernel::sse2);
BENCHMARK_CAPTURE(compress, Argon2Block_avx2, Argon2Kernel::avx2);

BENCHMARK_MAIN();
