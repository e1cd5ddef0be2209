// The XML payload of a database of 10,000 entries with 10 history items each: expat's own pass
// over the text (handlers that do nothing) against building the node tree, reading the model
// and writing it back. The node tree is meant to stay within twice expat's own time.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "BenchDatabase.h"
#include "ExpatPass.h"
#include "OmbrixCore/Kdbx/InnerStreamCipher.h"
#include "OmbrixCore/Kdbx/KdbxXMLNode.h"
#include "OmbrixCore/Kdbx/KdbxXMLReader.h"
#include "OmbrixCore/Kdbx/KdbxXMLWriter.h"

namespace {

const Bytes streamKey(64, 0x24);

const KdbxDatabase& database() {
    static const KdbxDatabase db = [] {
        KdbxDatabase d = benchDatabase({});
        d.meta = KdbxMeta("Kasa", "", "", true, std::nullopt, 10, 6291456, "Ombrix");
        return d;
    }();
    return db;
}

const Bytes& payload() {
    static const Bytes xml = [] {
        auto stream = KdbxCrypto::makeInnerStream(KdbxCrypto::InnerStreamID::chaCha20, streamKey);
        return KdbxXML::serialize(database(), *stream, 4);
    }();
    return xml;
}

void BM_ExpatOnly(benchmark::State& state) {
    const Bytes& xml = payload();
    for (auto _ : state) expatPass(xml);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * xml.size()));
}

void BM_NodeTree(benchmark::State& state) {
    const Bytes& xml = payload();
    for (auto _ : state) {
        auto stream = KdbxCrypto::makeInnerStream(KdbxCrypto::InnerStreamID::chaCha20, streamKey);
        auto root = KdbxXMLNode::parse(xml, stream.get());
        benchmark::DoNotOptimize(root.get());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * xml.size()));
}

void BM_ReadDocument(benchmark::State& state) {
    const Bytes& xml = payload();
    for (auto _ : state) {
        auto stream = KdbxCrypto::makeInnerStream(KdbxCrypto::InnerStreamID::chaCha20, streamKey);
        auto doc = KdbxXML::parse(xml, *stream, {4, 1}, {});
        benchmark::DoNotOptimize(doc.root.entries.size());
    }
}

void BM_WriteDocument(benchmark::State& state) {
    const KdbxDatabase& db = database();
    for (auto _ : state) {
        auto stream = KdbxCrypto::makeInnerStream(KdbxCrypto::InnerStreamID::chaCha20, streamKey);
        auto xml = KdbxXML::serialize(db, *stream, 4);
        benchmark::DoNotOptimize(xml.data());
    }
}

}  // namespace

BENCHMARK(BM_ExpatOnly)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NodeTree)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadDocument)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteDocument)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
