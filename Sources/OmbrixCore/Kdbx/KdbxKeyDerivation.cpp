#include "OmbrixCore/Kdbx/KdbxKeyDerivation.h"

#include <sched.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>
#include <limits>
#include <sstream>
#include <string_view>
#include <thread>

#include "OmbrixCore/Crypto/Argon2.h"
#include "OmbrixCore/Crypto/SecureWipe.h"
#include "OmbrixCore/Kdbx/AesKdfRounds.h"
#include "OmbrixCore/Kdbx/KdbxCrypto.h"
#include "OmbrixCore/Kdbx/KdbxError.h"

namespace {

// What a KDBX 4 reader assumes for an entry that is missing or of a type that does not convert.
constexpr std::uint64_t defaultAesRounds = 6000;
constexpr std::uint32_t defaultParallelism = 2;
constexpr std::uint64_t defaultMemoryBytes = std::uint64_t{64} << 20;
constexpr std::uint64_t defaultIterations = 2;
constexpr std::uint32_t defaultArgon2Version = 0x13;

constexpr std::uint64_t minimumMemoryBytes = 1024;
// Argon2 takes its memory as a 32-bit count of KiB; from 2^42 bytes on that count would wrap.
constexpr std::uint64_t memoryBytesLimit = std::uint64_t{1} << 42;
constexpr std::uint64_t iterationsLimit = 0xFFFFFFFF;

constexpr std::ptrdiff_t transformedLength = 32;

Bytes bytesEntry(const VariantDictionary& parameters, std::string_view key) {
    const std::optional<VariantValue> value = parameters.get(key);
    if (!value) return {};
    return value->asData().value_or(Bytes{});
}

std::uint64_t uint64Entry(const VariantDictionary& parameters, std::string_view key, std::uint64_t fallback) {
    const std::optional<VariantValue> value = parameters.get(key);
    if (!value) return fallback;
    return value->asUInt64().value_or(fallback);
}

std::uint32_t uint32Entry(const VariantDictionary& parameters, std::string_view key, std::uint32_t fallback) {
    const std::optional<VariantValue> value = parameters.get(key);
    if (!value) return fallback;
    return value->asUInt32().value_or(fallback);
}

struct Argon2Parameters {
    std::uint32_t parallelism;
    std::uint64_t memoryBytes;
    std::uint64_t iterations;

    explicit Argon2Parameters(const VariantDictionary& parameters)
        : parallelism(uint32Entry(parameters, "P", defaultParallelism)),
          memoryBytes(uint64Entry(parameters, "M", defaultMemoryBytes)),
          iterations(uint64Entry(parameters, "I", defaultIterations)) {}

