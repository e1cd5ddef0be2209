// What the first unlock of a small database costs a fresh process beyond a later unlock of the
// same file: the one-time speed sample behind the key-derivation bound, and whatever else is paid
// once (code paged in, the heap's first growth). Every figure comes from a process of its own,
// started afresh from this program's file: one kind of process unlocks once and times that
// unlock, another unlocks once untimed and times a second one, a third takes the speed sample
// untimed before its timed first unlock, and a fourth times the sample alone. The kinds take
// turns, so that a machine growing busier or quieter meanwhile weighs on all alike, and their
// medians are compared. The goal: at most 10 ms and 16 MiB more for the first unlock.
#include <benchmark/benchmark.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "OmbrixCore/Kdbx/KdbxFile.h"
#include "OmbrixCore/Kdbx/KdbxHeader.h"
#include "OmbrixCore/Kdbx/KdbxKeyDerivation.h"
#include "PeakMemory.h"

namespace {

struct Fixture {
    const char* file;
    const char* password;
};

// Small files with the two kinds of key derivation (credentials from the fixtures' manifest).
const Fixture fixtures[] = {
    {"v40-aeskdf-chacha20-gzip-password.kdbx", "aes-kdf ile dört"},
    {"v40-argon2id-aes256-gzip-password.kdbx", "Ana Parola: çok-gizli-ĞÜŞİÖÇ-2024! 🔐"},
};

constexpr int processesPerKind = 15;

std::string fixturePath(const Fixture& fixture) {
    return std::string(OMBRIX_SOURCE_DIR) + "/Tests/fixtures/kdbx/" + fixture.file;
}

Bytes readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The measured child: prints "<nanoseconds> <bytes of resident growth>" and ends.
int runChild(const std::string& kind, int fixtureIndex) {
    if (fixtureIndex < 0 || fixtureIndex >= static_cast<int>(std::size(fixtures))) return 2;
    const Fixture& fixture = fixtures[fixtureIndex];
    const Bytes file = readFile(fixturePath(fixture));
    if (file.empty()) return 2;
    const KdbxKey key(std::string(fixture.password), std::nullopt);
    try {
        if (kind == "later") (void)KdbxFile::load(file, key);
        // Everything a first unlock pays once but the bound's speed sample.
        if (kind == "presampled") (void)KdbxKeys::KdfBudget::current();
        const std::size_t baseline = peakmemory::start();
        const auto started = std::chrono::steady_clock::now();
        if (kind == "sample") {
            (void)KdbxKeys::KdfBudget::current();
        } else if (kind == "headerSample") {
            // The one speed the file's own key derivation needs, as an unlock measures it.
            (void)KdbxKeys::KdfBudget::forHeader(KdbxHeader::parse(file));
        } else {
            (void)KdbxFile::load(file, key);
        }
        const auto ended = std::chrono::steady_clock::now();
        const std::size_t peak = peakmemory::peak();
        std::printf("%lld %zu\n",
                    static_cast<long long>(
                        std::chrono::duration_cast<std::chrono::nanoseconds>(ended - started).count()),
                    peak > baseline ? peak - baseline : 0);
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 3;
    }
}

struct Figures {
    double ns = 0;
    double bytes = 0;
};

// Runs this program afresh as a child of the given kind.
std::optional<Figures> inFreshProcess(const char* kind, int fixtureIndex) {
    char self[4096];
    const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0) return std::nullopt;
    self[length] = '\0';
    int fds[2];
    if (::pipe(fds) != 0) return std::nullopt;
    const std::string index = std::to_string(fixtureIndex);
    const pid_t pid = ::fork();
    if (pid < 0) return std::nullopt;
    if (pid == 0) {
        ::dup2(fds[1], STDOUT_FILENO);
        ::close(fds[0]);
        ::close(fds[1]);
        ::execl(self, self, "--first-unlock-child", kind, index.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(fds[1]);
    std::string out;
    char buffer[256];
    for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;)
        out.append(buffer, static_cast<std::size_t>(n));
    ::close(fds[0]);
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return std::nullopt;
    Figures figures;
    if (std::sscanf(out.c_str(), "%lf %lf", &figures.ns, &figures.bytes) != 2) return std::nullopt;
    return figures;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

void FirstUnlockBeyondALaterOne(benchmark::State& state) {
    const auto fixtureIndex = static_cast<int>(state.range(0));
    // The first unlock; a later one; a first one after the speed sample was taken untimed (what
    // is paid once besides the sample); the sample alone.
    const char* const kinds[] = {"first", "later", "presampled", "headerSample"};
    constexpr std::size_t kindCount = std::size(kinds);
    std::vector<double> ms[kindCount], mib[kindCount];
    for (auto _ : state) {
        for (int i = 0; i < processesPerKind; ++i) {
            // Each round starts with another kind, so that none is always first or last.
            for (std::size_t k = 0; k < kindCount; ++k) {
                const std::size_t kind = (k + static_cast<std::size_t>(i)) % kindCount;
                const std::optional<Figures> figures = inFreshProcess(kinds[kind], fixtureIndex);
                if (!figures) {
                    state.SkipWithError("a measuring process failed");
                    return;
                }
                ms[kind].push_back(figures->ns / 1e6);
                mib[kind].push_back(peakmemory::mib(figures->bytes));
            }
        }
    }
    state.SetLabel(fixtures[fixtureIndex].file);
    state.counters["first_ms"] = median(ms[0]);
    state.counters["later_ms"] = median(ms[1]);
    state.counters["extra_ms"] = median(ms[0]) - median(ms[1]);
    state.counters["extra_MiB"] = median(mib[0]) - median(mib[1]);
    state.counters["extraBesideSample_ms"] = median(ms[2]) - median(ms[1]);
    state.counters["sample_ms"] = median(ms[3]);
    state.counters["sample_MiB"] = median(mib[3]);
}
BENCHMARK(FirstUnlockBeyondALaterOne)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kMillisecond);

// Both speeds of the bound at once, as a fresh process measures them.
void SpeedSampleInAFreshProcess(benchmark::State& state) {
    std::vector<double> ms, mib;
    for (auto _ : state) {
        for (int i = 0; i < processesPerKind; ++i) {
            const std::optional<Figures> figures = inFreshProcess("sample", 0);
            if (!figures) {
                state.SkipWithError("a measuring process failed");
                return;
            }
            ms.push_back(figures->ns / 1e6);
            mib.push_back(peakmemory::mib(figures->bytes));
        }
    }
    state.counters["bothSamples_ms"] = median(ms);
    state.counters["bothSamples_MiB"] = median(mib);
}
BENCHMARK(SpeedSampleInAFreshProcess)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "--first-unlock-child") == 0)
        return runChild(argv[2], std::atoi(argv[3]));
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
