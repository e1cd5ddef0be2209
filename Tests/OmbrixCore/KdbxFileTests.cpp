// Whole files: the fixtures of an independent writer load to their manifest's content with their
// credentials, survive saving and loading again unchanged, and every damaged or mistaken input
// fails with its exact Turkish text.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <new>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "AllocationProbe.h"
#include "KdbxErrorTesting.h"
#include "KdbxFixtureManifest.h"
#include "OmbrixCore/Compression/Gzip.h"
#include "OmbrixCore/Kdbx/Base64.h"
#include "OmbrixCore/Kdbx/BlockStreams.h"
#include "OmbrixCore/Kdbx/InnerStreamCipher.h"
#include "OmbrixCore/Kdbx/KdbxCompositeKey.h"
#include "OmbrixCore/Kdbx/KdbxCrypto.h"
#include "OmbrixCore/Kdbx/KdbxFile.h"
#include "OmbrixCore/Kdbx/KdbxHeader.h"
#include "OmbrixCore/Kdbx/KdbxInnerHeader.h"
#include "OmbrixCore/Kdbx/KdbxKeyDerivation.h"
#include "OmbrixCore/Kdbx/KdbxReader.h"
#include "OmbrixCore/Kdbx/KdbxXMLNode.h"
#include "OmbrixCore/Kdbx/KdbxXMLWriter.h"
#include "OmbrixCore/Kdbx/PayloadCipher.h"
#include "Support/AESReference.h"
#include "Support/Fixtures.h"
#include "Support/WholePayloads.h"

using kdbxfixtures::json;
using kdbxfixtures::keyOf;
using testsupport::fixturePath;
using testsupport::readFile;

namespace {

Bytes fixture(const std::string& name) {
    return readFile(fixturePath("kdbx/" + name));
}

const json& manifestFile(const json& all, const std::string& name) {
    for (const json& file : all.at("files")) {
        if (file.at("file") == name) return file;
    }
    throw std::runtime_error("no fixture " + name);
}

KdfSettings kdfOf(const json& kdf) {
    const std::string name = kdf.at("name");
    if (name == "AES-KDF") return KdfSettings::aesKdf(kdf.at("rounds"));
    return name == "Argon2d"
               ? KdfSettings::argon2d(kdf.at("memory_kib"), kdf.at("iterations"), kdf.at("parallelism"))
               : KdfSettings::argon2id(kdf.at("memory_kib"), kdf.at("iterations"), kdf.at("parallelism"));
}

// A version 4 file taken apart with the engine's pieces: the header, the inner header's
// attachments, and the XML with every protected value decrypted and marked (Protected="True"),
// so that two saves, whose keystreams differ, can be compared.
struct Opened {
    KdbxHeader header;
    std::vector<KdbxInnerHeader::Binary> binaries;
    KdbxXMLNode::Ptr document;
    std::string plainXML;
};

Opened open(const Bytes& file, const KdbxKey& key) {
    Opened opened;
    opened.header = KdbxHeader::parse(file);
    EXPECT_TRUE(opened.header.isKdbx4());
    const KdbxKeys::DerivedKeys keys = KdbxKeys::derive(KdbxKeys::compositeKey(key), opened.header);
    KdbxReader reader(file);
    reader.read(static_cast<std::int64_t>(opened.header.endOffset) + 64);
    Bytes plain =
        testsupport::decryptPayload(KdbxCrypto::readHMACBlocks(reader, *keys.hmac), opened.header.cipher(),
                                    keys.master, opened.header.encryptionIV);
    if (opened.header.compressed()) plain = Gzip::decompress(plain);
    KdbxReader payload(plain);
    const KdbxInnerHeader inner = KdbxInnerHeader::parse(payload);
    EXPECT_EQ(inner.streamID, 3u);
    EXPECT_EQ(inner.streamKey.size(), 64u);
    opened.binaries = inner.binaries;
    const auto stream = KdbxCrypto::makeInnerStream(inner.streamID, inner.streamKey);
    opened.document = KdbxXMLNode::parse(payload.rest(), stream.get());
    if (opened.document) opened.plainXML = opened.document->rawXMLString();
    return opened;
}

// Checks that every entry's non-empty standard fields are stored protected exactly where the
// manifest says, walking the saved document beside the manifest's tree.
void expectStandardProtection(const KdbxXMLNode& group, const json& expected) {
    auto entries = group.childrenNamed("Entry");
    ASSERT_EQ(entries.size(), expected.at("entries").size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const json& entry = expected.at("entries")[i];
        std::vector<std::string> stored;
        for (const KdbxXMLNode* string : entries[i]->childrenNamed("String")) {
            const std::string key = string->child("Key")->text;
            const bool standard =
                key == "Title" || key == "UserName" || key == "Password" || key == "URL" || key == "Notes";
            // An empty value has nothing to hide; whether it carries the mark does not matter.
            const KdbxXMLNode* value = string->child("Value");
            if (standard && value->isProtected && !value->text.empty()) stored.push_back(key);
        }
        std::vector<std::string> wanted = entry.at("protected_standard_fields");
        std::sort(stored.begin(), stored.end());
        std::sort(wanted.begin(), wanted.end());
        EXPECT_EQ(stored, wanted) << entry.at("title").get<std::string>();
    }
    auto groups = group.childrenNamed("Group");
    ASSERT_EQ(groups.size(), expected.at("groups").size());
    for (std::size_t i = 0; i < groups.size(); ++i)
        expectStandardProtection(*groups[i], expected.at("groups")[i]);
}

void compareWithManifest(const KdbxDatabase& db, const json& file) {
    kdbxfixtures::compareContent(db.meta, db.root, KdbxXML::preservedBinaries(db.root), file.at("content"));
    EXPECT_EQ(rawValue(db.cipher), file.at("cipher").get<std::string>());
    EXPECT_EQ(db.kdf, kdfOf(file.at("kdf")));
    EXPECT_EQ(db.compressed, file.at("compression") == "gzip");
}

}  // namespace

