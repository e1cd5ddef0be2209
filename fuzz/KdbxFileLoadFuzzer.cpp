// libFuzzer target for KdbxFile::load. Every input must end in a database or in one of the
// engine's errors: a crash, a sanitizer report or any other exception is a finding. A database
// loaded from a payload must also survive a save and a second load unchanged. And the input read
// as XML in the smallest pieces the part-by-part parse cuts must give what it gives read whole.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "KdbxFuzzInput.h"
#include "OmbrixCore/Compression/Gzip.h"
#include "OmbrixCore/Crypto/AESCipher.h"
#include "OmbrixCore/Crypto/Argon2.h"
#include "OmbrixCore/Kdbx/InnerStreamCipher.h"
#include "OmbrixCore/Kdbx/KdbxError.h"
#include "OmbrixCore/Kdbx/KdbxFile.h"
#include "OmbrixCore/Kdbx/KdbxHeader.h"
#include "OmbrixCore/Kdbx/KdbxXMLNode.h"
#include "OmbrixCore/Kdbx/KdbxXMLWriter.h"

namespace {

// The fuzzer's budget for one key derivation. A mutated header can ask for gigabytes of Argon2
// memory or billions of AES rounds, which the engine would honestly spend; such inputs test
// nothing new and would stall the run, so they are skipped before load is called. The engine's
// own bounds on these values are covered by its tests.
constexpr std::uint64_t maxAesRounds = 200'000;
constexpr std::uint64_t maxArgon2MemoryBytes = 4 << 20;
constexpr std::uint64_t maxArgon2Iterations = 8;
constexpr std::uint32_t maxArgon2Parallelism = 8;

std::uint64_t number(const VariantDictionary& parameters, const char* key, std::uint64_t fallback) {
    const std::optional<VariantValue> value = parameters.get(key);
    return value ? value->asUInt64().value_or(fallback) : fallback;
}

// What the key derivation would cost stays within the budget; the same defaults as the
// derivation's for missing or mistyped parameters.
bool cheapEnough(const Bytes& file) {
    KdbxHeader header;
    try {
        header = KdbxHeader::parse(file);
    } catch (...) {
        return true;  // refused before any key work
    }
    if (header.major < 4) return header.transformRounds.value_or(0) <= maxAesRounds;
    if (!header.kdfParameters) return true;
    const VariantDictionary& parameters = *header.kdfParameters;
    const std::optional<VariantValue> id = parameters.get("$UUID");
    const std::optional<UUID> kdf = id && id->asData() ? UUID::fromKdbxBytes(*id->asData()) : std::nullopt;
    if (kdf == KdbxUUIDs::kdfAes) return number(parameters, "R", 6000) <= maxAesRounds;
    if (kdf == KdbxUUIDs::kdfArgon2d || kdf == KdbxUUIDs::kdfArgon2id) {
        const std::optional<VariantValue> p = parameters.get("P");
        const std::uint32_t parallelism = p ? p->asUInt32().value_or(2) : 2;
        return number(parameters, "M", std::uint64_t{64} << 20) <= maxArgon2MemoryBytes &&
               number(parameters, "I", 2) <= maxArgon2Iterations && parallelism <= maxArgon2Parallelism;
    }
    return true;
}

// What a database would write, protected values in the clear: equal for two databases that
// hold the same content.
Bytes plainXML(const KdbxDatabase& db) {
    NullStreamCipher stream;
    return KdbxXML::serialize(db, stream, 4);
}

// Whatever a load accepts, a save keeps: saving succeeds and loading the result gives the same
// content and attachments. Only behind the MACs (payload mode), where the key derivation is cheap.
void checkRoundTrip(const KdbxDatabase& db, const KdbxKey& key) {
    const Bytes saved = KdbxFile::save(db, key);
    const KdbxDatabase again = KdbxFile::load(saved, key);
    if (plainXML(db) != plainXML(again)) __builtin_trap();
    if (KdbxXML::preservedBinaries(db.root) != KdbxXML::preservedBinaries(again.root)) __builtin_trap();
}

// Writes down what a parse delivers: the document element's children as XML.
class Recorder : public KdbxXMLNode::Handler {
  public:
    bool open(std::string_view name) override {
        log += "<" + std::string(name);
        return log.size() == name.size() + 1;
    }
    void child(KdbxXMLNode::Ptr node) override { log += node->rawXMLString(); }
    void close() override { log += ">"; }

    std::string log;
};

// The part-by-part parse, cut into pieces at every element start it may, agrees with the whole.
void checkPieces(ByteView xml) {
    Recorder whole;
    bool wholeParsed = false;
    try {
        wholeParsed = KdbxXMLNode::parse(xml, nullptr, whole);
    } catch (const KdbxError&) {
        return;
    }
    Recorder pieces;
    std::size_t offset = 0;
    const KdbxXMLNode::Source source = [&]() -> ByteView {
        const std::size_t n = std::min<std::size_t>(7, xml.size() - offset);
        const ByteView part = xml.subspan(offset, n);
        offset += n;
        return part;
    };
    const bool piecesParsed = KdbxXMLNode::parse(source, nullptr, pieces, 1);
    if (piecesParsed != wholeParsed || (wholeParsed && pieces.log != whole.log)) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::vector<KdbxKey> keys = fuzzinput::fixtureKeys();
    if (size < 1 || keys.empty()) return 0;
    const std::uint8_t mode = data[0];
    const ByteView rest(data + 1, size - 1);
    checkPieces(rest);

    Bytes file;
    const KdbxKey* key = nullptr;
    if (mode < fuzzinput::payloadMode) {
        file.assign(rest.begin(), rest.end());
        if (!cheapEnough(file)) return 0;
        key = &keys[mode % keys.size()];
    } else {
        file = fuzzinput::seal(rest, mode);
        key = &fuzzinput::sealKey();
    }
    std::optional<KdbxDatabase> db;
    try {
        db = KdbxFile::load(file, *key);
    } catch (const KdbxError&) {
    } catch (const Gzip::Error&) {
    } catch (const AESCipher::Error&) {
    } catch (const Argon2::Error&) {
    }
    // Any error here is a finding: the file loaded, so saving it must not fail or lose anything.
    if (db && mode >= fuzzinput::payloadMode) checkRoundTrip(*db, *key);
    return 0;
}
