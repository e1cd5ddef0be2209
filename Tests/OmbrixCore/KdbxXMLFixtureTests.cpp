// The XML reader and writer against the payloads of the fixture databases, written by an
// independent writer of the format. Until key derivation exists here, each payload is decrypted
// with the manifest's transformed key through the engine's own framing, payload cipher, gzip and
// inner header; the reader's result is compared with the manifest, then written, read again and
// compared once more, and written a second time to the very same XML.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>

#include "KdbxFixtureManifest.h"
#include "OmbrixCore/Compression/Gzip.h"
#include "OmbrixCore/Kdbx/Base64.h"
#include "OmbrixCore/Kdbx/BlockStreams.h"
#include "OmbrixCore/Kdbx/InnerStreamCipher.h"
#include "OmbrixCore/Kdbx/KdbxCrypto.h"
#include "OmbrixCore/Kdbx/KdbxDate.h"
#include "OmbrixCore/Kdbx/KdbxHeader.h"
#include "OmbrixCore/Kdbx/KdbxInnerHeader.h"
#include "OmbrixCore/Kdbx/KdbxReader.h"
#include "OmbrixCore/Kdbx/KdbxXMLNode.h"
#include "OmbrixCore/Kdbx/KdbxXMLReader.h"
#include "OmbrixCore/Kdbx/KdbxXMLWriter.h"
#include "OmbrixCore/Kdbx/PayloadCipher.h"
#include "Support/Fixtures.h"
#include "Support/WholePayloads.h"

using kdbxfixtures::compareDocument;
using kdbxfixtures::manifest;
using nlohmann::json;
using testsupport::fixturePath;
using testsupport::fromHex;
using testsupport::readFile;
using testsupport::toHex;

namespace {

struct Payload {
    Bytes xml;
    std::shared_ptr<InnerStreamCipher> stream;
    std::vector<KdbxInnerHeader::Binary> binaries;
    KdbxFormatVersion version;
};

Payload decryptFixture(const json& file) {
    const Bytes bytes = readFile(fixturePath("kdbx/" + file.at("file").get<std::string>()));
    const KdbxHeader header = KdbxHeader::parse(bytes);
    const Bytes transformed = fromHex(file.at("key_material").at("transformed_key"));
    const Bytes master = KdbxCrypto::sha256({header.masterSeed, transformed});
    Payload payload;
    payload.version = {header.major, header.minor};
    if (header.isKdbx4()) {
        KdbxReader reader(bytes);
        reader.read(static_cast<std::int64_t>(header.endOffset) + 64);
        const Bytes one = {0x01};
        const Bytes encrypted =
            KdbxCrypto::readHMACBlocks(reader, KdbxCrypto::sha512({header.masterSeed, transformed, one}));
        Bytes plain = testsupport::decryptPayload(encrypted, header.cipher(), master, header.encryptionIV);
        if (header.compressed()) plain = Gzip::decompress(plain);
        KdbxReader inner(plain);
        const KdbxInnerHeader innerHeader = KdbxInnerHeader::parse(inner);
        payload.xml = inner.read(static_cast<std::int64_t>(inner.remaining()));
        payload.stream = KdbxCrypto::makeInnerStream(innerHeader.streamID, innerHeader.streamKey);
        payload.binaries = innerHeader.binaries;
    } else {
        const ByteView encrypted = ByteView(bytes).subspan(header.endOffset);
        const Bytes plain =
            testsupport::decryptPayload(encrypted, header.cipher(), master, header.encryptionIV);
        const Bytes& start = *header.streamStartBytes;
        EXPECT_TRUE(std::equal(start.begin(), start.end(), plain.begin()));
        KdbxReader reader(Bytes(plain.begin() + static_cast<std::ptrdiff_t>(start.size()), plain.end()));
        payload.xml = KdbxCrypto::readHashedBlocks(reader);
        if (header.compressed()) payload.xml = Gzip::decompress(payload.xml);
        payload.stream =
            KdbxCrypto::makeInnerStream(*header.innerRandomStreamID, *header.innerRandomStreamKey);
    }
    return payload;
}

const Bytes saveStreamKey(64, 0x42);

Bytes write(const KdbxXML::Document& doc, KdbxFormatVersion version) {
    KdbxDatabase database(doc.meta, doc.root, KdbxCipher::chacha20, KdfSettings::recommended(), true,
                          version);
    auto stream = KdbxCrypto::makeInnerStream(KdbxCrypto::InnerStreamID::chaCha20, saveStreamKey);
    return KdbxXML::serialize(database, *stream, 4);
}

KdbxXML::Document readWritten(const Bytes& xml, const std::vector<KdbxInnerHeader::Binary>& binaries) {
    auto stream = KdbxCrypto::makeInnerStream(KdbxCrypto::InnerStreamID::chaCha20, saveStreamKey);
    return KdbxXML::parse(xml, *stream, {4, 1}, binaries);
}

}  // namespace

TEST(KdbxXMLFixtures, ReadWriteReadMatchesTheManifestAndReachesAFixedPoint) {
    const json all = manifest();
    ASSERT_FALSE(all.at("files").empty());
    for (const json& file : all.at("files")) {
        const std::string name = file.at("file");
        SCOPED_TRACE(name);
        Payload payload = decryptFixture(file);
        const KdbxXML::Document doc =
            KdbxXML::parse(payload.xml, *payload.stream, payload.version, payload.binaries);
        compareDocument(doc, file.at("content"));
        if (payload.version.major < 4) {
            ASSERT_TRUE(doc.headerHash.has_value());
            EXPECT_EQ(*doc.headerHash,
                      KdbxCrypto::sha256(KdbxHeader::parse(readFile(fixturePath("kdbx/" + name))).rawData));
        }

        // Saved as version 4: the attachments go to the inner header, a version 3 pool included.
        const Bytes first = write(doc, payload.version);
        const std::vector<KdbxInnerHeader::Binary> binaries = KdbxXML::preservedBinaries(doc.root);
        EXPECT_EQ(binaries, doc.binaries);
        const KdbxXML::Document again = readWritten(first, binaries);
        compareDocument(again, file.at("content"));
        EXPECT_EQ(again.meta, doc.meta);

        const Bytes second = write(again, {4, 1});
        EXPECT_TRUE(second == first) << std::string(second.begin(), second.end());
        const Bytes third = write(readWritten(second, KdbxXML::preservedBinaries(again.root)), {4, 1});
        EXPECT_TRUE(third == second);
    }
}