TEST(KdbxFile, EveryFixtureLoadsToItsManifestContent) {
    const json all = kdbxfixtures::manifest();
    ASSERT_FALSE(all.at("files").empty());
    for (const json& file : all.at("files")) {
        const std::string name = file.at("file");
        SCOPED_TRACE(name);
        const KdbxDatabase db = KdbxFile::load(fixture(name), keyOf(file));
        compareWithManifest(db, file);
        const std::string version = file.at("format_version");
        EXPECT_EQ(std::to_string(db.formatVersion.major) + "." + std::to_string(db.formatVersion.minor),
                  version);
    }
}

// Load, save, load: the same content with everything the model does not show (attachments, a
// version 3 pool among them, history, unknown XML, protection flags); saving again writes the
// same decrypted XML and attachments: a fixed point.
TEST(KdbxFile, EveryFixtureSurvivesSavingAndReachesAFixedPoint) {
    const json all = kdbxfixtures::manifest();
    for (const json& file : all.at("files")) {
        const std::string name = file.at("file");
        SCOPED_TRACE(name);
        const KdbxKey key = keyOf(file);
        const KdbxDatabase loaded = KdbxFile::load(fixture(name), key);

        const Bytes first = KdbxFile::save(loaded, key);
        const KdbxDatabase again = KdbxFile::load(first, key);
        compareWithManifest(again, file);
        const KdbxFormatVersion expectedVersion =
            file.at("format_version") == "4.0" ? KdbxFormatVersion{4, 0} : KdbxFormatVersion{4, 1};
        EXPECT_EQ(again.formatVersion, expectedVersion);

        const Opened firstOpened = open(first, key);
        ASSERT_TRUE(firstOpened.document);
        const KdbxXMLNode* root = firstOpened.document->child("Root");
        ASSERT_TRUE(root);
        expectStandardProtection(*root->child("Group"), file.at("content").at("root"));

        const Bytes second = KdbxFile::save(again, key);
        const Opened secondOpened = open(second, key);
        EXPECT_TRUE(secondOpened.plainXML == firstOpened.plainXML) << "the decrypted XML changed";
        EXPECT_EQ(secondOpened.binaries, firstOpened.binaries);
    }
}

TEST(KdbxFile, FailuresOfTheFixturesCarryTheirTexts) {
    const json all = kdbxfixtures::manifest();
    const std::string v4 = "v40-argon2id-aes256-gzip-password.kdbx";
    const std::string v4KeyFile = "v41-argon2d-chacha20-nocompress-password-xmlkey2.kdbx";
    const std::string v3 = "v31-aeskdf-aes256-salsa20-gzip-password.kdbx";
    const std::string v3KeyFileOnly = "v31-raw32-keyfile-only.kdbx";
    const std::string wrongCredentials = "Ana parola veya anahtar dosyası hatalı.";

    const Bytes v4File = fixture(v4);
    const std::size_t v4HeaderEnd = KdbxHeader::parse(v4File).endOffset;
    const Bytes v3File = fixture(v3);
    const std::size_t v3HeaderEnd = KdbxHeader::parse(v3File).endOffset;

    auto flipped = [](Bytes bytes, std::size_t at) {
        bytes.at(at) ^= 0x01;
        return bytes;
    };
    auto cut = [](const Bytes& bytes, std::size_t size) {
        return Bytes(bytes.begin(), bytes.begin() + size);
    };
    // Version 3 keeps no MAC over its header: an unknown field (13, empty) changes the header's
    // bytes but nothing that decrypts, so only the hash inside the XML notices.
    Bytes v3Extended = v3File;
    const Bytes unknownField = {13, 0, 0};
    v3Extended.insert(v3Extended.begin() + 12, unknownField.begin(), unknownField.end());

    const json& v4Entry = manifestFile(all, v4);
    const json& v4KeyFileEntry = manifestFile(all, v4KeyFile);
    const json& v3Entry = manifestFile(all, v3);
    const KdbxKey withoutKeyFile(keyOf(v4KeyFileEntry).password, std::nullopt);
    const KdbxKey wrongKeyFile(keyOf(v4KeyFileEntry).password, fixture("keyfile-hex64.key"));
    const Bytes badXMLKey = [] {
        const Bytes good = readFile(fixturePath("kdbx/keyfile-xml-v2.keyx"));
        std::string text(good.begin(), good.end());
        const std::size_t hash = text.find("Hash=\"") + 6;
        text[hash] = text[hash] == 'A' ? 'B' : 'A';
        return Bytes(text.begin(), text.end());
    }();
    const std::size_t v4BlockData = v4HeaderEnd + 64 + 36;
    const std::size_t v4BlockSize = v4File.size() - v4BlockData - 36;

    const struct {
        const char* note;
        Bytes file;
        KdbxKey key;
        std::string expected;
    } cases[] = {
        {"v4: wrong password", v4File, KdbxKey("yanlış", std::nullopt), wrongCredentials},
        {"v4: key file missing", fixture(v4KeyFile), withoutKeyFile, wrongCredentials},
        {"v4: wrong key file", fixture(v4KeyFile), wrongKeyFile, wrongCredentials},
        {"v4: key file fails its own hash check", fixture(v4KeyFile),
         KdbxKey(keyOf(v4KeyFileEntry).password, badXMLKey),
         "Veritabanı bozuk: anahtar dosyası bütünlük kontrolünden geçemedi"},
        {"v4: no credentials at all", v4File, KdbxKey(), wrongCredentials},
        {"v4: master seed byte flipped, even with the wrong password", flipped(v4File, 60),
         KdbxKey("yanlış", std::nullopt),
         "Başlık bütünlük kontrolü başarısız — dosya değiştirilmiş olabilir."},
        {"v4: block byte flipped", flipped(v4File, v4BlockData + 10), keyOf(v4Entry),
         "Veri bloğu 0 bütünlük kontrolünden geçemedi."},
        {"v4: cut in the header MAC", cut(v4File, v4HeaderEnd + 40), keyOf(v4Entry),
         "Veritabanı bozuk: beklenenden kısa veri (32 bayt istendi, 8 kaldı)"},
        {"v4: cut in the block stream", cut(v4File, v4File.size() - 100), keyOf(v4Entry),
         "Veritabanı bozuk: beklenenden kısa veri (" + std::to_string(v4BlockSize) + " bayt istendi, " +
             std::to_string(v4BlockSize - 64) + " kaldı)"},
        {"v4: cut in the header", cut(v4File, 20), keyOf(v4Entry),
         "Veritabanı bozuk: beklenenden kısa veri (16 bayt istendi, 3 kaldı)"},
        {"not a KDBX file", fixture("keyfile-random100.bin"), keyOf(v4Entry),
         "Bu bir KDBX veritabanı dosyası değil."},
        {"v3: wrong password", v3File, KdbxKey("yanlış", std::nullopt), wrongCredentials},
        {"v3: key file missing", fixture(v3KeyFileOnly), KdbxKey("", std::nullopt), wrongCredentials},
        {"v3: wrong key file", fixture(v3KeyFileOnly), KdbxKey(std::nullopt, fixture("keyfile-hex64.key")),
         wrongCredentials},
        {"v3: payload byte flipped inside the data", flipped(v3File, v3HeaderEnd + 160), keyOf(v3Entry),
         "Veri bloğu 0 bütünlük kontrolünden geçemedi."},
        {"v3: payload byte flipped in the padding", flipped(v3File, v3File.size() - 1), keyOf(v3Entry),
         wrongCredentials},
        {"v3: payload byte flipped in the start bytes", flipped(v3File, v3HeaderEnd + 3), keyOf(v3Entry),
         wrongCredentials},
        {"v3: cut", cut(v3File, v3File.size() - 5), keyOf(v3Entry), wrongCredentials},
        {"v3: header changed after writing", v3Extended, keyOf(v3Entry),
         "Başlık bütünlük kontrolü başarısız — dosya değiştirilmiş olabilir."},
    };
    for (const auto& c : cases) {
        try {
            KdbxFile::load(c.file, c.key);
            ADD_FAILURE() << c.note << ": loaded";
        } catch (const std::exception& error) {
            EXPECT_EQ(std::string(error.what()), c.expected) << c.note;
        }
    }
}

