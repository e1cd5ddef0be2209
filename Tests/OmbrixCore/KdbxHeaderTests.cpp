#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "KdbxErrorTesting.h"
#include "OmbrixCore/Kdbx/KdbxHeader.h"
#include "Support/Fixtures.h"

using testsupport::fromHex;
using testsupport::toHex;

namespace {

struct Field {
    std::uint8_t id;
    std::string hex;
};

const std::string seed32 = std::string(64, '5');
const std::string argon2idParameters =
    "0001 42 05000000 2455554944 10000000 9E298B1956DB4773B23DFC3EC6F0A1E6 00";

// A header in the file's layout: signatures, version, then fields with 2-byte lengths for
// version 3 and 4-byte lengths otherwise. The fields are written as given (no end field added).
Bytes headerBytes(std::uint16_t major, std::uint16_t minor, const std::vector<Field>& fields) {
    Bytes out = fromHex("03D9A29A 67FB4BB5");
    out.push_back(static_cast<std::uint8_t>(minor));
    out.push_back(static_cast<std::uint8_t>(minor >> 8));
    out.push_back(static_cast<std::uint8_t>(major));
    out.push_back(static_cast<std::uint8_t>(major >> 8));
    for (const Field& f : fields) {
        const Bytes data = fromHex(f.hex);
        out.push_back(f.id);
        const std::size_t width = major == 3 ? 2 : 4;
        for (std::size_t i = 0; i < width; ++i)
            out.push_back(static_cast<std::uint8_t>(data.size() >> (8 * i)));
        out.insert(out.end(), data.begin(), data.end());
    }
    return out;
}

std::vector<Field> minimalV4(std::vector<Field> extra = {}) {
    std::vector<Field> fields = {{4, seed32}, {11, argon2idParameters}};
    fields.insert(fields.end(), extra.begin(), extra.end());
    fields.push_back({0, "0D0A0D0A"});
    return fields;
}

std::vector<Field> minimalV3(std::vector<Field> extra = {}) {
    std::vector<Field> fields = {{4, seed32}, {5, seed32}, {6, "7017000000000000"}, {8, seed32}, {9, seed32}};
    fields.insert(fields.end(), extra.begin(), extra.end());
    fields.push_back({0, "0D0A0D0A"});
    return fields;
}

KdbxHeader v4WithParameters(const VariantDictionary& parameters) {
    KdbxHeader header;
    header.kdfParameters = parameters;
    return header;
}

VariantDictionary argon2idWith(std::vector<std::pair<std::string, VariantValue>> entries) {
    VariantDictionary d;
    d.set("$UUID", VariantValue::bytes(KdbxUUIDs::kdfArgon2id.kdbxBytes()));
    for (auto& [key, value] : entries) d.set(key, value);
    return d;
}

}  // namespace

TEST(KdbxHeader, DefaultHeaderSerializesByteExact) {
    const Bytes expected = fromHex(
        "03 D9 A2 9A 67 FB 4B B5 01 00 04 00"
        "02 10 00 00 00 31 C1 F2 E6 BF 71 43 50 BE 58 05 21 6A FC 5A FF"
        "03 04 00 00 00 01 00 00 00"
        "04 00 00 00 00"
        "07 00 00 00 00"
        "00 04 00 00 00 0D 0A 0D 0A");
    ASSERT_EQ(expected.size(), 61u);
    EXPECT_EQ(toHex(KdbxHeader().serialize()), toHex(expected));

    KdbxHeader v3;
    v3.major = 3;
    EXPECT_EQ(toHex(v3.serialize()), toHex(fromHex("03D9A29A 67FB4BB5 0100 0300"
                                                   "02 1000 31C1F2E6BF714350BE5805216AFC5AFF"
                                                   "03 0400 01000000"
                                                   "04 0000"
                                                   "05 0000"
                                                   "06 0800 7017000000000000"
                                                   "07 0000"
                                                   "08 0000"
                                                   "09 0000"
                                                   "0A 0400 02000000"
                                                   "00 0400 0D0A0D0A")));
}

