#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "OmbrixCore/Kdbx/KdbxDate.h"

namespace {

using std::chrono::seconds;

Timestamp at(long long unixSeconds) {
    return Timestamp(seconds(unixSeconds));
}

constexpr long long y2000 = 946684800;       // 2000-01-01T00:00:00Z
constexpr long long march2024 = 1709634030;  // 2024-03-05T10:20:30Z

}  // namespace

TEST(KdbxDate, ReadingTable) {
    const struct {
        std::string text;
        std::optional<Timestamp> date;
        const char* note;
    } cases[] = {
        {"AAAAAAAAAAA=", KdbxDate::epoch, "zero seconds: the epoch"},
        {"//////////8=", KdbxDate::epoch - seconds(1), "minus one"},
        {"gDr/rw4AAAA=", at(y2000), "2000-01-01"},
        {" \n gDr/rw4A AAA=\t\r\n", at(y2000), "blanks around and inside"},
        {"gDr/rw4AAAAAAAA=", at(y2000), "more than 8 bytes: the first 8"},
        {"AAAA", std::nullopt, "3 bytes"},
        {"2024-03-05T10:20:30Z", at(march2024), "ISO"},
        {"2024-03-05T10:20:30.250Z", at(march2024), "fraction below half a second"},
        {"2024-03-05T10:20:30.500Z", at(march2024 + 1), "half a second rounds up"},
        {"2024-03-05T12:20:30+02:00", at(march2024), "numeric zone"},
        {"2024-03-05T08:50:30-01:30", at(march2024), "negative zone"},
        {"0001-01-01T00:00:00Z", KdbxDate::epoch, "year 1"},
        {"9999-12-31T23:59:59Z", at(253402300799), "year 9999"},
        {"2024-02-29T00:00:00Z", at(1709164800), "leap day"},
        {"2023-02-29T00:00:00Z", std::nullopt, "no such day"},
        {"2024-13-01T00:00:00Z", std::nullopt, "month 13"},
        {"2024-03-05T24:00:00Z", std::nullopt, "hour 24"},
        {"2024-03-05T10:20:60Z", std::nullopt, "second 60"},
        {"0000-01-01T00:00:00Z", std::nullopt, "year 0"},
        {"2024-03-05 10:20:30Z", std::nullopt, "blank instead of T"},
        {"05.03.2024 10:20:30", std::nullopt, "day first with dots"},
        {"2024-03-05T10:20:30", std::nullopt, "no zone"},
        {"2024-03-05T10:20:30.25Z", std::nullopt, "two fraction digits"},
        {"2024-03-05T10:20:30ZZ", std::nullopt, "trailing characters"},
        {"", std::nullopt, "empty"},
        {"   ", std::nullopt, "blanks"},
    };
    for (const auto& c : cases) EXPECT_EQ(KdbxDate::parse(c.text), c.date) << c.note;
}

TEST(KdbxDate, WritingBothForms) {
    EXPECT_EQ(KdbxDate::encode(at(y2000), 4), "gDr/rw4AAAA=");
    EXPECT_EQ(KdbxDate::encode(at(y2000), 3), "2000-01-01T00:00:00Z");
    EXPECT_EQ(KdbxDate::base64(KdbxDate::epoch), "AAAAAAAAAAA=");
    EXPECT_EQ(KdbxDate::iso8601(KdbxDate::epoch), "0001-01-01T00:00:00Z");
    EXPECT_EQ(KdbxDate::iso8601(at(march2024)), "2024-03-05T10:20:30Z");
    EXPECT_EQ(KdbxDate::iso8601(at(-1)), "1969-12-31T23:59:59Z");
}

// Every whole second of years 1 to 9999 round-trips in both forms; a spread of instants
// including both ends and the days around leap years and century boundaries stands for them.
TEST(KdbxDate, YearsOneToNineThousandNineHundredNinetyNineRoundTrip) {
    const long long first = -KdbxDate::epochOffset;
    const long long last = 253402300799;
    std::vector<long long> instants = {first,     first + 1, last,       last - 1,    0,           -1,
                                       951782400, 951868800, 4107542400, -2208988800, -12219292800};
    for (long long t = first; t < last; t += 7777777 * 13 + 4321) instants.push_back(t);
    for (long long t : instants) {
        const Timestamp date = at(t);
        EXPECT_EQ(KdbxDate::parse(KdbxDate::base64(date)), date) << t;
        EXPECT_EQ(KdbxDate::parse(KdbxDate::iso8601(date)), date) << t;
    }
    // The base64 form also carries counts far outside the ISO range.
    for (long long t : {-KdbxDate::epochOffset - 86400LL * 365 * 100, 1LL << 50}) {
        EXPECT_EQ(KdbxDate::parse(KdbxDate::base64(at(t))), at(t)) << t;
    }
}

TEST(KdbxDate, CountsAtTheEdgesOfTheRangeDoNotOverflow) {
    const Timestamp highest = at(std::numeric_limits<long long>::max() - KdbxDate::epochOffset);
    EXPECT_EQ(KdbxDate::parse("/////////38="), highest);  // the largest count
    EXPECT_EQ(KdbxDate::base64(highest), "/////////38=");
    EXPECT_EQ(KdbxDate::base64(at(std::numeric_limits<long long>::max())), "/////////38=");
    EXPECT_TRUE(KdbxDate::parse("AAAAAAAAAIA=").has_value());  // the smallest count
}

TEST(KdbxXMLBool, Table) {
    const struct {
        const char* text;
        std::optional<bool> value;
    } cases[] = {{"true", true},     {"True", true},          {"TRUE", true},         {"1", true},
                 {"false", false},   {"FaLsE", false},        {"0", false},           {"yes", std::nullopt},
                 {"", std::nullopt}, {" true", std::nullopt}, {"null", std::nullopt}, {"01", std::nullopt}};
    for (const auto& c : cases) EXPECT_EQ(KdbxXML::parseBool(c.text), c.value) << c.text;
}
