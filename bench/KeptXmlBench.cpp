// Hostile shapes of kept XML: an entry whose Times holds many distinct elements the model has no
// field for (reading them must take linear time), and an entry holding a million empty unknown
// elements (saving must cost time and memory in proportion to them), its XML alone and as a whole
// file. The save's peak memory is measured in a fresh process (peakMiB).
#include <benchmark/benchmark.h>

#include <string>

#include "OmbrixCore/Kdbx/InnerStreamCipher.h"
#include "OmbrixCore/Kdbx/KdbxFile.h"
#include "OmbrixCore/Kdbx/KdbxXMLReader.h"
#include "OmbrixCore/Kdbx/KdbxXMLWriter.h"
#include "PeakMemory.h"

namespace {

const Bytes streamKey(64, 0x24);

// A document of one entry; `inTimes` goes inside its Times, `inEntry` after its fields.
Bytes document(const std::string& inTimes, const std::string& inEntry) {
    const std::string xml =
        "<KeePassFile><Meta><Generator>G</Generator></Meta><Root><Group><Name>Kök</Name>"
        "<Entry><UUID>AAAAAAAAAAAAAAAAAAAAAA==</UUID><Times>" +
        inTimes + "</Times><String><Key>Title</Key><Value>T</Value></String>" + inEntry +
        "</Entry></Group></Root></KeePassFile>";
    return Bytes(xml.begin(), xml.end());
}

KdbxXML::Document read(const Bytes& xml) {
    auto stream = KdbxCrypto::makeInnerStream(KdbxCrypto::InnerStreamID::chaCha20, streamKey);
    return KdbxXML::parse(xml, *stream, {4, 1}, {});
}

Bytes write(const KdbxDatabase& db) {
    auto stream = KdbxCrypto::makeInnerStream(KdbxCrypto::InnerStreamID::chaCha20, streamKey);
    return KdbxXML::serialize(db, *stream, 4);
}

void BM_ReadDistinctUnknownTimesChildren(benchmark::State& state) {
    std::string times;
    for (std::int64_t n = 0; n < state.range(0); ++n) times += "<T" + std::to_string(n) + "/>";
    const Bytes xml = document(times, "");
    for (auto _ : state) {
        KdbxXML::Document doc = read(xml);
        benchmark::DoNotOptimize(doc.root.entries.size());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

KdbxDatabase manyEmptyElements(std::int64_t count) {
    std::string elements;
    for (std::int64_t n = 0; n < count; ++n) elements += "<U/>";
    KdbxXML::Document doc = read(document("", elements));
    KdbxDatabase db;
    db.meta = std::move(doc.meta);
    db.root = std::move(doc.root);
    return db;
}

void BM_SaveManyEmptyUnknownElements(benchmark::State& state) {
    const KdbxDatabase db = manyEmptyElements(state.range(0));
    for (auto _ : state) benchmark::DoNotOptimize(write(db).size());
    state.SetItemsProcessed(state.iterations() * state.range(0));
    const std::vector<double> figures = peakmemory::inChild([&] {
        const KdbxDatabase copy = manyEmptyElements(state.range(0));
        const std::size_t base = peakmemory::start();
        const Bytes xml = write(copy);
        benchmark::DoNotOptimize(xml.size());
        return std::vector<double>{static_cast<double>(peakmemory::peak() - base)};
    });
    if (!figures.empty()) state.counters["peakMiB"] = peakmemory::mib(figures[0]);
}

// The same entry saved as a whole file, as the application saves it (a light key derivation).
void BM_SaveFileManyEmptyUnknownElements(benchmark::State& state) {
    const auto manyInFile = [&] {
        KdbxDatabase db = manyEmptyElements(state.range(0));
        db.kdf = KdfSettings::aesKdf(1);
        return db;
    };
    const KdbxDatabase db = manyInFile();
    const KdbxKey key(SecretBytes("parola"), std::nullopt);
    for (auto _ : state) benchmark::DoNotOptimize(KdbxFile::save(db, key).size());
    const std::vector<double> figures = peakmemory::inChild([&] {
        const KdbxDatabase copy = manyInFile();
        const std::size_t base = peakmemory::start();
        const Bytes file = KdbxFile::save(copy, key);
        benchmark::DoNotOptimize(file.size());
        return std::vector<double>{static_cast<double>(peakmemory::peak() - base)};
    });
    if (!figures.empty()) state.counters["peakMiB"] = peakmemory::mib(figures[0]);
}

}  // namespace

BENCHMARK(BM_ReadDistinctUnknownTimesChildren)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveManyEmptyUnknownElements)
    ->Arg(100000)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
BENCHMARK(BM_SaveFileManyEmptyUnknownElements)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(1);

BENCHMARK_MAIN();
