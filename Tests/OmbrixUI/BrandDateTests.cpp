#include <gtest/gtest.h>

#include <QDateTime>

#include <chrono>

#include "OmbrixUI/BrandDate.h"

namespace {

QDateTime local(int y, int mo, int d, int h, int mi, int s = 0) {
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s));
}

std::chrono::sys_seconds seconds(const QDateTime& t) {
    return std::chrono::sys_seconds(std::chrono::seconds(t.toSecsSinceEpoch()));
}

}  // namespace

TEST(BrandDate, FormattedIsTurkishDayMonthYearAnd24HourTime) {
    struct Case {
        QDateTime date;
        const char* expected;
    };
    const Case cases[] = {
        {local(2024, 3, 1, 9, 5), "1 Mar 2024, 09:05"},
        {local(2023, 12, 31, 23, 59), "31 Ara 2023, 23:59"},
        {local(2024, 8, 9, 0, 0), "9 Ağu 2024, 00:00"},
        {local(2025, 2, 14, 12, 30), "14 Şub 2025, 12:30"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(brandFormatted(seconds(c.date)), QString::fromUtf8(c.expected)) << c.expected;
        EXPECT_EQ(brandFormatted(c.date), QString::fromUtf8(c.expected)) << c.expected;
    }
}

TEST(BrandDate, RelativePicksTheLargestWholeUnit) {
    using Unit = RelativeDate::Unit;
    const QDateTime now = local(2024, 3, 15, 12, 0);
    struct Case {
        QDateTime date;
        RelativeDate expected;
        const char* text;
    };
    const Case cases[] = {
        {now, {Unit::second, 0}, "0 sn. sonra"},
        {now.addSecs(-30), {Unit::second, -30}, "30 sn. önce"},
        {now.addSecs(-59), {Unit::second, -59}, "59 sn. önce"},
        {now.addSecs(-60), {Unit::minute, -1}, "1 dk. önce"},
        {now.addSecs(-5 * 60 - 59), {Unit::minute, -5}, "5 dk. önce"},
        {now.addSecs(-3 * 3600), {Unit::hour, -3}, "3 sa. önce"},
        {now.addSecs(-(23 * 3600 + 59 * 60)), {Unit::hour, -23}, "23 sa. önce"},
        {now.addDays(-1), {Unit::day, -1}, "1 gün önce"},
        {now.addDays(-6), {Unit::day, -6}, "6 gün önce"},
        {now.addDays(-7), {Unit::week, -1}, "1 hf. önce"},
        {now.addDays(-20), {Unit::week, -2}, "2 hf. önce"},
        {local(2024, 2, 15, 12, 0, 1), {Unit::week, -4}, "4 hf. önce"},
        {local(2024, 2, 15, 12, 0), {Unit::month, -1}, "1 ay önce"},
        {local(2023, 4, 15, 12, 0), {Unit::month, -11}, "11 ay önce"},
        {local(2023, 3, 15, 12, 0), {Unit::year, -1}, "1 yıl önce"},
        {local(2021, 1, 1, 0, 0), {Unit::year, -3}, "3 yıl önce"},
        {now.addSecs(2 * 3600), {Unit::hour, 2}, "2 sa. sonra"},
        {now.addDays(3), {Unit::day, 3}, "3 gün sonra"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(relativeDate(c.date, now), c.expected) << c.text;
        EXPECT_EQ(brandRelative(seconds(c.date), seconds(now)), QString::fromUtf8(c.text)) << c.text;
    }
}

TEST(BrandDate, RelativeToNowUsesTheCurrentMoment) {
    const auto fiveMinutesAgo =
        std::chrono::time_point_cast<std::chrono::seconds>(std::chrono::system_clock::now()) -
        std::chrono::minutes(5) - std::chrono::seconds(10);
    EXPECT_EQ(brandRelative(fiveMinutesAgo), QStringLiteral("5 dk. önce"));
}

TEST(BrandDate, MomentsBeyondTheCalendarGiveNoText) {
    const auto now = seconds(local(2024, 3, 15, 12, 0));
    for (const auto extreme : {std::chrono::sys_seconds::max(), std::chrono::sys_seconds::min()}) {
        EXPECT_EQ(brandFormatted(extreme), QString());
        EXPECT_EQ(brandRelative(extreme, now), QString());
    }
    // Year 9999, the latest a KDBX time holds, is still written.
    EXPECT_EQ(brandFormatted(seconds(local(9999, 12, 31, 23, 59))), QStringLiteral("31 Ara 9999, 23:59"));
}
