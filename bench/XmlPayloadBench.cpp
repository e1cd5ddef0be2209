// The XML payload of a database of 10,000 entries with 10 history items each: expat's own pass
// over the text (handlers that do nothing) against building the node tree, reading the model
// and writing it back. The node tree is meant to stay within twice expat's own time.
#include <benchmark/benchmark.h>
#include <expat.h>

#include <string>
#include <vector>

#include "OmbrixCore/Kdbx/InnerStreamCipher.h"
#include "OmbrixCore/Kdbx/KdbxXMLNode.h"
#include "OmbrixCore/Kdbx/KdbxXMLReader.h"
#include "OmbrixCore/Kdbx/KdbxXMLWriter.h"

namespace {

constexpr int entryCount = 10000;
constexpr int historyPerEntry = 10;
const Bytes streamKey(64, 0x24);

KdbxEntry makeEntry(int n, int version) {
    KdbxEntry e;
    e.id = UUID::random();
    e.title = "Kayıt " + std::to_string(n);
    e.username = "kullanici" + std::to_string(n) + "@example.com";
    e.password = SecureString("parola-" + std::to_string(n * 7919 + version));
    e.url = "https://site" + std::to_string(n) + ".example.com/giris";
    e.notes = "Not " + std::to_string(n) + ": birkaç satırlık açıklama metni.";
    e.customFields["PIN"] = std::to_string(1000 + n % 9000);
    e.tags = {"iş", "önemli"};
    e.created = e.accessed = Timestamp(std::chrono::seconds(1'600'000'000));
    e.modified = Timestamp(std::chrono::seconds(1'700'000'000 + version));
    return e;
}

const KdbxDatabase& database() {
    static const KdbxDatabase db = [] {
        KdbxDatabase d;
        d.meta = KdbxMeta("Kasa", "", "", true, std::nullopt, 10, 6291456, "Ombrix");
        d.root.id = UUID::random();
        d.root.name = "Kök";
        std::vector<KdbxEntry> entries;
        for (int n = 0; n < entryCount; ++n) {
            KdbxEntry entry = makeEntry(n, historyPerEntry);
            std::vector<KdbxEntry> history;
            for (int v = 0; v < historyPerEntry; ++v) history.push_back(makeEntry(n, v));
            entry.historyItems = std::move(history);
            entries.push_back(std::move(entry));
        }
        d.root.entries = std::move(entries);
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
    for (auto _ : state) {
        XML_Parser parser = XML_ParserCreate(nullptr);
        XML_SetElementHandler(
            parser, [](void*, const XML_Char*, const XML_Char**) {}, [](void*, const XML_Char*) {});
        XML_SetCharacterDataHandler(parser, [](void*, const XML_Char*, int) {});
        const auto status =
            XML_Parse(parser, reinterpret_cast<const char*>(xml.data()), static_cast<int>(xml.size()), 1);
        benchmark::DoNotOptimize(status);
        XML_ParserFree(parser);
    }
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
