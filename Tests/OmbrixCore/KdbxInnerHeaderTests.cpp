#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "KdbxErrorTesting.h"
#include "OmbrixCore/Kdbx/KdbxInnerHeader.h"
#include "OmbrixCore/Kdbx/KdbxReader.h"
#include "Support/Fixtures.h"

using testsupport::fromHex;
using testsupport::toHex;

TEST(KdbxInnerHeader, EmptyHeaderSerializesByteExact) {
    EXPECT_EQ(toHex(KdbxInnerHeader().serialize()), "01040000000300000002000000000000000000");
}

TEST(KdbxInnerHeader, RoundTripLeavesTheReaderAtTheXml) {
    KdbxInnerHeader header;
    header.streamID = 2;
    header.streamKey = Bytes(64, 0xAB);
    header.binaries = {{1, fromHex("00112233")}, {0, {}}, {1, Bytes(300, 7)}};
    Bytes bytes = header.serialize();
    const std::size_t size = bytes.size();
    bytes.insert(bytes.end(), {'<', 'x'});

    KdbxReader reader(bytes);
    const KdbxInnerHeader read = KdbxInnerHeader::parse(reader);
    EXPECT_EQ(read.streamID, 2u);
    EXPECT_EQ(read.streamKey, header.streamKey);
    EXPECT_EQ(read.binaries, header.binaries);
    EXPECT_EQ(reader.offset(), size);
}

TEST(KdbxInnerHeader, ParsesWhatTheFormatAllows) {
    struct Case {
        const char* hex;
        std::uint32_t streamID;
        std::string keyHex;
        std::vector<KdbxInnerHeader::Binary> binaries;
        std::size_t endOffset;
        const char* note;
    };
    const std::vector<Case> cases = {
        {"0000000000", 3, "", {}, 5, "end field alone"},
        {"0003000000AABBCC 3C", 3, "", {}, 8, "end field with data, consumed"},
        {"0705000000 0102030405 0200000000 0000000000", 3, "", {}, 20, "unknown field 7 skipped"},
        {"010200000002 00 0000000000", 0, "", {}, 12, "2-byte identifier reads as 0"},
        {"010800000001000000FFFFFFFF 0000000000", 1, "", {}, 18, "8-byte identifier, first 4 taken"},
        {"030100000001 0000000000", 3, "", {{1, {}}}, 11, "1-byte binary: flags only"},
        {"0202000000AAAA 0201000000CC 0000000000", 3, "cc", {}, 18, "repeated key overwrites"},
    };
    for (const Case& c : cases) {
        KdbxReader reader(fromHex(c.hex));
        const KdbxInnerHeader header = KdbxInnerHeader::parse(reader);
        EXPECT_EQ(header.streamID, c.streamID) << c.note;
        EXPECT_EQ(toHex(header.streamKey), c.keyHex) << c.note;
        EXPECT_EQ(header.binaries, c.binaries) << c.note;
        EXPECT_EQ(reader.offset(), c.endOffset) << c.note;
    }
}

TEST(KdbxInnerHeader, BrokenInputFails) {
    struct Case {
        const char* hex;
        KdbxError expected;
        const char* note;
    };
    const std::vector<Case> cases = {
        {"", shortRead(1, 0), "empty payload"},
        {"03", shortRead(4, 0), "stops after the identifier byte"},
        {"0300000000 0000000000", KdbxError::corruptedData("boş iç başlık ikili verisi"), "empty binary"},
        {"03FFFFFFFF 01", shortRead(4294967295, 1), "4 GiB binary length"},
        {"0104000000 03000000", shortRead(1, 0), "no end field"},
    };
    for (const Case& c : cases) {
        KdbxReader reader(fromHex(c.hex));
        EXPECT_EQ(thrownKdbxError([&] { KdbxInnerHeader::parse(reader); }), c.expected) << c.note;
    }
}