namespace {

KdbxDatabase smallDatabase() {
    KdbxEntry entry;
    entry.id = UUID::random();
    entry.title = "Sunucu";
    entry.username = "yönetici";
    entry.password = SecureString("gizli & <parola>");
    entry.created = entry.modified = entry.accessed = Timestamp(std::chrono::seconds(1'700'000'000));
    KdbxGroup root;
    root.id = UUID::random();
    root.name = "Kök";
    root.created = root.modified = entry.created;
    root.entries.push_back(entry);
    KdbxMeta meta("Kasa", "", "", true, std::nullopt, 10, 6291456, "Ombrix");
    return KdbxDatabase(meta, root, KdbxCipher::chacha20, KdfSettings::aesKdf(10), true, {4, 1});
}

const KdbxKey smallKey("parola", std::nullopt);

}  // namespace

TEST(KdbxFile, SaveWritesVersionCipherCompressionAndKdfAndLoadsBack) {
    const struct {
        KdbxFormatVersion version;
        KdbxCipher cipher;
        bool compressed;
        KdfSettings kdf;
        std::uint16_t writtenMinor;
        std::size_t ivLength;
    } cases[] = {
        {{4, 0}, KdbxCipher::aes256, true, KdfSettings::aesKdf(10), 0, 16},
        {{4, 1}, KdbxCipher::chacha20, false, KdfSettings::argon2id(64, 1, 2), 1, 12},
        {{3, 1}, KdbxCipher::aes256, false, KdfSettings::aesKdf(6000), 1, 16},
        {{4, 7}, KdbxCipher::chacha20, true, KdfSettings::argon2d(32, 2, 1), 1, 12},
        {{5, 0}, KdbxCipher::aes256, true, KdfSettings::aesKdf(1), 1, 16},
    };
    for (const auto& c : cases) {
        const std::string note = std::to_string(c.version.major) + "." + std::to_string(c.version.minor) +
                                 " " + std::string(rawValue(c.cipher));
        KdbxDatabase db = smallDatabase();
        db.formatVersion = c.version;
        db.cipher = c.cipher;
        db.compressed = c.compressed;
        db.kdf = c.kdf;
        const Bytes file = KdbxFile::save(db, smallKey);
        const KdbxHeader header = KdbxHeader::parse(file);
        EXPECT_EQ(header.major, 4) << note;
        EXPECT_EQ(header.minor, c.writtenMinor) << note;
        EXPECT_EQ(header.encryptionIV.size(), c.ivLength) << note;
        EXPECT_EQ(header.compressionFlags, c.compressed ? 1u : 0u) << note;
        EXPECT_FALSE(header.comment || header.publicCustomData || header.transformSeed) << note;
        EXPECT_EQ(db.formatVersion, c.version) << "the caller's database is not changed";

        const KdbxDatabase loaded = KdbxFile::load(file, smallKey);
        EXPECT_EQ(loaded.cipher, c.cipher) << note;
        EXPECT_EQ(loaded.compressed, c.compressed) << note;
        EXPECT_EQ(loaded.kdf, c.kdf) << note;
        EXPECT_EQ(loaded.formatVersion, (KdbxFormatVersion{4, c.writtenMinor})) << note;
        EXPECT_EQ(loaded.meta, db.meta) << note;
        ASSERT_EQ(loaded.root.entries.size(), 1u) << note;
        EXPECT_EQ(loaded.root.entries[0].username, "yönetici") << note;
        EXPECT_TRUE(loaded.root.entries[0].password == db.root.entries[0].password) << note;
        EXPECT_TRUE(loaded.root == db.root) << note;
    }
}

TEST(KdbxFile, EverySaveIsAFreshEncryption) {
    const KdbxDatabase db = smallDatabase();
    const Bytes a = KdbxFile::save(db, smallKey);
    const Bytes b = KdbxFile::save(db, smallKey);
    const KdbxHeader ha = KdbxHeader::parse(a);
    const KdbxHeader hb = KdbxHeader::parse(b);
    EXPECT_NE(ha.masterSeed, hb.masterSeed);
    EXPECT_NE(ha.encryptionIV, hb.encryptionIV);
    EXPECT_NE(ha.kdfParameters->get("S")->asData(), hb.kdfParameters->get("S")->asData());
    EXPECT_TRUE(KdbxFile::load(a, smallKey).root == KdbxFile::load(b, smallKey).root);
}

TEST(KdbxFile, SavingWithoutCredentialsFails) {
    EXPECT_EQ(thrownKdbxError([] { KdbxFile::save(smallDatabase(), KdbxKey()); }),
              KdbxError::invalidCredentials());
}

namespace {

const std::string plainDocument =
    "<KeePassFile><Meta><Generator>G</Generator></Meta><Root><Group><Name>Kök</Name>"
    "<Entry><String><Key>Title</Key><Value>T</Value></String></Entry></Group></Root></KeePassFile>";

// A version 3 file made with the engine's pieces: AES-KDF, AES-256-CBC, gzip, hashed blocks.
Bytes version3File(const std::string& xml, std::optional<std::uint32_t> innerStreamID) {
    KdbxHeader header;
    header.major = 3;
    header.minor = 1;
    header.masterSeed = Bytes(32, 1);
    header.transformSeed = Bytes(32, 2);
    header.transformRounds = 10;
    header.encryptionIV = Bytes(16, 3);
    header.innerRandomStreamKey = Bytes(32, 4);
    header.streamStartBytes = Bytes(32, 5);
    header.innerRandomStreamID = innerStreamID;
    Bytes file = header.serialize();
    if (!innerStreamID) {
        // The writer always stores an identifier; take its field (10, 2 bytes of length, 4 bytes) out.
        const Bytes field = {10, 4, 0};
        const auto at = std::search(file.begin(), file.end(), field.begin(), field.end());
        file.erase(at, at + 7);
    }
    const Bytes compressed = Gzip::compress(Bytes(xml.begin(), xml.end()));
    Bytes plain = *header.streamStartBytes;
    const Bytes blocks = testsupport::writeHashedBlocks(compressed, 1024);
    plain.insert(plain.end(), blocks.begin(), blocks.end());
    const KdbxKeys::DerivedKeys keys = KdbxKeys::derive(KdbxKeys::compositeKey(smallKey), header);
    const Bytes encrypted = AESReference::cbcEncrypt(plain, keys.master, header.encryptionIV);
    file.insert(file.end(), encrypted.begin(), encrypted.end());
    return file;
}

// The document with `hash` as the header hash of its Meta.
std::string headerHashed(const std::string& xml, const Bytes& hash) {
    std::string out = xml;
    const std::string generator = "<Generator>G</Generator>";
    out.insert(out.find(generator) + generator.size(),
               "<HeaderHash>" + Base64::encode(hash) + "</HeaderHash>");
    return out;
}

// A version 4 file whose inner header names `innerStreamID`.
Bytes version4File(const std::string& xml, std::uint32_t innerStreamID) {
    KdbxHeader header;
    header.masterSeed = Bytes(32, 1);
    header.encryptionIV = Bytes(16, 3);
    header.kdfParameters = KdbxHeader::kdfParametersFor(KdfSettings::aesKdf(10), Bytes(32, 2));
    const Bytes rawHeader = header.serialize();
    const KdbxKeys::DerivedKeys keys = KdbxKeys::derive(KdbxKeys::compositeKey(smallKey), header);
    KdbxInnerHeader inner;
    inner.streamID = innerStreamID;
    inner.streamKey = Bytes(64, 6);
    Bytes payload = inner.serialize();
    payload.insert(payload.end(), xml.begin(), xml.end());
    const Bytes encrypted =
        AESReference::cbcEncrypt(Gzip::compress(payload), keys.master, header.encryptionIV);
    Bytes file = rawHeader;
    const Bytes hash = KdbxCrypto::sha256(rawHeader);
    const Bytes mac = KdbxCrypto::headerHMAC(rawHeader, *keys.hmac);
    const Bytes blocks = KdbxCrypto::writeHMACBlocks(encrypted, *keys.hmac, 1024);
    for (const Bytes* part : {&hash, &mac, &blocks}) file.insert(file.end(), part->begin(), part->end());
    return file;
}

}  // namespace

// The inner stream of a file: a version 3 header without one means Salsa20; an identifier this
// reader does not know is refused in either version, never replaced by a guess that would turn
// every protected value into garbage.
TEST(KdbxFile, InnerStreamIdentifiers) {
    const struct {
        const char* note;
        Bytes file;
        std::optional<std::string> error;
    } cases[] = {
        {"v3 without an identifier", version3File(plainDocument, std::nullopt), std::nullopt},
        {"v3 Salsa20", version3File(plainDocument, 2), std::nullopt},
        {"v3 unknown identifier", version3File(plainDocument, 5),
         "Desteklenmeyen şifreleme algoritması: inner stream 5"},
        {"v4 ChaCha20", version4File(plainDocument, 3), std::nullopt},
        {"v4 unknown identifier", version4File(plainDocument, 5),
         "Desteklenmeyen şifreleme algoritması: inner stream 5"},
    };
    for (const auto& c : cases) {
        try {
            const KdbxDatabase db = KdbxFile::load(c.file, smallKey);
            EXPECT_FALSE(c.error) << c.note;
            ASSERT_EQ(db.root.entries.size(), 1u) << c.note;
            EXPECT_EQ(db.root.entries[0].title, "T") << c.note;
        } catch (const std::exception& error) {
            EXPECT_EQ(std::optional<std::string>(error.what()), c.error) << c.note;
        }
    }
}

namespace {

constexpr int freshChildSucceeded = 23;

// Named after the process that writes them for its child.
std::string freshFilePath(const char* which, const std::string& writer) {
    return testing::TempDir() + "ombrix-fresh-" + writer + "-" + which + ".kdbx";
}

void writeFile(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.flush()) << path;
}

}  // namespace

// Run by MemoryThatRunsOutAsAProcessFirstLoadsBreaksNoLaterLoad in a process of its own, where
// the engine has not yet made any cipher or digest.
TEST(KdbxFile, FreshProcessLoadsChild) {
    const char* writer = std::getenv("OMBRIX_FRESH_LOAD_CHILD");
    if (!writer) GTEST_SKIP() << "run by MemoryThatRunsOutAsAProcessFirstLoadsBreaksNoLaterLoad";
    const Bytes v3 = readFile(freshFilePath("v3", writer));
    const Bytes v4 = readFile(freshFilePath("v4", writer));
    const Bytes gzipped = readFile(freshFilePath("v4z", writer));
    const std::string outOfMemory = std::bad_alloc().what();
    // The whole load runs on a thread of its own whose allocations, and those of the stage
    // threads it starts, fail from the one after `k`, for a growing k until the load succeeds:
    // a first look-up of every cipher and digest fails at every point it can. Nothing in between
    // may make them with memory to spare, so the loads with memory come last.
    bool loaded = false;
    for (int k = 0; !loaded; ++k) {
        if (k == 100000) std::_Exit(4);
        for (const Bytes* file : {&v3, &v4, &gzipped}) {
            std::string outcome;
            {
                allocationprobe::FailOnOtherThreads failing(
                    0, k, allocationprobe::FailOnOtherThreads::Scope::everyAllocator);
                std::thread([&] {
                    try {
                        KdbxFile::load(*file, smallKey);
                        outcome = "loaded";
                    } catch (const std::exception& error) {
                        outcome = error.what();
                    }
                }).join();
            }
            if (outcome != "loaded" && outcome != outOfMemory) {
                std::fprintf(stderr, "%s after %d allocations: %s\n",
                             file == &v3   ? "v3"
                             : file == &v4 ? "v4"
                                           : "v4 gzipped",
                             k, outcome.c_str());
                std::_Exit(1);
            }
            loaded = loaded || (outcome == "loaded" && file == &v4);
        }
    }
    for (const Bytes* file : {&v3, &v4, &gzipped}) {
        try {
            if (KdbxFile::load(*file, smallKey).root.entries.at(0).title != "T") std::_Exit(2);
        } catch (const std::exception& error) {
            std::fprintf(stderr, "a load with memory: %s\n", error.what());
            std::_Exit(3);
        }
    }
    std::_Exit(freshChildSucceeded);
}

// OpenSSL keeps what it made of an algorithm's implementations for the rest of the process, a
// half-made one too: a load that ran out of memory while the process first made its payload
// cipher used to leave every later version 3 load reporting a wrong password.
TEST(KdbxFile, MemoryThatRunsOutAsAProcessFirstLoadsBreaksNoLaterLoad) {
    const std::string self = std::to_string(::getpid());
    writeFile(freshFilePath("v3", self), version3File(plainDocument, 2));
    writeFile(freshFilePath("v4", self), version4File(plainDocument, 3));
    // The same database gzipped: inflating it needs memory too.
    KdbxDatabase gzipped = KdbxFile::load(version4File(plainDocument, 3), smallKey);
    gzipped.compressed = true;
    writeFile(freshFilePath("v4z", self), KdbxFile::save(gzipped, smallKey));
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::setenv("OMBRIX_FRESH_LOAD_CHILD", self.c_str(), 1);
        const char* argv[] = {"/proc/self/exe", "--gtest_filter=KdbxFile.FreshProcessLoadsChild", nullptr};
        ::execv(argv[0], const_cast<char**>(argv));
        std::_Exit(5);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    std::remove(freshFilePath("v3", self).c_str());
    std::remove(freshFilePath("v4", self).c_str());
    std::remove(freshFilePath("v4z", self).c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), freshChildSucceeded);
}

