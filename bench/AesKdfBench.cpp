// AES-KDF rounds per second for each kernel, beside OpenSSL's AES-256-ECB blocks per second on a
// large buffer measured in the same run. A round enciphers two dependent chains of one block
// each, so it can never reach the throughput of many independent blocks; the ratio of the two
// figures shows how close the kernel comes to what the processor allows.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <cstdio>
#include <map>
#include <memory>
#include <string>

#include <unistd.h>

#include "OmbrixCore/Foundation/Bytes.h"
#include "OmbrixCore/Kdbx/AesKdfRounds.h"

namespace {

constexpr std::uint64_t roundsPerCall = 1 << 20;
constexpr std::size_t largeBuffer = 16 << 20;

void runKernel(benchmark::State& state, AesKdfKernel kernel) {
    if (!aesKdfKernelAvailable(kernel)) {
        state.SkipWithError("kernel not available on this processor");
        return;
    }
    Bytes block(32, 0x3C);
    const Bytes key(32, 0xA5);
    for (auto _ : state) {
        aesKdfRounds(kernel, std::span<std::uint8_t, 32>(block.data(), 32),
                     std::span<const std::uint8_t, 32>(key.data(), 32), roundsPerCall);
        benchmark::DoNotOptimize(block.data());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * roundsPerCall));
    state.SetLabel("items = rounds");
}

void AesKdfRoundsAESNI(benchmark::State& state) {
    runKernel(state, AesKdfKernel::aesni);
}
BENCHMARK(AesKdfRoundsAESNI)->Unit(benchmark::kMillisecond);

void AesKdfRoundsEVP(benchmark::State& state) {
    runKernel(state, AesKdfKernel::evp);
}
BENCHMARK(AesKdfRoundsEVP)->Unit(benchmark::kMillisecond);

struct ContextDeleter {
    void operator()(EVP_CIPHER_CTX* context) const { EVP_CIPHER_CTX_free(context); }
};

// The throughput ceiling of the same cipher: many independent blocks per call.
void OpenSSLEcbLargeBuffer(benchmark::State& state) {
    Bytes input(largeBuffer);
    for (std::size_t i = 0; i < input.size(); ++i) input[i] = static_cast<std::uint8_t>(i * 131 + 7);
    Bytes output(largeBuffer);
    const Bytes key(32, 0xA5);
    std::unique_ptr<EVP_CIPHER_CTX, ContextDeleter> context(EVP_CIPHER_CTX_new());
    if (!context || EVP_EncryptInit_ex(context.get(), EVP_aes_256_ecb(), nullptr, key.data(), nullptr) != 1 ||
        EVP_CIPHER_CTX_set_padding(context.get(), 0) != 1) {
        state.SkipWithError("OpenSSL cipher set-up failed");
        return;
    }
    for (auto _ : state) {
        int produced = 0;
        if (EVP_EncryptUpdate(context.get(), output.data(), &produced, input.data(),
                              static_cast<int>(largeBuffer)) != 1) {
            state.SkipWithError("OpenSSL encryption failed");
            break;
        }
        benchmark::DoNotOptimize(output.data());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * (largeBuffer / 16)));
    state.SetLabel("items = blocks");
}
BENCHMARK(OpenSSLEcbLargeBuffer)->Unit(benchmark::kMillisecond);

// Passes everything to the console and keeps each benchmark's items per second (the median
// when repetitions are asked for).
class RateKeeper : public benchmark::ConsoleReporter {
  public:
    // Colours only on a terminal, so that saved output stays plain text.
    RateKeeper() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_ColorTabular : OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& reports) override {
        for (const Run& run : reports) {
            if (run.error_occurred) continue;
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name != "median") continue;
            const auto rate = run.counters.find("items_per_second");
            if (rate != run.counters.end()) rates[run.run_name.function_name] = rate->second.value;
        }
        ConsoleReporter::ReportRuns(reports);
    }

    std::map<std::string, double> rates;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RateKeeper reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    const auto blocks = reporter.rates.find("OpenSSLEcbLargeBuffer");
    if (blocks == reporter.rates.end() || blocks->second <= 0) return 0;
    std::printf("\nAES-KDF rounds/s ÷ AES-256-ECB large-buffer blocks/s (%.3g blocks/s):\n", blocks->second);
    for (const char* kernel : {"AesKdfRoundsAESNI", "AesKdfRoundsEVP"}) {
        const auto rounds = reporter.rates.find(kernel);
        if (rounds == reporter.rates.end()) continue;
        std::printf("  %-18s %.3g rounds/s, ratio %.3f\n", kernel, rounds->second,
                    rounds->second / blocks->second);
    }
    return 0;
}