TEST(KdbxHeader, RoundTripsEveryWrittenField) {
    KdbxHeader v4;
    v4.minor = 0;
    v4.cipherUUID = KdbxUUIDs::chacha20;
    v4.compressionFlags = 0;
    v4.masterSeed = Bytes(32, 0xA5);
    v4.encryptionIV = Bytes(12, 0x3C);
    v4.kdfParameters = KdbxHeader::kdfParametersFor(KdfSettings::argon2d(1024, 3, 2), Bytes(32, 0x77));
    VariantDictionary custom;
    custom.set("plugin", VariantValue::string("değer"));
    v4.publicCustomData = custom;
    v4.comment = fromHex("CAFE");

    KdbxHeader v3;
    v3.major = 3;
    v3.masterSeed = Bytes(32, 0x11);
    v3.encryptionIV = Bytes(16, 0x22);
    v3.transformSeed = Bytes(32, 0x33);
    v3.transformRounds = 60000;
    v3.innerRandomStreamKey = Bytes(32, 0x44);
    v3.streamStartBytes = Bytes(32, 0x55);
    v3.innerRandomStreamID = 2;

    for (const KdbxHeader& written : {v4, v3}) {
        Bytes bytes = written.serialize();
        const std::size_t headerSize = bytes.size();
        bytes.push_back(0xEE);  // the payload behind the header is not read
        const KdbxHeader read = KdbxHeader::parse(bytes);
        EXPECT_EQ(read.major, written.major);
        EXPECT_EQ(read.minor, written.minor);
        EXPECT_EQ(read.cipherUUID, written.cipherUUID);
        EXPECT_EQ(read.compressionFlags, written.compressionFlags);
        EXPECT_EQ(read.masterSeed, written.masterSeed);
        EXPECT_EQ(read.encryptionIV, written.encryptionIV);
        EXPECT_EQ(read.kdfParameters, written.kdfParameters);
        EXPECT_EQ(read.publicCustomData, written.publicCustomData);
        EXPECT_EQ(read.transformSeed, written.transformSeed);
        EXPECT_EQ(read.transformRounds, written.transformRounds);
        EXPECT_EQ(read.streamStartBytes, written.streamStartBytes);
        EXPECT_EQ(read.innerRandomStreamKey, written.innerRandomStreamKey);
        EXPECT_EQ(read.innerRandomStreamID, written.innerRandomStreamID);
        EXPECT_EQ(read.comment, written.comment);
        EXPECT_EQ(read.endOffset, headerSize);
        EXPECT_EQ(read.rawData, Bytes(bytes.begin(), bytes.begin() + static_cast<long>(headerSize)));
    }
}

