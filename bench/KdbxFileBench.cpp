// Loading and saving a whole file of 10,000 entries with 10 history items and a few custom fields
// each, under a minimal key derivation, beside the work no loader or saver can avoid: expat's own
// pass over the same XML with gzip inflating it (load), and gzip deflating it (save). The goal is
// each within twice that limit. BM_LoadPeakMemory loads once in a fresh process and reports the
// peak resident memory the load added, against the size of the XML (goal: within 4 times).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "BenchDatabase.h"
#include "ExpatPass.h"
#include "OmbrixCore/Crypto/Gzip.h"
#include "OmbrixCore/Kdbx/BlockStreams.h"
#include "OmbrixCore/Kdbx/KdbxCompositeKey.h"
#include "OmbrixCore/Kdbx/KdbxFile.h"
#include "OmbrixCore/Kdbx/KdbxHeader.h"
#include "OmbrixCore/Kdbx/KdbxInnerHeader.h"
#include "OmbrixCore/Kdbx/KdbxKeyDerivation.h"
#include "OmbrixCore/Kdbx/KdbxReader.h"
#include "OmbrixCore/Kdbx/PayloadCipher.h"

namespace {

const KdbxKey key("bench parolası", std::nullopt);

const KdbxDatabase& database() {
    static const KdbxDatabase db = [] {
        KdbxDatabase d = benchDatabase({.moreCustomFields = true});
        d.meta = KdbxMeta("Kasa", "", "", true, std::nullopt, 10, 6291456, "Ombrix");
        d.cipher = KdbxCipher::aes256;
        d.kdf = KdfSettings::aesKdf(10);
        d.compressed = true;
        return d;
    }();
    return db;
}

const Bytes& file() {
    static const Bytes bytes = KdbxFile::save(database(), key);
    return bytes;
}

// The saved file's decrypted payload, gzipped and inflated, and its XML alone.
struct Payload {
    Bytes gzipped;
    Bytes plain;
    Bytes xml;
};

const Payload& payload() {
    static const Payload p = [] {
        Payload out;
        const KdbxHeader header = KdbxHeader::parse(file());
        const KdbxKeys::DerivedKeys keys = KdbxKeys::derive(KdbxKeys::compositeKey(key), header);
        KdbxReader reader(file());
        reader.read(static_cast<std::int64_t>(header.endOffset) + 64);
        out.gzipped = KdbxCrypto::decryptPayload(KdbxCrypto::readHMACBlocks(reader, *keys.hmac),
                                                 header.cipher(), keys.master, header.encryptionIV);
        out.plain = Gzip::decompress(out.gzipped);
        KdbxReader inner(out.plain);
        KdbxInnerHeader::parse(inner);
        const ByteView rest = inner.rest();
        out.xml.assign(rest.begin(), rest.end());
        return out;
    }();
    return p;
}

void setSizes(benchmark::State& state) {
    state.counters["xml_MB"] = static_cast<double>(payload().xml.size()) / 1e6;
    state.counters["file_MB"] = static_cast<double>(file().size()) / 1e6;
}

void BM_LoadLimit_InflateAndExpat(benchmark::State& state) {
    const Payload& p = payload();
    for (auto _ : state) {
        const Bytes plain = Gzip::decompress(p.gzipped);
        benchmark::DoNotOptimize(plain.data());
        expatPass(p.xml);
    }
    setSizes(state);
}

void BM_Load(benchmark::State& state) {
    const Bytes& bytes = file();
    for (auto _ : state) {
        const KdbxDatabase db = KdbxFile::load(bytes, key);
        benchmark::DoNotOptimize(db.root.entries.size());
    }
    setSizes(state);
}

void BM_SaveLimit_Deflate(benchmark::State& state) {
    const Payload& p = payload();
    for (auto _ : state) {
        const Bytes gzipped = Gzip::compress(p.plain);
        benchmark::DoNotOptimize(gzipped.data());
    }
    setSizes(state);
}

void BM_Save(benchmark::State& state) {
    const KdbxDatabase& db = database();
    for (auto _ : state) {
        const Bytes bytes = KdbxFile::save(db, key);
        benchmark::DoNotOptimize(bytes.data());
    }
    setSizes(state);
}

// A line "Name:   123 kB" of /proc/self/status, in KiB.
long statusKiB(const std::string& name) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(name + ":", 0) == 0) return std::stol(line.substr(name.size() + 1));
    }
    return -1;
}

// In a fresh process (this program, started again with --load-peak=FILE): the file is read, then
// loaded once; the peak resident size (VmHWM) minus the size just before the load is the memory
// the load itself needed. A fresh process, because a forked one would reuse memory its parent
// freed without it ever showing as resident growth.
int loadPeakMain(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    const Bytes bytes{std::istreambuf_iterator<char>(in), {}};
    const long before = statusKiB("VmRSS");
    {
        const KdbxDatabase db = KdbxFile::load(bytes, key);
        benchmark::DoNotOptimize(db.root.entries.size());
    }
    std::printf("%ld\n", statusKiB("VmHWM") - before);
    return 0;
}

void BM_LoadPeakMemory(benchmark::State& state) {
    const std::string path = "/tmp/ombrix-bench-" + std::to_string(getpid()) + ".kdbx";
    {
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(file().data()), static_cast<std::streamsize>(file().size()));
    }
    double addedMB = 0;
    for (auto _ : state) {
        const std::string command = "/proc/" + std::to_string(getpid()) + "/exe --load-peak=" + path;
        FILE* child = popen(command.c_str(), "r");
        long added = -1;
        if (child == nullptr || std::fscanf(child, "%ld", &added) != 1) state.SkipWithError("child failed");
        if (child != nullptr) pclose(child);
        addedMB = static_cast<double>(added) * 1024.0 / 1e6;
    }
    std::remove(path.c_str());
    setSizes(state);
    state.counters["peak_added_MB"] = addedMB;
    state.counters["peak_per_xml"] = addedMB / (static_cast<double>(payload().xml.size()) / 1e6);
}

}  // namespace

BENCHMARK(BM_LoadLimit_InflateAndExpat)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Load)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveLimit_Deflate)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Save)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadPeakMemory)->Unit(benchmark::kMillisecond)->Iterations(1);

int main(int argc, char** argv) {
    const std::string flag = "--load-peak=";
    if (argc == 2 && std::string(argv[1]).rfind(flag, 0) == 0) return loadPeakMain(argv[1] + flag.size());
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
