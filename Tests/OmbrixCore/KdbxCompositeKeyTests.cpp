#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <string>

#include "KdbxErrorTesting.h"
#include "KdbxFixtureManifest.h"
#include "OmbrixCore/Kdbx/KdbxCompositeKey.h"
#include "OmbrixCore/Kdbx/KdbxCrypto.h"
#include "Support/Fixtures.h"

using KdbxKeys::KeyFileKind;
using testsupport::fixturePath;
using testsupport::fromHex;
using testsupport::readFile;
using testsupport::toHex;

namespace {

Bytes bytesOf(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

std::string v2KeyFile(const std::string& data, const std::string& hashAttribute) {
    return "<KeyFile><Meta><Version>2.0</Version></Meta><Key><Data" + hashAttribute + ">" + data +
           "</Data></Key></KeyFile>";
}

const std::string bytes16Hex = "000102030405060708090A0B0C0D0E0F";
const std::string bytes16Base64 = "AAECAwQFBgcICQoLDA0ODw==";
const std::string bytes16Sha256 = "be45cb2605bf36bebde684841a28f0fd43c69850a3dce5fedba69928ee3a8991";

}  // namespace

// One fixture of each kind, with the key the manifest gives for it.
TEST(KdbxKeyFiles, FixtureOfEachKind) {
    const std::map<std::string, KeyFileKind> kinds = {{"xml-v2", KeyFileKind::xmlV2},
                                                      {"xml-v1", KeyFileKind::xmlV1},
                                                      {"raw-32", KeyFileKind::rawBinary32},
                                                      {"hex-64", KeyFileKind::hex64},
                                                      {"hashed", KeyFileKind::hashed}};
    const nlohmann::json keyFiles = kdbxfixtures::manifest().at("key_files");
    ASSERT_EQ(keyFiles.size(), kinds.size());
    for (const nlohmann::json& file : keyFiles) {
        const std::string name = file.at("name");
        const KdbxKeys::KeyFileResult result = KdbxKeys::keyFileKey(readFile(fixturePath("kdbx/" + name)));
        EXPECT_EQ(result.kind, kinds.at(file.at("kind"))) << name;
        EXPECT_EQ(toHex(result.key), file.at("key_file_key").get<std::string>()) << name;
    }

    const Bytes foreignXML = readFile(fixturePath("keyfiles/not-a-keyfile.xml"));
    EXPECT_EQ(KdbxKeys::keyFileKey(foreignXML),
              (KdbxKeys::KeyFileResult{KdbxCrypto::sha256(foreignXML), KeyFileKind::hashed}));
    EXPECT_EQ(thrownKdbxError([] {
                  KdbxKeys::keyFileKey(readFile(fixturePath("keyfiles/keyfile-xml-v2-wrong-hash.keyx")));
              }),
              KdbxError::corruptedData("anahtar dosyası bütünlük kontrolünden geçemedi"));
}

// The composite key of every fixture database, from its password and key file.
TEST(KdbxKeyFiles, CompositeKeysOfTheFixtureDatabases) {
    const nlohmann::json all = kdbxfixtures::manifest();
    ASSERT_FALSE(all.at("files").empty());
    for (const nlohmann::json& file : all.at("files")) {
        const KdbxKey key = kdbxfixtures::keyOf(file);
        // Compared without printing: the composite key opens the fixture.
        EXPECT_TRUE(KdbxKeys::compositeKey(key) == fromHex(file.at("key_material").at("composite_key")))
            << file.at("file").get<std::string>();
    }
}

TEST(KdbxKeyFiles, RecognitionTable) {
    const Bytes file32 = bytesOf("<?xml is not a key file at all!!");
    const std::string hex64 = "0123456789abcdefABCDEF0123456789abcdef0123456789ABCDEF0123456789";
    const struct {
        Bytes file;
        KdbxKeys::KeyFileResult expected;
        const char* note;
    } cases[] = {
        {{}, {KdbxCrypto::sha256(Bytes{}), KeyFileKind::hashed}, "empty file"},
        {Bytes(31, 7), {KdbxCrypto::sha256(Bytes(31, 7)), KeyFileKind::hashed}, "31 bytes"},
        {Bytes(33, 7), {KdbxCrypto::sha256(Bytes(33, 7)), KeyFileKind::hashed}, "33 bytes"},
        {file32, {file32, KeyFileKind::rawBinary32}, "32 bytes starting like XML"},
        {bytesOf(hex64), {*KdbxKeys::hexDecode(hex64), KeyFileKind::hex64}, "64 hex digits in mixed case"},
        {bytesOf(hex64 + "\n"),
         {KdbxCrypto::sha256(bytesOf(hex64 + "\n")), KeyFileKind::hashed},
         "64 hex digits and a line break"},
        {bytesOf(v2KeyFile("\n  00010203 04050607\n\t08090A0B 0C0D0E0F\n", " Hash=\" be45 cb26 \"")),
         {fromHex(bytes16Hex), KeyFileKind::xmlV2},
         "version 2 over several lines, lower-case hash, 16 bytes kept as they are"},
        {bytesOf(v2KeyFile(bytes16Hex, "")),
         {fromHex(bytes16Hex), KeyFileKind::xmlV2},
         "version 2 without hash"},
        {bytesOf("<KeyFile><Meta><Version>1.00</Version></Meta><Key><Data>" + bytes16Base64 +
                 "</Data></Key></KeyFile>"),
         {fromHex(bytes16Sha256), KeyFileKind::xmlV1},
         "version 1 with 16 bytes: their SHA-256"},
        {bytesOf("<KeyFile><Key><Data>" + bytes16Base64 + "</Data></Key></KeyFile>"),
         {fromHex(bytes16Sha256), KeyFileKind::xmlV1},
         "no Meta: version 1"},
        {bytesOf("<?xml version=\"1.0\"?><KeyFile><Key><Data>"), {}, "damaged XML counts by its hash"},
        {bytesOf("<?xml version=\"1.0\"?><!DOCTYPE svg><svg/>"), {}, "another document with a DOCTYPE"},
    };
    for (const auto& c : cases) {
        KdbxKeys::KeyFileResult expected = c.expected;
        if (expected.key.empty() && c.file.size() > 0)
            expected = {KdbxCrypto::sha256(c.file), KeyFileKind::hashed};
        EXPECT_EQ(KdbxKeys::keyFileKey(c.file), expected) << c.note;
    }
}

TEST(KdbxKeyFiles, ErrorsOfXMLKeyFiles) {
    const struct {
        std::string file;
        const char* detail;
    } cases[] = {
        {"<KeyFile><Key></Key></KeyFile>", "anahtar dosyasında <Key><Data> yok"},
        {"<KeyFile/>", "anahtar dosyasında <Key><Data> yok"},
        {v2KeyFile("00010G", ""), "v2 anahtar dosyası onaltılık değil"},
        {v2KeyFile("", ""), "v2 anahtar dosyası onaltılık değil"},
        {v2KeyFile(bytes16Hex, " Hash=\"be45cb27\""), "anahtar dosyası bütünlük kontrolünden geçemedi"},
        {v2KeyFile(bytes16Hex, " Hash=\"be45cb2600\""), "anahtar dosyası bütünlük kontrolünden geçemedi"},
        {"<KeyFile><Key><Data>AAEC AwQF</Data></Key></KeyFile>", nullptr},
        {"<KeyFile><Key><Data>AAE*</Data></Key></KeyFile>", "v1 anahtar dosyası base64 değil"},
        // A document type declaration is refused, and said so: hashing the file would only end
        // in wrong credentials.
        {"<!DOCTYPE KeyFile><KeyFile><Key><Data>" + bytes16Base64 + "</Data></Key></KeyFile>",
         "anahtar dosyası DOCTYPE bildirimi içeriyor"},
        {"<?xml version=\"1.0\"?>\n<!-- not -->\n<!DOCTYPE KeyFile [<!ENTITY a \"AAEC\">]>\n"
         "<KeyFile><Key><Data>&a;</Data></Key></KeyFile>",
         "anahtar dosyası DOCTYPE bildirimi içeriyor"},
        {"<?xml version=\"1.0\"?><!DOCTYPE x SYSTEM \"k.dtd\"><KeyFile><Key>",
         "anahtar dosyası DOCTYPE bildirimi içeriyor"},
    };
    for (const auto& c : cases) {
        const auto error = thrownKdbxError([&] { KdbxKeys::keyFileKey(bytesOf(c.file)); });
        if (c.detail == nullptr) {
            EXPECT_FALSE(error) << c.file;  // blanks inside the data are removed first
        } else {
            EXPECT_EQ(error, KdbxError::corruptedData(c.detail)) << c.file;
        }
    }
}

TEST(KdbxKeyFiles, CompositeKeyParts) {
    EXPECT_EQ(toHex(KdbxKeys::compositeKey(KdbxKey(std::string(), std::nullopt))),
              "5df6e0e2761359d30a8275058e299fcc0381534545f55cf43e41983f5d4c9456");
    EXPECT_EQ(thrownKdbxError([] { KdbxKeys::compositeKey(KdbxKey()); }), KdbxError::invalidCredentials());
    // An empty key file still counts: the SHA-256 of no bytes.
    const Bytes emptyFileKey = KdbxCrypto::sha256(Bytes{});
    EXPECT_EQ(KdbxKeys::compositeKey(KdbxKey(std::nullopt, Bytes{})), KdbxCrypto::sha256(emptyFileKey));
    const Bytes passwordHash = KdbxCrypto::sha256(bytesOf("parola"));
    EXPECT_EQ(KdbxKeys::compositeKey(KdbxKey(std::string("parola"), Bytes{})),
              KdbxCrypto::sha256({passwordHash, emptyFileKey}));
}

TEST(KdbxKeyFiles, HexDecode) {
    EXPECT_EQ(KdbxKeys::hexDecode("0aFf"), (Bytes{0x0A, 0xFF}));
    EXPECT_EQ(KdbxKeys::hexDecode(""), Bytes{});
    EXPECT_FALSE(KdbxKeys::hexDecode("0aF"));
    EXPECT_FALSE(KdbxKeys::hexDecode("zz"));
}
