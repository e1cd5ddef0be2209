#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "KdbxErrorTesting.h"
#include "OmbrixCore/Kdbx/KdbxHeader.h"
#include "OmbrixCore/Kdbx/VariantDictionary.h"
#include "Support/Fixtures.h"

using testsupport::fromHex;
using testsupport::toHex;

namespace {

Bytes salt32() {
    Bytes salt;
    for (int i = 0; i < 32; ++i) salt.push_back(static_cast<std::uint8_t>(i));
    return salt;
}

}  // namespace

TEST(VariantDictionary, SerializesArgon2ParametersByteExact) {
    const VariantDictionary parameters =
        KdbxHeader::kdfParametersFor(KdfSettings::argon2id(262144, 16, 4), salt32());
    const Bytes expected = fromHex(
        "00 01"
        "42 05000000 2455554944 10000000 9E298B1956DB4773B23DFC3EC6F0A1E6"
        "42 01000000 53 20000000" +
        toHex(salt32()) +
        "04 01000000 50 04000000 04000000"
        "05 01000000 4D 08000000 0000001000000000"
        "05 01000000 49 08000000 1000000000000000"
        "04 01000000 56 04000000 13000000"
        "00");
    ASSERT_EQ(expected.size(), 139u);
    EXPECT_EQ(toHex(parameters.serialize()), toHex(expected));
    EXPECT_EQ(VariantDictionary::parse(expected), parameters);
}

TEST(VariantDictionary, ParsesEveryValueType) {
    const Bytes data = fromHex(
        "0001"
        "04 01000000 61 04000000 04000000"          // a: uint32 4
        "05 01000000 62 08000000 FFFFFFFFFFFFFFFF"  // b: uint64 max
        "08 01000000 63 01000000 02"                // c: bool, any non-zero byte is true
        "0C 01000000 64 04000000 FFFFFFFF"          // d: int32 -1
        "0D 01000000 65 08000000 FEFFFFFFFFFFFFFF"  // e: int64 -2
        "18 01000000 66 03000000 C3A7FF"            // f: string with an ill-formed byte
        "42 01000000 67 00000000"                   // g: empty bytes
        "00 DEADBEEF");                             // bytes after the terminator are not read
    const VariantDictionary d = VariantDictionary::parse(data);
    EXPECT_EQ(d.keys(), (std::vector<std::string>{"a", "b", "c", "d", "e", "f", "g"}));
    EXPECT_EQ(d.get("a"), VariantValue::uint32(4));
    EXPECT_EQ(d.get("b"), VariantValue::uint64(UINT64_MAX));
    EXPECT_EQ(d.get("c"), VariantValue::boolean(true));
    EXPECT_EQ(d.get("d"), VariantValue::int32(-1));
    EXPECT_EQ(d.get("e"), VariantValue::int64(-2));
    EXPECT_EQ(d.get("f"), VariantValue::string("\xC3\xA7\xEF\xBF\xBD"));
    EXPECT_EQ(d.get("g"), VariantValue::bytes({}));
    EXPECT_FALSE(d.get("h").has_value());
    EXPECT_EQ(VariantValue::boolean(true).payload(), Bytes{0x01}) << "true is written back as 01";

    const VariantDictionary again = VariantDictionary::parse(d.serialize());
    EXPECT_EQ(again, d);
}

TEST(VariantDictionary, AcceptedVersionsAndEdgeInputs) {
    EXPECT_TRUE(VariantDictionary::parse(fromHex("000100")).isEmpty());
    EXPECT_TRUE(VariantDictionary::parse(fromHex("010100")).isEmpty()) << "0x0101";
    EXPECT_TRUE(VariantDictionary::parse(fromHex("FF0100")).isEmpty()) << "0x01FF";

    const VariantDictionary duplicate = VariantDictionary::parse(
        fromHex("0001 05 01000000 4D 08000000 0100000000000000 04 01000000 50 04000000 01000000"
                "05 01000000 4D 08000000 0200000000000000 00"));
    EXPECT_EQ(duplicate.keys(), (std::vector<std::string>{"M", "P"}));
    EXPECT_EQ(duplicate.get("M"), VariantValue::uint64(2));

    const VariantDictionary badKey = VariantDictionary::parse(fromHex("0001 42 01000000 FF 00000000 00"));
    EXPECT_EQ(badKey.keys(), (std::vector<std::string>{"\xEF\xBF\xBD"}));
}

