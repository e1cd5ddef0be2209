#pragma once

#include <QDateTime>
#include <QString>

#include <chrono>
#include <cstdint>

// The two ways the interface writes a point in time, in Turkish ("tr_TR"), in the system's
// current time zone. Every call formats afresh, so a changed time zone shows at once. A moment
// beyond the calendar's range (some hundred million years) gives the empty text.

// "1 Mar 2024, 09:05": day without a leading zero, the abbreviated month, the year, then the
// 24-hour time.
QString brandFormatted(std::chrono::sys_seconds date);
QString brandFormatted(const QDateTime& date);

// The date relative to `now` in the short numeric style: "5 dk. önce", "2 gün önce",
// "3 sa. sonra".
QString brandRelative(std::chrono::sys_seconds date, std::chrono::sys_seconds now);
// Relative to the current moment.
QString brandRelative(std::chrono::sys_seconds date);

// The unit a relative date is written in: the largest calendar unit of which at least one
// whole step lies between the two moments (seconds when none does), counted in the local
// calendar. `value` is negative for a date before `now`.
struct RelativeDate {
    enum class Unit { second, minute, hour, day, week, month, year };
    Unit unit;
    std::int64_t value;

    friend bool operator==(const RelativeDate&, const RelativeDate&) = default;
};

RelativeDate relativeDate(const QDateTime& date, const QDateTime& now);