namespace {

// An XML document of many entries whose titles do not compress well, so that its payload fills
// many blocks of 1024 bytes even gzipped.
std::string longDocument(int entries = 400, const std::string& firstEntry = "") {
    std::string xml =
        "<KeePassFile><Meta><Generator>G</Generator></Meta><Root><Group><Name>Kök</Name>" + firstEntry;
    std::uint32_t x = 2463534242u;
    for (int i = 0; i < entries; ++i) {
        std::string title;
        for (int c = 0; c < 48; ++c) {
            x ^= x << 13;
            x ^= x >> 17;
            x ^= x << 5;
            title += "0123456789abcdef"[x % 16];
        }
        xml += "<Entry><String><Key>Title</Key><Value>" + title + "</Value></String></Entry>";
    }
    return xml + "</Group></Root></KeePassFile>";
}

// The inner header (ChaCha20 inner stream) followed by the XML.
Bytes innerAndXML(const std::string& xml) {
    KdbxInnerHeader inner;
    inner.streamID = 3;
    inner.streamKey = Bytes(64, 6);
    Bytes payload = inner.serialize();
    payload.insert(payload.end(), xml.begin(), xml.end());
    return payload;
}

constexpr std::size_t testBlockSize = 1024;

// A version 4 file (AES-KDF, AES-256-CBC) whose encrypted payload is `body` as given: a gzip
// member when `compressed`, else the plain payload. `ivLength` is what the header stores.
Bytes sealedFile(const Bytes& body, bool compressed, std::size_t ivLength = 16) {
    KdbxHeader header;
    header.masterSeed = Bytes(32, 1);
    header.encryptionIV = Bytes(ivLength, 3);
    header.compressionFlags = compressed ? 1 : 0;
    header.kdfParameters = KdbxHeader::kdfParametersFor(KdfSettings::aesKdf(10), Bytes(32, 2));
    const Bytes rawHeader = header.serialize();
    const KdbxKeys::DerivedKeys keys = KdbxKeys::derive(KdbxKeys::compositeKey(smallKey), header);
    const Bytes encrypted = AESReference::cbcEncrypt(body, keys.master, Bytes(16, 3));
    Bytes file = rawHeader;
    const Bytes hash = KdbxCrypto::sha256(rawHeader);
    const Bytes mac = KdbxCrypto::headerHMAC(rawHeader, *keys.hmac);
    const Bytes blocks = KdbxCrypto::writeHMACBlocks(encrypted, *keys.hmac, testBlockSize);
    for (const Bytes* part : {&hash, &mac, &blocks}) file.insert(file.end(), part->begin(), part->end());
    return file;
}

// A byte inside the data of block `index` flipped: that block no longer verifies.
Bytes withBrokenBlock(Bytes file, std::size_t index) {
    const std::size_t blocksStart = KdbxHeader::parse(file).endOffset + 64;
    file.at(blocksStart + index * (36 + testBlockSize) + 36 + 10) ^= 0x01;
    return file;
}

// `plain` as the first protected value of a document whose inner stream is `id` with `key`.
std::string firstProtected(std::string_view plain, std::uint32_t id, const Bytes& key) {
    const auto stream = KdbxCrypto::makeInnerStream(id, key);
    return Base64::encode(
        stream->process(ByteView(reinterpret_cast<const std::uint8_t*>(plain.data()), plain.size())));
}

std::string document(const std::string& meta, const std::string& groupTimes, const std::string& entry,
                     const std::string& afterGroup) {
    return "<KeePassFile><Meta><Generator>G</Generator>" + meta +
           "</Meta><Root><Group><UUID>AAAAAAAAAAAAAAAAAAAAAQ==</UUID><Name>Kök</Name><Times>" + groupTimes +
           "</Times><Entry><UUID>AAAAAAAAAAAAAAAAAAAAAg==</UUID>" + entry +
           "<String><Key>Title</Key><Value>T</Value></String></Entry></Group>" + afterGroup +
           "</Root></KeePassFile>";
}

}  // namespace

