// Loading and saving a whole file of 10,000 entries with 10 history items each, carrying what real
// files carry (notes of several lines, protected custom fields, XML kept for other programs,
// attachments), under a minimal key derivation, beside the work no loader or saver can avoid on
// one core: zlib inflating the payload plus expat's own pass over its XML (load), and zlib
// deflating it at the same level (save). The goal is each at or under that limit. The peak
// memory of one load and one save, each in a fresh process, is reported against the size of the
// XML (goal: within 2 times while loading, 1.5 times while saving). At the end a summary puts
// every figure beside its limit.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "BenchDatabase.h"
#include "ExpatPass.h"
#include "PeakMemory.h"
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
        KdbxDatabase d = benchDatabase({.moreCustomFields = true, .realistic = true});
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

// The saved file's decrypted payload: as stored (one raw DEFLATE stream inside the gzip framing),
// expanded, and its XML alone.
struct Payload {
    Bytes deflated;
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
        const Bytes gzipped = KdbxCrypto::decryptPayload(KdbxCrypto::readHMACBlocks(reader, *keys.hmac),
                                                         header.cipher(), keys.master, header.encryptionIV);
        out.plain = Gzip::decompress(gzipped);
        // Behind the ten bytes of the fixed gzip header, before the eight of the trailer.
        out.deflated.assign(gzipped.begin() + 10, gzipped.end() - 8);
        KdbxReader inner(out.plain);
        KdbxInnerHeader::parse(inner);
        const ByteView rest = inner.rest();
        out.xml.assign(rest.begin(), rest.end());
        return out;
    }();
    return p;
}

double xmlMB() {
    return static_cast<double>(payload().xml.size()) / 1e6;
}

void setSizes(benchmark::State& state) {
    state.counters["xml_MB"] = xmlMB();
    state.counters["file_MB"] = static_cast<double>(file().size()) / 1e6;
}

void BM_LoadLimit_InflateAndExpat(benchmark::State& state) {
    const Payload& p = payload();
    for (auto _ : state) {
        const Bytes plain = zlibInflate(p.deflated, p.plain.size());
        benchmark::DoNotOptimize(plain.data());
        expatPass(p.xml);
    }
    setSizes(state);
}

void BM_Load(benchmark::State& state) {
    const Bytes& bytes = file();
    for (auto _ : state) {
        auto db = std::make_unique<KdbxDatabase>(KdbxFile::load(bytes, key));
        benchmark::DoNotOptimize(db->root.entries.size());
        // Freeing the model is the caller's business, later: it is not part of the load.
        state.PauseTiming();
        db.reset();
        state.ResumeTiming();
    }
    setSizes(state);
}

void BM_SaveLimit_Deflate(benchmark::State& state) {
    const Payload& p = payload();
    for (auto _ : state) {
        const Bytes deflated = zlibDeflate(p.plain);
        benchmark::DoNotOptimize(deflated.data());
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

// In a fresh process (this program, started again with --peak=load:FILE or --peak=save): the
// file is read (load) or the database built (save) first; the peak resident size minus the size
// just before the operation is the memory the operation itself needed. A fresh process, because
// a forked one would reuse memory its parent freed without it ever showing as resident growth.
int peakMain(const std::string& what) {
    Bytes bytes;
    if (what.rfind("load:", 0) == 0) {
        std::ifstream in(what.substr(5), std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), {});
    } else {
        benchmark::DoNotOptimize(database().root.entries.size());
    }
    const std::size_t before = peakmemory::start();
    if (!bytes.empty()) {
        const KdbxDatabase db = KdbxFile::load(bytes, key);
        benchmark::DoNotOptimize(db.root.entries.size());
    } else {
        const Bytes saved = KdbxFile::save(database(), key);
        benchmark::DoNotOptimize(saved.data());
    }
    std::printf("%ld\n", static_cast<long>((peakmemory::peak() - before) / 1024));
    return 0;
}

double peakAddedMB(benchmark::State& state, const std::string& what) {
    const std::string command = "/proc/" + std::to_string(getpid()) + "/exe --peak=" + what;
    FILE* child = popen(command.c_str(), "r");
    long added = -1;
    if (child == nullptr || std::fscanf(child, "%ld", &added) != 1) state.SkipWithError("child failed");
    if (child != nullptr && pclose(child) != 0) state.SkipWithError("child failed");
    return static_cast<double>(added) * 1024.0 / 1e6;
}

void reportPeak(benchmark::State& state, double addedMB) {
    setSizes(state);
    state.counters["peak_added_MB"] = addedMB;
    state.counters["peak_per_xml"] = addedMB / xmlMB();
}

void BM_LoadPeakMemory(benchmark::State& state) {
    const std::string path = "/tmp/ombrix-bench-" + std::to_string(getpid()) + ".kdbx";
    {
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(file().data()), static_cast<std::streamsize>(file().size()));
    }
    double addedMB = 0;
    for (auto _ : state) addedMB = peakAddedMB(state, "load:" + path);
    std::remove(path.c_str());
    reportPeak(state, addedMB);
}

void BM_SavePeakMemory(benchmark::State& state) {
    double addedMB = 0;
    for (auto _ : state) addedMB = peakAddedMB(state, "save");
    reportPeak(state, addedMB);
}

// The console output, then each figure beside its limit: the median over the repetitions.
class SummaryReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
            const std::string name = run.run_name.function_name;
            times_[name].push_back(run.GetAdjustedRealTime());
            const auto peak = run.counters.find("peak_per_xml");
            if (peak != run.counters.end()) peaks_[name].push_back(peak->second.value);
        }
    }

    void Finalize() override {
        ConsoleReporter::Finalize();
        std::printf("\n%-6s %12s %12s %8s   %s\n", "", "time (ms)", "limit (ms)", "ratio", "goal");
        row("load", "BM_Load", "BM_LoadLimit_InflateAndExpat");
        row("save", "BM_Save", "BM_SaveLimit_Deflate");
        peak("load", "BM_LoadPeakMemory", 2.0);
        peak("save", "BM_SavePeakMemory", 1.5);
    }

  private:
    static double median(std::vector<double> values) {
        std::sort(values.begin(), values.end());
        return values[values.size() / 2];
    }

    void row(const char* label, const std::string& measured, const std::string& limit) {
        if (!times_.contains(measured) || !times_.contains(limit)) return;
        const double t = median(times_[measured]);
        const double l = median(times_[limit]);
        std::printf("%-6s %12.0f %12.0f %7.2fx   <= 1.00x\n", label, t, l, t / l);
    }

    void peak(const char* label, const std::string& name, double goal) {
        if (!peaks_.contains(name)) return;
        std::printf("%-6s peak memory %.2fx the XML   <= %.1fx\n", label, median(peaks_[name]), goal);
    }

    std::map<std::string, std::vector<double>> times_;
    std::map<std::string, std::vector<double>> peaks_;
};

}  // namespace

BENCHMARK(BM_LoadLimit_InflateAndExpat)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Load)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveLimit_Deflate)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Save)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadPeakMemory)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_SavePeakMemory)->Unit(benchmark::kMillisecond)->Iterations(1);

int main(int argc, char** argv) {
    const std::string flag = "--peak=";
    if (argc == 2 && std::string(argv[1]).rfind(flag, 0) == 0) return peakMain(argv[1] + flag.size());
    benchmark::Initialize(&argc, argv);
    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