TEST(VariantDictionary, HostileOrBrokenInputFailsWithItsText) {
    struct Case {
        const char* hex;
        KdbxError expected;
    };
    const std::vector<Case> cases = {
        {"", shortRead(2, 0)},
        {"0002 00", KdbxError::corruptedData("desteklenmeyen VariantDictionary sürümü 200")},
        {"0000 00", KdbxError::corruptedData("desteklenmeyen VariantDictionary sürümü 0")},
        {"0001", shortRead(1, 0)},
        {"0001 04 FFFFFFFF", KdbxError::corruptedData("VariantDictionary anahtar uzunluğu negatif")},
        {"0001 04 01000000 50 FFFFFFFF",
         KdbxError::corruptedData("VariantDictionary değer uzunluğu negatif")},
        {"0001 04 FFFFFF7F", shortRead(2147483647, 0)},
        {"0001 42 01000000 53 FFFFFF7F 00", shortRead(2147483647, 1)},
        {"0001 04 01000000 50 03000000 040000 00", KdbxError::corruptedData("UInt32 alanı 4 bayt değil")},
        {"0001 05 01000000 4D 04000000 00000000 00", KdbxError::corruptedData("UInt64 alanı 8 bayt değil")},
        {"0001 08 01000000 42 02000000 0000 00", KdbxError::corruptedData("Bool alanı 1 bayt değil")},
        {"0001 0C 01000000 49 00000000 00", KdbxError::corruptedData("Int32 alanı 4 bayt değil")},
        {"0001 0D 01000000 4A 09000000 000000000000000000 00",
         KdbxError::corruptedData("Int64 alanı 8 bayt değil")},
        {"0001 4A 01000000 58 01000000 00 00",
         KdbxError::corruptedData("bilinmeyen VariantDictionary tipi 0x4a")},
        {"0001 01 01000000 58 00000000 00",
         KdbxError::corruptedData("bilinmeyen VariantDictionary tipi 0x1")},
        {"0001 4A 01000000 58 05000000 00", shortRead(5, 1)},
        {"0001 04 01000000 50 04000000 04000000", shortRead(1, 0)},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(thrownKdbxError([&] { VariantDictionary::parse(fromHex(c.hex)); }), c.expected) << c.hex;
    }
}

TEST(VariantDictionary, KeysKeepInsertionOrder) {
    VariantDictionary d;
    d.set("a", VariantValue::uint32(1));
    d.set("b", VariantValue::uint32(2));
    d.set("c", VariantValue::uint32(3));
    d.set("b", VariantValue::string("again"));
    EXPECT_EQ(d.keys(), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(d.get("b"), VariantValue::string("again"));
    d.remove("a");
    EXPECT_EQ(d.keys(), (std::vector<std::string>{"b", "c"}));
    d.set("a", VariantValue::uint32(1));
    EXPECT_EQ(d.keys(), (std::vector<std::string>{"b", "c", "a"}));

    const VariantDictionary before = d;
    d.remove("missing");
    EXPECT_EQ(d, before);
}

TEST(VariantDictionary, EqualityDependsOnOrder) {
    VariantDictionary xy, yx;
    xy.set("x", VariantValue::uint32(1));
    xy.set("y", VariantValue::uint32(2));
    yx.set("y", VariantValue::uint32(2));
    yx.set("x", VariantValue::uint32(1));
    EXPECT_NE(xy, yx);
    EXPECT_EQ(VariantDictionary::parse(xy.serialize()), xy);
    EXPECT_EQ(VariantDictionary::parse(yx.serialize()), yx);
    EXPECT_EQ(VariantDictionary().serialize(), fromHex("000100"));
}

TEST(VariantValue, TypedGetters) {
    EXPECT_EQ(VariantValue::uint64(4294967295u).asUInt32(), 4294967295u);
    EXPECT_FALSE(VariantValue::uint64(4294967296u).asUInt32().has_value());
    EXPECT_EQ(VariantValue::uint64(4294967296u).asUInt64(), 4294967296u);
    EXPECT_EQ(VariantValue::uint32(7).asUInt64(), 7u);
    EXPECT_FALSE(VariantValue::int32(-1).asUInt64().has_value());
    EXPECT_EQ(VariantValue::int32(5).asUInt32(), 5u);
    EXPECT_FALSE(VariantValue::int64(-1).asUInt64().has_value());
    EXPECT_FALSE(VariantValue::int64(4294967296).asUInt32().has_value());
    EXPECT_EQ(VariantValue::int64(4294967296).asUInt64(), 4294967296u);
    EXPECT_FALSE(VariantValue::boolean(true).asUInt64().has_value());
    EXPECT_FALSE(VariantValue::string("12").asUInt64().has_value());
    EXPECT_FALSE(VariantValue::string("ab").asData().has_value());
    EXPECT_EQ(VariantValue::string("ab").asString(), "ab");
    EXPECT_FALSE(VariantValue::bytes({0x61}).asString().has_value());
    EXPECT_EQ(VariantValue::bytes({0x61}).asData(), Bytes{0x61});
    EXPECT_NE(VariantValue::uint32(1), VariantValue::uint64(1));
    EXPECT_EQ(VariantValue::string("\xC3\xA9"), VariantValue::string("e\xCC\x81"));
}