// Loading runs its stages side by side; whichever stage notices a fault first in time, the load
// reports what reading the stages one after the other reports: the fault of the earliest stage
// (blocks and cipher, then gzip, then the inner header and XML), and within a stage the first.
//
// Each row runs with a document that fits the channels between the stages and with one many times
// larger, so that a stage that stops reading early must tell the stages before it: otherwise
// they wait forever for room to pass on the rest.
TEST(KdbxFile, AFaultIsReportedByTheEarliestStageThatMeetsIt) {
    for (const int entryCount : {400, 40000}) {
        SCOPED_TRACE(entryCount);
        const std::string xml = longDocument(entryCount);
        const std::string broken = "<KeePassFile><<" + xml.substr(13);
        std::string nested;
        for (std::size_t i = 0; i <= KdbxXMLNode::maxDepth; ++i) nested += "<a>";
        const std::string tooDeep = longDocument(entryCount, nested);
        const Bytes goodGzip = Gzip::compress(innerAndXML(xml));
        const Bytes brokenXMLGzip = Gzip::compress(innerAndXML(broken));
        Bytes badCRC = goodGzip;
        badCRC[badCRC.size() - 8] ^= 0x01;
        Bytes notGzip = goodGzip;
        notGzip[0] ^= 0x01;
        const Bytes unknownStreamGzip = [&] {
            KdbxInnerHeader inner;
            inner.streamID = 7;
            inner.streamKey = Bytes(64, 6);
            Bytes payload = inner.serialize();
            payload.insert(payload.end(), xml.begin(), xml.end());
            Bytes member = Gzip::compress(payload);
            member[member.size() - 8] ^= 0x01;
            return member;
        }();
        const std::uint32_t storedCRC = Gzip::crc32(innerAndXML(xml)) ^ 0x01;
        const std::uint32_t unknownStreamCRC = [&] {
            KdbxInnerHeader inner;
            inner.streamID = 7;
            inner.streamKey = Bytes(64, 6);
            Bytes payload = inner.serialize();
            payload.insert(payload.end(), xml.begin(), xml.end());
            return Gzip::crc32(payload);
        }();
        ASSERT_GT(goodGzip.size(), 12 * testBlockSize);  // the broken blocks below exist

        const std::string xmlFailure = KdbxError::xmlParseFailure("belge çözümlenemedi").description();
        const std::string block11 = KdbxError::blockHmacMismatch(11).description();
        const Bytes plainBroken = sealedFile(innerAndXML(broken), false);
        const Bytes cutFile(plainBroken.begin(), plainBroken.end() - 1500);
        // What reading the cut block stream on its own reports.
        const std::string cutFailure = [&] {
            const KdbxHeader header = KdbxHeader::parse(cutFile);
            const KdbxKeys::DerivedKeys keys = KdbxKeys::derive(KdbxKeys::compositeKey(smallKey), header);
            KdbxReader reader(
                Bytes(cutFile.begin() + static_cast<std::ptrdiff_t>(header.endOffset) + 64, cutFile.end()));
            const auto error = thrownKdbxError([&] { KdbxCrypto::readHMACBlocks(reader, *keys.hmac); });
            return error ? error->description() : std::string("no error");
        }();

        const std::string outOfMemory = std::bad_alloc().what();
        const struct {
            const char* note;
            Bytes file;
            std::string expected;
            // Every allocation on the stage threads fails from the one after this many on.
            std::optional<int> allocationsBeforeFailure = std::nullopt;
        } cases[] = {
            {"v4: no memory on the stage threads", sealedFile(goodGzip, true), outOfMemory, 0},
            {"v4: memory runs out on the stage threads after 30 allocations", sealedFile(goodGzip, true),
             outOfMemory, 30},
            {"v4: memory runs out on the stage threads after 200 allocations", sealedFile(goodGzip, true),
             outOfMemory, 200},
            {"v4 without gzip: memory runs out on the stage thread after 30 allocations",
             sealedFile(innerAndXML(xml), false), outOfMemory, 30},
            {"v3: no memory on the stage threads", version3File(xml, 2), outOfMemory, 0},
            {"v3: memory runs out on the stage threads after 30 allocations", version3File(xml, 2),
             outOfMemory, 30},
            {"XML ill-formed at its start, a late block broken",
             withBrokenBlock(sealedFile(brokenXMLGzip, true), 11), block11},
            {"the same without gzip", withBrokenBlock(plainBroken, 11), block11},
            {"XML ill-formed, the file cut in its last blocks", cutFile, cutFailure},
            {"XML ill-formed, nothing else wrong", sealedFile(brokenXMLGzip, true), xmlFailure},
            {"sound XML, the gzip trailer's CRC wrong", sealedFile(badCRC, true),
             Gzip::Error::crcMismatch(storedCRC, storedCRC ^ 0x01).description()},
            {"unknown inner stream, the gzip trailer's CRC wrong", sealedFile(unknownStreamGzip, true),
             Gzip::Error::crcMismatch(unknownStreamCRC ^ 0x01, unknownStreamCRC).description()},
            {"not gzip, a late block broken", withBrokenBlock(sealedFile(notGzip, true), 11), block11},
            {"not gzip, nothing else wrong", sealedFile(notGzip, true), Gzip::Error::notGzip().description()},
            {"IV of the wrong length, a late block broken",
             withBrokenBlock(sealedFile(goodGzip, true, 12), 11), block11},
            {"IV of the wrong length, nothing else wrong", sealedFile(goodGzip, true, 12),
             KdbxError::corruptedData("AES IV 16 bayt olmalı").description()},
            {"elements deeper than the limit at the start, the rest sound",
             sealedFile(Gzip::compress(innerAndXML(tooDeep)), true), xmlFailure},
            {"the same without gzip", sealedFile(innerAndXML(tooDeep), false), xmlFailure},
            {"v3: XML ill-formed at its start", version3File(broken, 2), xmlFailure},
            {"v3: elements deeper than the limit at the start", version3File(tooDeep, 2), xmlFailure},
            {"v3: the XML's header hash wrong", version3File(headerHashed(xml, Bytes(32, 9)), 2),
             KdbxError::headerHashMismatch().description()},
        };
        for (const auto& c : cases) {
            std::optional<allocationprobe::FailOnOtherThreads> failing;
            if (c.allocationsBeforeFailure) {
                failing.emplace(0, *c.allocationsBeforeFailure,
                                allocationprobe::FailOnOtherThreads::Scope::everyAllocator);
            }
            try {
                KdbxFile::load(c.file, smallKey);
                ADD_FAILURE() << c.note << ": loaded";
            } catch (const std::exception& error) {
                EXPECT_EQ(std::string(error.what()), c.expected) << c.note;
            }
        }
        // And the sound files of many blocks load, with and without gzip, in either version.
        for (const Bytes& file :
             {sealedFile(goodGzip, true), sealedFile(innerAndXML(xml), false), version3File(xml, 2)}) {
            const KdbxDatabase db = KdbxFile::load(file, smallKey);
            EXPECT_EQ(db.root.entries.size(), static_cast<std::size_t>(entryCount));
        }
    }
}

