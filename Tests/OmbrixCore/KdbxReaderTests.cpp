#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <vector>

#include "KdbxErrorTesting.h"
#include "OmbrixCore/Kdbx/KdbxReader.h"

TEST(KdbxReader, ReadsLittleEndian) {
    KdbxReader reader(Bytes{0x01, 0x02, 0x03, 0x04, 0xFF, 0xFF, 0xFF, 0xFF, 0x05,
                            0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C, 0xAB, 0x01,
                            0x02, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
    EXPECT_EQ(reader.u32(), 0x04030201u);
    EXPECT_EQ(reader.i32(), -1);
    EXPECT_EQ(reader.u64(), 0x0C0B0A0908070605u);
    EXPECT_EQ(reader.u8(), 0xABu);
    EXPECT_EQ(reader.u16(), 0x0201u);
    EXPECT_EQ(reader.i64(), -2);
    EXPECT_TRUE(reader.isAtEnd());
    EXPECT_EQ(reader.remaining(), 0u);
    EXPECT_EQ(reader.read(0), Bytes{});
}

TEST(KdbxReader, ShortReadsFailWithoutConsuming) {
    struct Case {
        std::function<void(KdbxReader&)> read;
        KdbxError expected;
        const char* note;
    };
    const std::vector<Case> cases = {
        {[](KdbxReader& r) { r.u32(); }, shortRead(4, 2), "u32 with 2 left"},
        {[](KdbxReader& r) { r.u64(); }, shortRead(8, 2), "u64 with 2 left"},
        {[](KdbxReader& r) { r.read(3); }, shortRead(3, 2), "read past the end"},
        {[](KdbxReader& r) { r.read(-1); }, shortRead(-1, 2), "negative count"},
        {[](KdbxReader& r) { r.read(INT64_MAX); }, shortRead(INT64_MAX, 2), "huge count"},
    };
    for (const Case& c : cases) {
        KdbxReader reader(Bytes{0xAA, 0xBB});
        EXPECT_EQ(thrownKdbxError([&] { c.read(reader); }), c.expected) << c.note;
        EXPECT_EQ(reader.offset(), 0u) << c.note;
        EXPECT_EQ(reader.read(2), (Bytes{0xAA, 0xBB})) << c.note;
    }
    EXPECT_EQ(shortRead(-1, 2).detail(), "beklenenden kısa veri (-1 bayt istendi, 2 kaldı)");
}

TEST(KdbxReader, EmptyInput) {
    KdbxReader reader(Bytes{});
    EXPECT_TRUE(reader.isAtEnd());
    EXPECT_EQ(reader.remaining(), 0u);
    EXPECT_EQ(thrownKdbxError([&] { reader.u8(); }), shortRead(1, 0));
}
