#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "OmbrixCore/Kdbx/UUID.h"
#include "Support/Fixtures.h"

using testsupport::fromHex;

TEST(UUID, TextRoundTripIsCanonicalUpperCase) {
    const std::optional<UUID> uuid = UUID::fromString("31c1f2e6-bf71-4350-be58-05216afc5aff");
    ASSERT_TRUE(uuid.has_value());
    EXPECT_EQ(uuid->uuidString(), "31C1F2E6-BF71-4350-BE58-05216AFC5AFF");
    EXPECT_EQ(UUID::fromString(uuid->uuidString()), uuid);
    EXPECT_EQ(UUID().uuidString(), "00000000-0000-0000-0000-000000000000");
}

TEST(UUID, RejectsMalformedText) {
    const std::vector<std::string> cases = {
        "",
        "31C1F2E6BF714350BE5805216AFC5AFF",       // no hyphens
        "31C1F2E6-BF71-4350-BE58-05216AFC5AF",    // one digit short
        "31C1F2E6-BF71-4350-BE58-05216AFC5AFFF",  // one digit long
        "31C1F2E6-BF71-4350-BE58_05216AFC5AFF",   // wrong separator
        "31C1F2E6-BF71-4350-BE58-05216AFC5AFG",   // not hexadecimal
        "{31C1F2E6-BF71-4350-BE58-05216AFC5AFF}",
    };
    for (const std::string& text : cases) EXPECT_FALSE(UUID::fromString(text).has_value()) << text;
}

TEST(UUID, KdbxBytesAreInTextOrder) {
    const Bytes bytes = fromHex("31 C1 F2 E6 BF 71 43 50 BE 58 05 21 6A FC 5A FF");
    const std::optional<UUID> uuid = UUID::fromKdbxBytes(bytes);
    ASSERT_TRUE(uuid.has_value());
    EXPECT_EQ(uuid->uuidString(), "31C1F2E6-BF71-4350-BE58-05216AFC5AFF");
    EXPECT_EQ(uuid->kdbxBytes(), bytes);
    EXPECT_FALSE(UUID::fromKdbxBytes(Bytes(15, 1)).has_value());
    EXPECT_FALSE(UUID::fromKdbxBytes(Bytes(17, 1)).has_value());
}

TEST(UUID, RandomIsVersion4AndDistinct) {
    std::unordered_set<UUID> seen;
    for (int i = 0; i < 100; ++i) {
        const UUID uuid = UUID::random();
        EXPECT_EQ(uuid.bytes()[6] >> 4, 4);
        EXPECT_EQ(uuid.bytes()[8] & 0xC0, 0x80);
        EXPECT_EQ(uuid.uuidString()[14], '4');
        seen.insert(uuid);
    }
    EXPECT_EQ(seen.size(), 100u);
}
