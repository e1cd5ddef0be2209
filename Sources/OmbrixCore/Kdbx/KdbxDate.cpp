#include "OmbrixCore/Kdbx/KdbxDate.h"

#include <cstdio>
#include <limits>

#include "OmbrixCore/Kdbx/Base64.h"
#include "OmbrixCore/Kdbx/UnicodeText.h"

namespace {

using std::int64_t;

constexpr int64_t secondsPerDay = 86400;

// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's days_from_civil).
constexpr int64_t daysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2 ? 1 : 0;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

struct Civil {
    int64_t year;
    unsigned month;
    unsigned day;
};

// The inverse (civil_from_days).
constexpr Civil civilFromDays(int64_t z) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    return {static_cast<int64_t>(yoe) + era * 400 + (m <= 2 ? 1 : 0), m, d};
}

static_assert(daysFromCivil(1, 1, 1) * secondsPerDay == -KdbxDate::epochOffset);
static_assert(daysFromCivil(1970, 1, 1) == 0);

unsigned daysInMonth(int64_t year, unsigned month) {
    static constexpr unsigned days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : days[month - 1];
}

// Reads the fixed-width forms by hand, one character at a time.
class Cursor {
  public:
    explicit Cursor(std::string_view text) : text_(text) {}

    bool digits(std::size_t count, int& value) {
        if (pos_ + count > text_.size()) return false;
        value = 0;
        for (std::size_t i = 0; i < count; ++i) {
            const char c = text_[pos_ + i];
            if (c < '0' || c > '9') return false;
            value = value * 10 + (c - '0');
        }
        pos_ += count;
        return true;
    }
    bool literal(char c) {
        if (pos_ >= text_.size() || text_[pos_] != c) return false;
        ++pos_;
        return true;
    }
    bool peek(char c) const { return pos_ < text_.size() && text_[pos_] == c; }
    bool atEnd() const { return pos_ == text_.size(); }

  private:
    std::string_view text_;
    std::size_t pos_ = 0;
};

enum class IsoForm { plain, fractional, internet };

// One of the three accepted ISO forms, read strictly: four-digit year 1 to 9999, two-digit fields
// in range, a day that exists in its month, no leap second.
std::optional<Timestamp> parseIso(std::string_view text, IsoForm form) {
    Cursor c(text);
    int year, month, day, hour, minute, second;
    if (!c.digits(4, year) || !c.literal('-') || !c.digits(2, month) || !c.literal('-') ||
        !c.digits(2, day) || !c.literal('T') || !c.digits(2, hour) || !c.literal(':') ||
        !c.digits(2, minute) || !c.literal(':') || !c.digits(2, second)) {
        return std::nullopt;
    }
    if (year < 1 || month < 1 || month > 12 || day < 1 ||
        static_cast<unsigned>(day) > daysInMonth(year, static_cast<unsigned>(month)) || hour > 23 ||
        minute > 59 || second > 59) {
        return std::nullopt;
    }
    int64_t adjust = 0;
    if (form == IsoForm::fractional) {
        int millis;
        if (!c.literal('.') || !c.digits(3, millis)) return std::nullopt;
        // Timestamps hold whole seconds: the nearest one, halves up.
        if (millis >= 500) adjust = 1;
    }
    if (form == IsoForm::internet && (c.peek('+') || c.peek('-'))) {
        const int sign = c.peek('+') ? 1 : -1;
        c.literal(sign > 0 ? '+' : '-');
        int offsetHours, offsetMinutes;
        if (!c.digits(2, offsetHours) || !c.literal(':') || !c.digits(2, offsetMinutes)) return std::nullopt;
        if (offsetHours > 23 || offsetMinutes > 59) return std::nullopt;
        adjust = -sign * (offsetHours * 3600 + offsetMinutes * 60);
    } else if (!c.literal('Z')) {
        return std::nullopt;
    }
    if (!c.atEnd()) return std::nullopt;
    const int64_t days = daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
    return Timestamp(
        std::chrono::seconds(days * secondsPerDay + hour * 3600 + minute * 60 + second + adjust));
}

std::optional<Timestamp> parseBase64(std::string_view text) {
    const std::optional<Bytes> bytes = Base64::decodeLenient(text);
    if (!bytes || bytes->size() < 8) return std::nullopt;
    std::uint64_t raw = 0;
    for (int i = 7; i >= 0; --i) raw = raw << 8 | (*bytes)[static_cast<std::size_t>(i)];
    const auto count = static_cast<int64_t>(raw);
    // Counts below this would not fit once moved to the Unix epoch; they stay as early as can be.
    constexpr int64_t lowest = std::numeric_limits<int64_t>::min() + KdbxDate::epochOffset;
    if (count < lowest) return Timestamp(std::chrono::seconds(std::numeric_limits<int64_t>::min()));
    return Timestamp(std::chrono::seconds(count - KdbxDate::epochOffset));
}

}  // namespace

namespace KdbxDate {

std::optional<Timestamp> parse(std::string_view text) {
    const std::string_view trimmed = UnicodeText::trimWhiteSpace(text);
    if (trimmed.empty()) return std::nullopt;
    if (trimmed.find_first_of("-:") == std::string_view::npos) {
        if (auto date = parseBase64(trimmed)) return date;
        return parseIso(trimmed, IsoForm::plain);
    }
    for (IsoForm form : {IsoForm::plain, IsoForm::fractional, IsoForm::internet}) {
        if (auto date = parseIso(trimmed, form)) return date;
    }
    return std::nullopt;
}

std::string base64(Timestamp date) {
    const int64_t unixSeconds = date.time_since_epoch().count();
    // Only a date past the largest count (never one read from a file) is held at that count.
    constexpr int64_t highest = std::numeric_limits<int64_t>::max() - epochOffset;
    const int64_t count =
        unixSeconds > highest ? std::numeric_limits<int64_t>::max() : unixSeconds + epochOffset;
    Bytes bytes(8);
    auto raw = static_cast<std::uint64_t>(count);
    for (std::size_t i = 0; i < 8; ++i, raw >>= 8) bytes[i] = static_cast<std::uint8_t>(raw & 0xFF);
    return Base64::encode(bytes);
}

std::string iso8601(Timestamp date) {
    const int64_t unixSeconds = date.time_since_epoch().count();
    int64_t days = unixSeconds / secondsPerDay;
    int64_t rest = unixSeconds % secondsPerDay;
    if (rest < 0) {
        rest += secondsPerDay;
        --days;
    }
    const Civil civil = civilFromDays(days);
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%04lld-%02u-%02uT%02lld:%02lld:%02lldZ",
                  static_cast<long long>(civil.year), civil.month, civil.day,
                  static_cast<long long>(rest / 3600), static_cast<long long>(rest / 60 % 60),
                  static_cast<long long>(rest % 60));
    return buffer;
}

std::string encode(Timestamp date, std::uint16_t major) {
    return major >= 4 ? base64(date) : iso8601(date);
}

}  // namespace KdbxDate

namespace KdbxXML {

std::optional<bool> parseBool(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    if (lower == "true" || lower == "1") return true;
    if (lower == "false" || lower == "0") return false;
    return std::nullopt;
}

}  // namespace KdbxXML
