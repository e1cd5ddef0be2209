#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <string>

#include "OmbrixCore/Kdbx/BlockStreams.h"
#include "OmbrixCore/Kdbx/KdbxCrypto.h"
#include "OmbrixCore/Kdbx/KdbxHeader.h"
#include "OmbrixCore/Kdbx/KdbxReader.h"
#include "Support/Fixtures.h"

using testsupport::fixturePath;
using testsupport::fromHex;
using testsupport::readFile;

namespace {

KdfSettings expectedKdf(const nlohmann::json& kdf) {
    const std::string name = kdf.at("name");
    if (name == "AES-KDF") return KdfSettings::aesKdf(kdf.at("rounds"));
    const std::uint64_t memory = kdf.at("memory_kib");
    const std::uint64_t iterations = kdf.at("iterations");
    const std::uint32_t parallelism = kdf.at("parallelism");
    return name == "Argon2d" ? KdfSettings::argon2d(memory, iterations, parallelism)
                             : KdfSettings::argon2id(memory, iterations, parallelism);
}

}  // namespace

// Files written by an independent writer of the format: their outer header must read as the
// manifest says, and for version 4 the stored header hash, the header HMAC and every HMAC block
// must verify under the HMAC key derived from the manifest's transformed key.
TEST(KdbxFixtures, HeadersAndHMACBlocksOfAnIndependentWriter) {
    std::ifstream in(fixturePath("kdbx/manifest.json"));
    const nlohmann::json manifest = nlohmann::json::parse(in);
    ASSERT_FALSE(manifest.at("files").empty());
    for (const nlohmann::json& file : manifest.at("files")) {
        const std::string name = file.at("file");
        SCOPED_TRACE(name);
        const Bytes bytes = readFile(fixturePath("kdbx/" + name));
        const KdbxHeader header = KdbxHeader::parse(bytes);

        const std::string version = file.at("format_version");
        EXPECT_EQ(std::to_string(header.major) + "." + std::to_string(header.minor), version);
        EXPECT_EQ(rawValue(header.cipher()), file.at("cipher").get<std::string>());
        EXPECT_EQ(header.compressed(), file.at("compression") == "gzip");
        EXPECT_EQ(header.kdfSettings(), expectedKdf(file.at("kdf")));
        if (!header.isKdbx4()) continue;

        KdbxReader reader(bytes);
        reader.read(static_cast<std::int64_t>(header.endOffset));
        EXPECT_TRUE(KdbxCrypto::constantTimeEquals(reader.read(32), KdbxCrypto::sha256(header.rawData)));

        const Bytes transformed = fromHex(file.at("key_material").at("transformed_key"));
        const Bytes one = {0x01};
        const Bytes hmacKey = KdbxCrypto::sha512({header.masterSeed, transformed, one});
        EXPECT_TRUE(
            KdbxCrypto::constantTimeEquals(reader.read(32), KdbxCrypto::headerHMAC(header.rawData, hmacKey)));

        const Bytes payload = KdbxCrypto::readHMACBlocks(reader, hmacKey);
        EXPECT_FALSE(payload.empty());
        EXPECT_TRUE(reader.isAtEnd());
    }
}