// What the model holds no field for comes back from every save as it was read: a file is loaded,
// saved, loaded and saved again, and both saved documents hold the kept elements unchanged (in
// the form of the version written) and nothing of the lost forms.
TEST(KdbxFile, KeptElementsSurviveEverySave) {
    const std::string iso = "2000-01-01T00:00:00Z";
    // The same instant in the version 4 form.
    const std::string v4 = "gDr/rw4AAAA=";
    const struct {
        const char* note;
        Bytes file;
        std::vector<std::string> present;
        std::vector<std::string> absent;
    } cases[] = {
        {"v4 protected attachment of a Meta pool keeps its bytes",
         version4File(document("<Binaries><Binary ID=\"0\" Protected=\"True\">" +
                                   firstProtected("ABC", 3, Bytes(64, 6)) + "</Binary></Binaries>",
                               "", "", ""),
                      3),
         {"<Binaries><Binary ID=\"0\" Protected=\"True\">QUJD</Binary></Binaries>"},
         {"UVVKRA=="}},
        {"same-named unknown children of Times and AutoType all stay, in order",
         version4File(document("", "<G>1</G><G>2</G>",
                               "<Times><E>1</E><E>2</E></Times><AutoType><A>1</A><A>2</A></AutoType>", ""),
                      3),
         {"<G>1</G><G>2</G></Times>", "<E>1</E><E>2</E></Times>", "<A>1</A><A>2</A></AutoType>"},
         {}},
        {"v3 kept dates take the v4 form",
         version3File(document("<DatabaseNameChanged>" + iso +
                                   "</DatabaseNameChanged><CustomData><Item>"
                                   "<Key>k</Key><Value>v</Value><LastModificationTime>" +
                                   iso + "</LastModificationTime></Item></CustomData>",
                               "<LocationChanged>" + iso + "</LocationChanged>", "",
                               "<DeletedObjects><DeletedObject><UUID>AAAAAAAAAAAAAAAAAAAAAw==</UUID>"
                               "<DeletionTime>" +
                                   iso + "</DeletionTime></DeletedObject></DeletedObjects>"),
                      2),
         {"<DatabaseNameChanged>" + v4 + "</DatabaseNameChanged>",
          "<LastModificationTime>" + v4 + "</LastModificationTime></Item>",
          "<LocationChanged>" + v4 + "</LocationChanged>", "<DeletionTime>" + v4 + "</DeletionTime>"},
         {iso}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.note);
        const Bytes first = KdbxFile::save(KdbxFile::load(c.file, smallKey), smallKey);
        const Bytes second = KdbxFile::save(KdbxFile::load(first, smallKey), smallKey);
        for (const Bytes* saved : {&first, &second}) {
            const std::string xml = open(*saved, smallKey).plainXML;
            ASSERT_FALSE(xml.empty());
            for (const std::string& text : c.present) EXPECT_NE(xml.find(text), std::string::npos) << text;
            for (const std::string& text : c.absent) EXPECT_EQ(xml.find(text), std::string::npos) << text;
        }
    }
}