TEST(KdbxHeader, ParseFailures) {
    Bytes elevenBytes = headerBytes(4, 1, {});
    elevenBytes.pop_back();
    struct Case {
        Bytes input;
        KdbxError expected;
        const char* note;
    };
    const std::vector<Case> cases = {
        {elevenBytes, KdbxError::notAKdbxFile(), "11 bytes with the right signatures"},
        {fromHex("03D9A29A 67FB4BB6 01000400 00"), KdbxError::notAKdbxFile(), "second signature wrong"},
        {fromHex("04D9A29A 67FB4BB5 01000400 00"), KdbxError::notAKdbxFile(), "first signature wrong"},
        {headerBytes(4, 1, {}), shortRead(1, 0), "nothing after the version"},
        {headerBytes(4, 2, minimalV4()), KdbxError::unsupportedVersion(4, 2), "4.2"},
        {headerBytes(5, 0, minimalV4()), KdbxError::unsupportedVersion(5, 0), "5.0"},
        {headerBytes(2, 1, minimalV4()), KdbxError::unsupportedVersion(2, 1), "2.1"},
        {fromHex("03D9A29A 67FB4BB5 01000400 04 20000000 AABBCC"), shortRead(32, 3),
         "field data runs past the end"},
        {fromHex("03D9A29A 67FB4BB5 01000400 C8 FFFFFFFF"), shortRead(4294967295, 0),
         "4 GiB length of an unknown field"},
        {fromHex("03D9A29A 67FB4BB5 01000400 04 2000"), shortRead(4, 2), "length cut short"},
        {headerBytes(4, 1, {{4, seed32}}), shortRead(1, 0), "no end field"},
        {headerBytes(4, 1, minimalV4({{2, std::string(30, '0')}})),
         KdbxError::corruptedData("CipherID 16 bayt değil"), "15-byte cipher id"},
        {headerBytes(4, 1, minimalV4({{3, "02000000"}})),
         KdbxError::corruptedData("bilinmeyen sıkıştırma bayrağı 2"), "compression flag 2"},
        {headerBytes(4, 1, {{4, std::string(62, '5')}, {11, argon2idParameters}, {0, ""}}),
         KdbxError::corruptedData("MasterSeed 32 bayt olmalı"), "31-byte master seed"},
        {headerBytes(4, 1, {{0, ""}}), KdbxError::corruptedData("MasterSeed 32 bayt olmalı"),
         "no master seed, checked before the version's fields"},
        {headerBytes(4, 1, {{4, seed32}, {0, ""}}),
         KdbxError::corruptedData("KDBX 4 başlığında KdfParameters yok"), "version 4 without KDF parameters"},
        {headerBytes(3, 1, {{4, seed32}, {6, "00"}, {8, ""}, {9, ""}, {0, ""}}),
         KdbxError::corruptedData("KDBX 3 başlığında zorunlu alanlar eksik"),
         "version 3 without transform seed"},
        {headerBytes(4, 1, minimalV4({{11, "0002 00"}})),
         KdbxError::corruptedData("desteklenmeyen VariantDictionary sürümü 200"), "bad KDF parameters"},
        {headerBytes(4, 1, minimalV4({{12, "0001"}})), shortRead(1, 0),
         "public custom data without terminator"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(thrownKdbxError([&] { KdbxHeader::parse(c.input); }), c.expected) << c.note;
    }
}

TEST(KdbxHeader, ParseAcceptsWhatTheFormatAllows) {
    EXPECT_EQ(KdbxHeader::parse(headerBytes(3, 0, minimalV3())).minor, 0);
    EXPECT_EQ(KdbxHeader::parse(headerBytes(3, 7, minimalV3())).minor, 7);
    EXPECT_EQ(KdbxHeader::parse(headerBytes(4, 0, minimalV4())).minor, 0);

    const KdbxHeader skipped = KdbxHeader::parse(headerBytes(4, 1, minimalV4({{200, "010203"}, {13, "04"}})));
    EXPECT_EQ(skipped.masterSeed, fromHex(seed32));

    EXPECT_FALSE(KdbxHeader::parse(headerBytes(4, 1, minimalV4({{3, "0000"}}))).compressed());
    EXPECT_EQ(KdbxHeader::parse(headerBytes(4, 1, minimalV4({{3, "01000000FF"}}))).compressionFlags, 1u);

    const KdbxHeader shortRounds = KdbxHeader::parse(headerBytes(3, 1, minimalV3({{6, "FFFFFF"}})));
    EXPECT_EQ(shortRounds.transformRounds, 0u);
    EXPECT_FALSE(shortRounds.innerRandomStreamID.has_value()) << "field 10 is not required";

    const std::string otherSeed(64, '7');
    EXPECT_EQ(KdbxHeader::parse(headerBytes(4, 1, minimalV4({{4, otherSeed}}))).masterSeed,
              fromHex(otherSeed))
        << "a repeated field replaces the earlier one";

    const KdbxHeader noCipher = KdbxHeader::parse(headerBytes(4, 1, minimalV4()));
    EXPECT_EQ(noCipher.cipherUUID, KdbxUUIDs::aes256);
    EXPECT_EQ(noCipher.compressionFlags, 1u);
    EXPECT_TRUE(noCipher.isKdbx4());

    Bytes withPayload = headerBytes(4, 1, minimalV4());
    const std::size_t headerSize = withPayload.size();
    withPayload.insert(withPayload.end(), {0x42, 0x43});
    const KdbxHeader parsed = KdbxHeader::parse(withPayload);
    EXPECT_EQ(parsed.endOffset, headerSize);
    EXPECT_EQ(withPayload[parsed.endOffset], 0x42);
    EXPECT_EQ(toHex(Bytes(parsed.rawData.end() - 4, parsed.rawData.end())), "0d0a0d0a");
}

TEST(KdbxHeader, CipherMapping) {
    KdbxHeader header;
    EXPECT_EQ(header.cipher(), KdbxCipher::aes256);
    header.cipherUUID = KdbxUUIDs::chacha20;
    EXPECT_EQ(header.cipher(), KdbxCipher::chacha20);
    header.cipherUUID = KdbxUUIDs::twofish;
    EXPECT_EQ(thrownKdbxError([&] { (void)header.cipher(); }), KdbxError::unsupportedCipher("Twofish"));
    header.cipherUUID = UUID();
    EXPECT_EQ(thrownKdbxError([&] { (void)header.cipher(); }),
              KdbxError::unsupportedCipher("00000000-0000-0000-0000-000000000000"));
}

TEST(KdbxHeader, KdfSettingsFromParameters) {
    struct Case {
        KdbxHeader header;
        KdfSettings expected;
        const char* note;
    };
    KdbxHeader v3;
    v3.major = 3;
    v3.kdfParameters = argon2idWith({});
    KdbxHeader v3Rounds = v3;
    v3Rounds.transformRounds = 1234;
    VariantDictionary aesNoRounds;
    aesNoRounds.set("$UUID", VariantValue::bytes(KdbxUUIDs::kdfAes.kdbxBytes()));
    VariantDictionary aesRounds = aesNoRounds;
    aesRounds.set("R", VariantValue::uint64(5000));
    VariantDictionary argon2d;
    argon2d.set("$UUID", VariantValue::bytes(KdbxUUIDs::kdfArgon2d.kdbxBytes()));
    argon2d.set("M", VariantValue::uint64(524288));
    argon2d.set("I", VariantValue::uint64(3));
    argon2d.set("P", VariantValue::uint32(1));

    const std::vector<Case> cases = {
        {v4WithParameters(argon2idWith({{"M", VariantValue::uint64(268435456)},
                                        {"I", VariantValue::uint64(16)},
                                        {"P", VariantValue::uint32(4)}})),
         KdfSettings::argon2id(262144, 16, 4), "recommended setting"},
        {v4WithParameters(argon2idWith({{"M", VariantValue::uint64(1000)}})), KdfSettings::argon2id(8, 2, 2),
         "memory below 8 KiB"},
        {v4WithParameters(argon2idWith({{"M", VariantValue::uint64(10000)}})), KdfSettings::argon2id(9, 2, 2),
         "memory rounded down"},
        {v4WithParameters(argon2idWith({{"M", VariantValue::int64(-1)}})), KdfSettings::argon2id(65536, 2, 2),
         "negative memory takes the default"},
        {v4WithParameters(argon2idWith({{"P", VariantValue::uint64(4294967296)}})),
         KdfSettings::argon2id(65536, 2, 2), "parallelism beyond 32 bits takes the default"},
        {v4WithParameters(argon2d), KdfSettings::argon2d(512, 3, 1), "Argon2d"},
        {v4WithParameters(aesNoRounds), KdfSettings::aesKdf(6000), "AES-KDF without rounds"},
        {v4WithParameters(aesRounds), KdfSettings::aesKdf(5000), "AES-KDF with rounds"},
        {v3, KdfSettings::aesKdf(6000), "version 3 ignores KDF parameters"},
        {v3Rounds, KdfSettings::aesKdf(1234), "version 3 transform rounds"},
    };
    for (const Case& c : cases) EXPECT_EQ(c.header.kdfSettings(), c.expected) << c.note;
}

TEST(KdbxHeader, KdfSettingsFailures) {
    const KdbxError noUUID = KdbxError::unsupportedKdf("KdfParameters içinde $UUID yok");
    VariantDictionary textUUID, shortUUID, unknown;
    textUUID.set("$UUID", VariantValue::string("x"));
    shortUUID.set("$UUID", VariantValue::bytes(Bytes(15, 0)));
    unknown.set("$UUID", VariantValue::bytes(KdbxUUIDs::chacha20.kdbxBytes()));
    struct Case {
        KdbxHeader header;
        KdbxError expected;
        const char* note;
    };
    const std::vector<Case> cases = {
        {KdbxHeader(), noUUID, "no parameters"},
        {v4WithParameters(VariantDictionary()), noUUID, "empty parameters"},
        {v4WithParameters(textUUID), noUUID, "identifier as text"},
        {v4WithParameters(shortUUID), noUUID, "15-byte identifier"},
        {v4WithParameters(unknown), KdbxError::unsupportedKdf("D6038A2B-8B6F-4CB5-A524-339A31DBB59A"),
         "unknown identifier"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(thrownKdbxError([&] { (void)c.header.kdfSettings(); }), c.expected) << c.note;
    }
}

TEST(KdbxHeader, KdfParametersFor) {
    const Bytes salt(32, 0x5A);
    const VariantDictionary argon = KdbxHeader::kdfParametersFor(KdfSettings::argon2id(262144, 16, 4), salt);
    EXPECT_EQ(argon.keys(), (std::vector<std::string>{"$UUID", "S", "P", "M", "I", "V"}));
    EXPECT_EQ(argon.get("M"), VariantValue::uint64(268435456));
    EXPECT_EQ(argon.get("V"), VariantValue::uint32(19));
    EXPECT_EQ(v4WithParameters(argon).kdfSettings(), KdfSettings::argon2id(262144, 16, 4));

    const VariantDictionary aes = KdbxHeader::kdfParametersFor(KdfSettings::aesKdf(60000), salt);
    EXPECT_EQ(aes.keys(), (std::vector<std::string>{"$UUID", "R", "S"}));
    EXPECT_EQ(aes.get("R"), VariantValue::uint64(60000));
    EXPECT_EQ(aes.get("$UUID"), VariantValue::bytes(KdbxUUIDs::kdfAes.kdbxBytes()));

    // A memory size that does not fit in 64 bits as bytes is refused, not wrapped.
    const KdfSettings huge = KdfSettings::argon2d(std::uint64_t{1} << 54, 1, 1);
    EXPECT_EQ(thrownKdbxError([&] { KdbxHeader::kdfParametersFor(huge, salt); }),
              KdbxError::unsupportedKdf("Argon2 bellek boyutu 64 bite sığmıyor"));
}

TEST(KdbxHeader, SerializeRefusesAFieldTooLongForVersion3) {
    KdbxHeader v3;
    v3.major = 3;
    v3.comment = Bytes(65536, 0);
    EXPECT_EQ(thrownKdbxError([&] { v3.serialize(); }),
              KdbxError::corruptedData("başlık alanı sürümün uzunluk sınırını aşıyor"));
    v3.comment = Bytes(65535, 0);
    EXPECT_FALSE(thrownKdbxError([&] { v3.serialize(); }).has_value());
}

TEST(KdbxUUIDs, Constants) {
    EXPECT_EQ(UUID::fromKdbxBytes(fromHex("31C1F2E6BF714350BE5805216AFC5AFF")), KdbxUUIDs::aes256);
    EXPECT_EQ(KdbxUUIDs::chacha20.uuidString(), "D6038A2B-8B6F-4CB5-A524-339A31DBB59A");
    EXPECT_EQ(KdbxUUIDs::twofish.uuidString(), "AD68F29F-576F-4BB9-A36A-D47AF965346C");
    EXPECT_EQ(KdbxUUIDs::kdfAes.uuidString(), "C9D9F39A-628A-4460-BF74-0D08C18A4FEA");
    EXPECT_EQ(KdbxUUIDs::kdfArgon2d.uuidString(), "EF636DDF-8C29-444B-91F7-A9A403E30A0C");
    EXPECT_EQ(KdbxUUIDs::kdfArgon2id.uuidString(), "9E298B19-56DB-4773-B23D-FC3EC6F0A1E6");
    EXPECT_EQ(KdbxHeader::fieldID(12), KdbxHeader::FieldID::publicCustomData);
    EXPECT_FALSE(KdbxHeader::fieldID(13).has_value());
}