    bool valid() const { return memoryBytes >= minimumMemoryBytes && iterations != 0 && parallelism != 0; }
    bool inRange() const { return memoryBytes < memoryBytesLimit && iterations <= iterationsLimit; }
};

Bytes argon2Transform(ByteView compositeKey, const VariantDictionary& parameters, Argon2::Variant variant) {
    const Argon2Parameters p(parameters);
    if (!p.valid()) throw KdbxError::unsupportedKdf("geçersiz Argon2 parametreleri");
    // Both bounds come before the narrowing below, so no count can wrap into a small one.
    if (!p.inRange()) throw KdbxError::unsupportedKdf("Argon2 parametreleri aralık dışı");
    const auto memoryKiB = static_cast<std::uint32_t>(p.memoryBytes / 1024);
    return Argon2::hash(compositeKey, bytesEntry(parameters, "S"), bytesEntry(parameters, "K"),
                        bytesEntry(parameters, "A"), memoryKiB, static_cast<std::uint32_t>(p.iterations),
                        p.parallelism, transformedLength, variant,
                        uint32Entry(parameters, "V", defaultArgon2Version), KdbxKeys::currentStop());
}

// "N KiB", "N MiB", "N,N GiB", ...: the units a user sets memory in.
std::string memoryText(std::uint64_t bytes) {
    char text[48];
    const double mib = static_cast<double>(bytes) / (1024.0 * 1024.0);
    if (mib < 1) {
        std::snprintf(text, sizeof text, "%llu KiB", static_cast<unsigned long long>(bytes / 1024));
    } else if (mib < 1024) {
        std::snprintf(text, sizeof text, "%.0f MiB", std::floor(mib));
    } else if (mib < 1024.0 * 1024.0) {
        std::snprintf(text, sizeof text, "%.1f GiB", mib / 1024.0);
    } else {
        std::snprintf(text, sizeof text, "%.1f TiB", mib / (1024.0 * 1024.0));
    }
    std::string out(text);
    std::replace(out.begin(), out.end(), '.', ',');
    return out;
}

std::string durationText(double seconds) {
    const auto whole = [](double value) { return std::to_string(static_cast<std::uint64_t>(value)); };
    if (seconds < 120) return whole(std::ceil(seconds)) + " saniye";
    if (seconds < 2 * 3600) return whole(seconds / 60) + " dakika";
    if (seconds < 2 * 86400) return whole(seconds / 3600) + " saat";
    if (seconds < 730 * 86400.0) return whole(seconds / 86400) + " gün";
    const double years = seconds / (365.25 * 86400);
    if (years < 1000) return whole(years) + " yıl";
    return "binlerce yıl";
}

std::string limitText(const KdbxKeys::KdfBudget& budget) {
    return "en çok " + durationText(budget.maxSeconds) + " kabul edilir";
}

void ensureAesAffordable(std::uint64_t rounds, const KdbxKeys::KdfBudget& budget) {
    const double seconds = static_cast<double>(rounds) / budget.aesRoundsPerSecond;
    if (seconds <= budget.maxSeconds) return;
    throw KdbxError::kdfTooExpensive("AES-KDF'nin " + std::to_string(rounds) +
                                     " turu bu bilgisayarda yaklaşık " + durationText(seconds) +
                                     " sürerdi (" + limitText(budget) + ")");
}

void ensureArgon2Affordable(const Argon2Parameters& p, const KdbxKeys::KdfBudget& budget) {
    if (budget.availableMemoryBytes && p.memoryBytes > *budget.availableMemoryBytes) {
        throw KdbxError::kdfTooExpensive("Argon2 " + memoryText(p.memoryBytes) +
                                         " bellek istiyor; bu bilgisayarda şu an en çok " +
                                         memoryText(*budget.availableMemoryBytes) + " kullanılabilir");
    }
    const double lanes = std::min<double>(p.parallelism, std::max(1u, budget.cores));
    const double kibPasses = static_cast<double>(p.memoryBytes / 1024) * static_cast<double>(p.iterations);
    const double seconds = kibPasses / (budget.argon2KiBPerSecond * lanes);
    if (seconds <= budget.maxSeconds) return;
    throw KdbxError::kdfTooExpensive("Argon2'nin " + memoryText(p.memoryBytes) + " bellek üzerinde " +
                                     std::to_string(p.iterations) + " geçişi bu bilgisayarda yaklaşık " +
                                     durationText(seconds) + " sürerdi (" + limitText(budget) + ")");
}

// The CPU time this thread has used: what a sample costs when it runs, whatever else the
// machine does meanwhile.
double threadSeconds() {
    timespec now{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// Each sample runs half a millisecond or so of work, and never more than a few.
constexpr double sampleSeconds = 0.0005;

// Work units per second of `run(units)`: the size is doubled until one run takes a sample's
// time, then the fastest of three runs of that size counts. A first run pays for cold caches and
// a shared core, and the bound must not refuse what the machine can do.
template <class Run>
double fastestRate(std::uint64_t units, std::uint64_t maxUnits, const Run& run) {
    const auto timed = [&](std::uint64_t n) {
        const double start = threadSeconds();
        run(n);
        return std::max(threadSeconds() - start, 1e-9);
    };
    double elapsed = timed(units);
    while (elapsed < sampleSeconds && units < maxUnits) {
        units *= 2;
        elapsed = timed(units);
    }
    for (int again = 0; again < 2; ++again) elapsed = std::min(elapsed, timed(units));
    return static_cast<double>(units) / elapsed;
}

double measureAesRoundsPerSecond() {
    std::array<std::uint8_t, 32> block{};
    const std::array<std::uint8_t, 32> key{};
    return fastestRate(std::uint64_t{1} << 12, std::uint64_t{1} << 22, [&](std::uint64_t rounds) {
        aesKdfRounds(aesKdfPreferredKernel(), block, key, rounds);
    });
}

// On at most 4 MiB: no large allocation before the file's own derivation.
double measureArgon2KiBPerSecond() {
    const Bytes password(32, 0);
    const Bytes salt(16, 0);
    return fastestRate(256, 4 * 1024, [&](std::uint64_t kib) {
        Argon2::hash(password, salt, {}, {}, static_cast<std::uint32_t>(kib), 1, 1, transformedLength,
                     Argon2::Variant::id, 0x13);
    });
}

double aesSpeed() {
    static const double speed = measureAesRoundsPerSecond();
    return speed;
}

double argon2Speed() {
    static const double speed = measureArgon2KiBPerSecond();
    return speed;
}

thread_local const StopFlag* threadStop = nullptr;

unsigned usableCores() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (::sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0)
        return static_cast<unsigned>(CPU_COUNT(&set));
    return std::max(1u, std::thread::hardware_concurrency());
}

std::optional<std::uint64_t> readNumber(const std::string& path) {
    std::ifstream in(path);
    std::string word;
    if (!(in >> word)) return std::nullopt;
    try {
        std::size_t used = 0;
        const unsigned long long value = std::stoull(word, &used);
        if (used != word.size()) return std::nullopt;  // "max": no limit
        return value;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

// A "key value" line of a file such as memory.stat or /proc/meminfo.
std::optional<std::uint64_t> readField(const std::string& path, std::string_view key) {
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string name;
        std::uint64_t value = 0;
        if (fields >> name >> value) {
            if (!name.empty() && name.back() == ':') name.pop_back();
            if (name == key) return value;
        }
    }
    return std::nullopt;
}

// What a control group's limit leaves, for the group and each group above it; page cache the
// kernel can drop counts as free.
void considerControlGroups(const std::function<void(std::uint64_t)>& consider) {
    std::ifstream in("/proc/self/cgroup");
    std::string line;
    while (std::getline(in, line)) {
        const std::size_t first = line.find(':');
        const std::size_t second = line.find(':', first + 1);
        if (first == std::string::npos || second == std::string::npos) continue;
        const std::string controllers = line.substr(first + 1, second - first - 1);
        std::string path = line.substr(second + 1);
        const bool unified = line.compare(0, first, "0") == 0 && controllers.empty();
        const bool memoryV1 = ("," + controllers + ",").find(",memory,") != std::string::npos;
        if (!unified && !memoryV1) continue;
        const std::string mount = unified ? "/sys/fs/cgroup" : "/sys/fs/cgroup/memory";
        const std::string limitFile = unified ? "/memory.max" : "/memory.limit_in_bytes";
        const std::string usageFile = unified ? "/memory.current" : "/memory.usage_in_bytes";
        const std::string_view cacheField = unified ? "inactive_file" : "total_inactive_file";
        // Inside a container the group's own folder is often the mount's root.
        for (bool atRoot = false; !atRoot;) {
            const std::string folder = mount + (path == "/" ? "" : path);
            const std::optional<std::uint64_t> limit = readNumber(folder + limitFile);
            const std::optional<std::uint64_t> usage = readNumber(folder + usageFile);
            // Version 1 writes "no limit" as a number near 2^63.
            if (limit && usage && *limit < (std::uint64_t{1} << 60)) {
                const std::uint64_t cache = readField(folder + "/memory.stat", cacheField).value_or(0);
                const std::uint64_t used = *usage > cache ? *usage - cache : 0;
                consider(*limit > used ? *limit - used : 0);
            }
            atRoot = path.empty() || path == "/";
            const std::size_t slash = path.find_last_of('/');
            path = slash == std::string::npos || slash == 0 ? "/" : path.substr(0, slash);
        }
    }
}

}  // namespace

namespace KdbxKeys {

std::optional<std::uint64_t> availableMemoryBytes() {
    std::optional<std::uint64_t> least;
    const auto consider = [&least](std::uint64_t bytes) { least = least ? std::min(*least, bytes) : bytes; };

    if (const auto kib = readField("/proc/meminfo", "MemAvailable")) consider(*kib * 1024);

    const auto pageSize = static_cast<std::uint64_t>(std::max(1L, ::sysconf(_SC_PAGE_SIZE)));
    std::ifstream statm("/proc/self/statm");
    std::uint64_t sizePages = 0, resident = 0, shared = 0, text = 0, library = 0, dataPages = 0;
    const bool haveUsage =
        static_cast<bool>(statm >> sizePages >> resident >> shared >> text >> library >> dataPages);
    for (const auto& [resource, usedPages] :
         {std::pair{RLIMIT_AS, sizePages}, std::pair{RLIMIT_DATA, dataPages}}) {
        rlimit limit{};
        if (::getrlimit(resource, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) continue;
        const std::uint64_t used = haveUsage ? usedPages * pageSize : 0;
        consider(limit.rlim_cur > used ? limit.rlim_cur - used : 0);
    }

    considerControlGroups(consider);
    return least;
}

StopScope::StopScope(const StopFlag& flag) : previous_(threadStop) {
    threadStop = &flag;
}

StopScope::~StopScope() {
    threadStop = previous_;
}

const StopFlag* currentStop() noexcept {
    return threadStop;
}

KdfBudget KdfBudget::current() {
    KdfBudget budget;
    budget.aesRoundsPerSecond = aesSpeed();
    budget.argon2KiBPerSecond = argon2Speed();
    budget.cores = usableCores();
    budget.availableMemoryBytes = KdbxKeys::availableMemoryBytes();
    return budget;
}

KdfBudget KdfBudget::forHeader(const KdbxHeader& header) {
    KdfBudget budget;
    budget.cores = usableCores();
    // A speed that is not measured is never consulted: only the header's own KDF is checked.
    budget.aesRoundsPerSecond = std::numeric_limits<double>::infinity();
    budget.argon2KiBPerSecond = std::numeric_limits<double>::infinity();
    std::optional<UUID> kdf;
    if (header.major >= 4 && header.kdfParameters)
        kdf = UUID::fromKdbxBytes(bytesEntry(*header.kdfParameters, "$UUID"));
    if (header.major < 4 || (kdf && *kdf == KdbxUUIDs::kdfAes)) {
        budget.aesRoundsPerSecond = aesSpeed();
    } else if (kdf && (*kdf == KdbxUUIDs::kdfArgon2d || *kdf == KdbxUUIDs::kdfArgon2id)) {
        budget.argon2KiBPerSecond = argon2Speed();
        budget.availableMemoryBytes = KdbxKeys::availableMemoryBytes();
    }
    return budget;
}

void ensureAffordable(const KdbxHeader& header, const KdfBudget& budget) {
    if (header.major < 4) {
        if (header.transformSeed && header.transformRounds)
            ensureAesAffordable(*header.transformRounds, budget);
        return;
    }
    if (!header.kdfParameters) return;
    const VariantDictionary& parameters = *header.kdfParameters;
    const std::optional<UUID> kdf = UUID::fromKdbxBytes(bytesEntry(parameters, "$UUID"));
    if (!kdf) return;
    if (*kdf == KdbxUUIDs::kdfAes) {
        ensureAesAffordable(uint64Entry(parameters, "R", defaultAesRounds), budget);
    } else if (*kdf == KdbxUUIDs::kdfArgon2d || *kdf == KdbxUUIDs::kdfArgon2id) {
        const Argon2Parameters p(parameters);
        if (p.valid() && p.inRange()) ensureArgon2Affordable(p, budget);
    }
}

DerivedKeys derive(ByteView compositeKey, const KdbxHeader& header) {
    DerivedKeys keys;
    keys.transformed = transform(compositeKey, header);
    keys.master = KdbxCrypto::sha256({header.masterSeed, keys.transformed});
    if (header.major > 3) {
        const std::uint8_t one = 0x01;
        keys.hmac = KdbxCrypto::sha512({header.masterSeed, keys.transformed, ByteView(&one, 1)});
    }
    return keys;
}

Bytes transform(ByteView compositeKey, const KdbxHeader& header) {
    const StopFlag* stop = currentStop();
    if (stopRequested(stop)) throw Stopped();
    ensureAffordable(header, KdfBudget::forHeader(header));
    if (header.major < 4) {
        // Version 3 keeps the AES-KDF parameters in header fields of their own.
        if (!header.transformSeed || !header.transformRounds) {
            throw KdbxError::corruptedData("KDBX 3 dönüştürme parametreleri eksik");
        }
        return aesKdf(compositeKey, *header.transformSeed, *header.transformRounds, stop);
    }

    std::optional<UUID> kdf;
    if (header.kdfParameters) kdf = UUID::fromKdbxBytes(bytesEntry(*header.kdfParameters, "$UUID"));
    if (!kdf) throw KdbxError::unsupportedKdf("KdfParameters içinde $UUID yok");
    const VariantDictionary& parameters = *header.kdfParameters;

    if (*kdf == KdbxUUIDs::kdfAes) {
        return aesKdf(compositeKey, bytesEntry(parameters, "S"),
                      uint64Entry(parameters, "R", defaultAesRounds), stop);
    }
    if (*kdf == KdbxUUIDs::kdfArgon2d) return argon2Transform(compositeKey, parameters, Argon2::Variant::d);
    if (*kdf == KdbxUUIDs::kdfArgon2id) return argon2Transform(compositeKey, parameters, Argon2::Variant::id);
    throw KdbxError::unsupportedKdf(kdf->uuidString());
}

Bytes aesKdf(ByteView input, ByteView seed, std::uint64_t rounds, const StopFlag* stop) {
    if (input.size() != 32) throw KdbxError::cryptoFailure("AES-KDF girdisi 32 bayt olmalı");
    if (seed.size() != 32) throw KdbxError::cryptoFailure("AES-KDF tohumu 32 bayt olmalı");

    // The halves are wiped on every way out: until hashed they are key material.
    struct Halves {
        std::array<std::uint8_t, 32> bytes;
        ~Halves() { secureWipe(bytes.data(), bytes.size()); }
    } halves;
    std::copy(input.begin(), input.end(), halves.bytes.begin());
    aesKdfRounds(aesKdfPreferredKernel(), halves.bytes, seed.first<32>(), rounds, stop);
    return KdbxCrypto::sha256(halves.bytes);
}

}  // namespace KdbxKeys