namespace {

// A database whose XML spans several pieces of the gzip compressor.
KdbxDatabase largeDatabase() {
    KdbxDatabase db = smallDatabase();
    KdbxEntry entry = db.root.entries[0];
    for (int i = 0; i < 3000; ++i) {
        entry.id = UUID::random();
        entry.notes = std::string(1000, static_cast<char>('a' + i % 26)) + std::to_string(i);
        db.root.entries.push_back(entry);
    }
    return db;
}

}  // namespace

// Saving compresses on threads of its own: memory they cannot have fails the save as an ordinary
// error the caller catches (no bytes), never the program, and the next save succeeds.
TEST(KdbxFile, AnAllocationThatFailsOnAGzipThreadFailsTheSave) {
    using Scope = allocationprobe::FailOnOtherThreads::Scope;
    const KdbxDatabase db = largeDatabase();
    const struct {
        const char* note;
        std::size_t minimum;
        int spared;
        Scope scope;
        // Whether an allocation is sure to fail. How many a save makes on the pool's threads
        // depends on what those threads already hold: the first two rows are sure to fail only
        // while they hold nothing yet, as when this test runs in a process of its own.
        bool sure;
    } cases[] = {
        // A thread's first piece: its deflater cannot be made, then zlib cannot set it up.
        {"no memory at all", 0, 0, Scope::everyAllocator, false},
        {"memory runs out after the first allocation", 0, 1, Scope::everyAllocator, false},
        // Every save gives its first piece fresh room for its output.
        {"large blocks of operator new", 64 * 1024, 0, Scope::operatorNew, true},
    };
    for (const auto& c : cases) {
        {
            allocationprobe::FailOnOtherThreads failing(c.minimum, c.spared, c.scope);
            std::string outcome = "saved";
            try {
                KdbxFile::save(db, smallKey);
            } catch (const std::exception& error) {
                outcome = error.what();
            }
            if (c.sure) {
                EXPECT_GT(failing.failures(), 0) << c.note;
            }
            // Any allocation that failed fails the save as running out of memory, and only then.
            EXPECT_EQ(outcome, failing.failures() > 0 ? std::bad_alloc().what() : "saved") << c.note;
        }
        const KdbxDatabase again = KdbxFile::load(KdbxFile::save(db, smallKey), smallKey);
        EXPECT_EQ(again.root.entries.size(), db.root.entries.size()) << c.note;
    }
    // And a version 3 file after them.
    EXPECT_EQ(KdbxFile::load(version3File(plainDocument, 2), smallKey).root.entries.size(), 1u);
}

