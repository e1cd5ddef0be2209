#include "OmbrixUI/BrandDate.h"

#include <QLocale>
#include <QTimeZone>

#include <unicode/locid.h>
#include <unicode/reldatefmt.h>

namespace {

QDateTime localTime(std::chrono::sys_seconds date) {
    return QDateTime::fromSecsSinceEpoch(date.time_since_epoch().count(), QTimeZone::systemTimeZone());
}

QDateTime currentLocalTime() {
    return QDateTime::currentDateTime().toTimeZone(QTimeZone::systemTimeZone());
}

URelativeDateTimeUnit icuUnit(RelativeDate::Unit unit) {
    switch (unit) {
        case RelativeDate::Unit::second:
            return UDAT_REL_UNIT_SECOND;
        case RelativeDate::Unit::minute:
            return UDAT_REL_UNIT_MINUTE;
        case RelativeDate::Unit::hour:
            return UDAT_REL_UNIT_HOUR;
        case RelativeDate::Unit::day:
            return UDAT_REL_UNIT_DAY;
        case RelativeDate::Unit::week:
            return UDAT_REL_UNIT_WEEK;
        case RelativeDate::Unit::month:
            return UDAT_REL_UNIT_MONTH;
        case RelativeDate::Unit::year:
            return UDAT_REL_UNIT_YEAR;
    }
    return UDAT_REL_UNIT_SECOND;
}

QString formatRelative(const RelativeDate& relative) {
    UErrorCode status = U_ZERO_ERROR;
    const icu::RelativeDateTimeFormatter formatter(icu::Locale("tr", "TR"), nullptr, UDAT_STYLE_SHORT,
                                                   UDISPCTX_CAPITALIZATION_NONE, status);
    icu::UnicodeString text;
    if (U_SUCCESS(status))
        formatter.formatNumeric(double(relative.value), icuUnit(relative.unit), text, status);
    if (U_FAILURE(status)) return QString::number(relative.value);
    return QString(reinterpret_cast<const QChar*>(text.getBuffer()), text.length());
}

}  // namespace

QString brandFormatted(const QDateTime& date) {
    return QLocale(QLocale::Turkish, QLocale::Turkey)
        .toString(date.toTimeZone(QTimeZone::systemTimeZone()), QStringLiteral("d MMM yyyy, HH:mm"));
}

QString brandFormatted(std::chrono::sys_seconds date) {
    return brandFormatted(localTime(date));
}

RelativeDate relativeDate(const QDateTime& date, const QDateTime& now) {
    const bool past = date < now;
    const QDateTime from = (past ? date : now).toTimeZone(QTimeZone::systemTimeZone());
    const QDateTime to = (past ? now : date).toTimeZone(QTimeZone::systemTimeZone());
    const std::int64_t sign = past ? -1 : 1;

    std::int64_t months = (std::int64_t(to.date().year()) - from.date().year()) * 12 +
                          (to.date().month() - from.date().month());
    if (months > 0 && from.addMonths(int(months)) > to) --months;
    if (months >= 12) return {RelativeDate::Unit::year, sign * (months / 12)};
    if (months > 0) return {RelativeDate::Unit::month, sign * months};

    std::int64_t days = from.date().daysTo(to.date());
    if (days > 0 && from.addDays(days) > to) --days;
    if (days >= 7) return {RelativeDate::Unit::week, sign * (days / 7)};
    if (days > 0) return {RelativeDate::Unit::day, sign * days};

    const std::int64_t seconds = from.secsTo(to);
    if (seconds >= 3600) return {RelativeDate::Unit::hour, sign * (seconds / 3600)};
    if (seconds >= 60) return {RelativeDate::Unit::minute, sign * (seconds / 60)};
    return {RelativeDate::Unit::second, sign * seconds};
}

namespace {

// A time from a file can lie beyond the calendar's range; such a moment has no phrase.
QString phrase(const QDateTime& date, const QDateTime& now) {
    if (!date.isValid() || !now.isValid()) return QString();
    return formatRelative(relativeDate(date, now));
}

}  // namespace

QString brandRelative(std::chrono::sys_seconds date, std::chrono::sys_seconds now) {
    return phrase(localTime(date), localTime(now));
}

QString brandRelative(std::chrono::sys_seconds date) {
    return phrase(localTime(date), currentLocalTime());
}
