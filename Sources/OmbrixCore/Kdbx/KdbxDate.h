#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "OmbrixCore/Kdbx/Models.h"

// The two date forms of the XML payload: version 4's base64 of a signed 64-bit little-endian
// count of seconds since 0001-01-01T00:00:00Z, and version 3's "yyyy-MM-ddTHH:mm:ssZ" in UTC.
// Every whole second of the years 1 to 9999 and every count version 4 can store (within the range
// of Timestamp) round-trips exactly.
namespace KdbxDate {

// Seconds from 0001-01-01T00:00:00Z (proleptic Gregorian) to the Unix epoch.
inline constexpr std::int64_t epochOffset = 62135596800;
inline constexpr Timestamp epoch{std::chrono::seconds(-epochOffset)};

// The date of a text in either form, recognised by the text itself: without "-" and ":" it is the
// base64 form, else "yyyy-MM-ddTHH:mm:ssZ", "yyyy-MM-ddTHH:mm:ss.SSSZ" (rounded to the nearest
// second, halves up) or RFC 3339 with a "Z" or "+hh:mm" zone. White space around it is ignored.
// Nothing for any other text.
std::optional<Timestamp> parse(std::string_view text);

// The twelve base64 characters of the version 4 form.
std::string base64(Timestamp date);
// The version 3 form "yyyy-MM-ddTHH:mm:ssZ".
std::string iso8601(Timestamp date);
// The base64 form for major version 4 and above, else the ISO form.
std::string encode(Timestamp date, std::uint16_t major);

}  // namespace KdbxDate

namespace KdbxXML {

// "true" and "1" are true, "false" and "0" false, in any letter case and without trimming;
// anything else gives nothing.
std::optional<bool> parseBool(std::string_view text);

}  // namespace KdbxXML