// A save holds the file's bytes and little beside them: a large attachment is decoded, compressed
// and encrypted a piece at a time, never standing whole beside the bytes of the file, and the
// file's bytes are made room for once instead of by doubling.
TEST(KdbxFile, SavingALargeAttachmentHoldsLittleBesideTheFile) {
    std::uint32_t x = 2463534242u;
    Bytes attachment(20'000'000);
    for (std::uint8_t& byte : attachment) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        byte = static_cast<std::uint8_t>(x);
    }
    std::string binaries = "<" + std::string(KdbxPreserve::binaries) + "><Binary Flags=\"0\">";
    Base64::appendEncoded(binaries, attachment);
    binaries += "</Binary></" + std::string(KdbxPreserve::binaries) + ">";
    KdbxDatabase db = smallDatabase();
    db.root.unknownXML = {binaries};
    std::string().swap(binaries);
    for (const bool compressed : {false, true}) {
        db.compressed = compressed;
        std::size_t peak = 0;
        Bytes saved;
        {
            allocationprobe::PeakMeter meter;
            saved = KdbxFile::save(db, smallKey);
            peak = meter.peak();
        }
        EXPECT_LE(peak, saved.size() + (std::size_t{16} << 20)) << (compressed ? "gzip" : "plain");
        const std::vector<KdbxInnerHeader::Binary> kept =
            KdbxXML::preservedBinaries(KdbxFile::load(saved, smallKey).root);
        ASSERT_EQ(kept.size(), 1u);
        EXPECT_TRUE(kept[0].data == attachment) << (compressed ? "gzip" : "plain");
    }
}

// A file that is refused costs about what it takes to read it, never a second copy of the file
// or of what it inflates to.
TEST(KdbxFile, RefusingAFileHoldsLittleBesideIt) {
    constexpr std::size_t size = std::size_t{64} << 20;
    const std::string zeros(size, '\0');
    const std::string xmlFailure = KdbxError::xmlParseFailure("belge çözümlenemedi").description();
    const struct {
        const char* note;
        Bytes file;
        std::string expected;
    } cases[] = {
        {"64 MiB that are not a database", Bytes(size, 0xA5), KdbxError::notAKdbxFile().description()},
        {"v3: gzip member inflating to 64 MiB of zeros", version3File(zeros, 2), xmlFailure},
        {"v4: gzip member inflating to 64 MiB of zeros", sealedFile(Gzip::compress(innerAndXML(zeros)), true),
         xmlFailure},
    };
    for (const auto& c : cases) {
        allocationprobe::PeakMeter meter;
        try {
            KdbxFile::load(c.file, smallKey);
            ADD_FAILURE() << c.note << ": loaded";
        } catch (const std::exception& error) {
            EXPECT_EQ(std::string(error.what()), c.expected) << c.note;
        }
        EXPECT_LT(meter.peak(), std::size_t{16} << 20) << c.note;
    }
}
