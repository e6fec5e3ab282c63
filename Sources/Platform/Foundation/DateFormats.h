#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "Platform/Foundation/Date.h"

namespace platform {

// The fixed date texts of the wire formats: ISO 8601 internet date-times (RFC 3339), the
// IMF-fixdate of HTTP, calendar days and Unix seconds. Always the Gregorian calendar and
// English names, whatever the user's locale; written in UTC.
//
// The readers are strict: exact field widths, valid calendar dates, hours 00-23, minutes and
// seconds 00-59, upper-case "T" and "Z". Years run from 0000 to 9999 in UTC: a reader refuses
// an instant outside them, and writing one is a programming error.
struct DateFormats {
  // Whether an internet date-time carries a fraction of a second. A reader that expects one
  // accepts any number of digits; a writer writes three (milliseconds, rounded).
  enum class FractionalSeconds { omitted, included };

  // "2026-01-31T09:15:02.123Z" or "2026-01-31T11:15:02+02:00": a full date, "T", the time,
  // then "Z" or an offset "+hh:mm" / "-hh:mm". With `included` the fraction is required, with
  // `omitted` it is refused, as the platform's two formatters do.
  static std::optional<Date> parseISO8601(std::string_view text, FractionalSeconds fraction);
  // In UTC with "Z": "yyyy-MM-ddTHH:mm:ss.SSSZ", or without the fraction (seconds cut off).
  static std::string iso8601(Date date, FractionalSeconds fraction = FractionalSeconds::included);

  // The IMF-fixdate of HTTP, "Sun, 06 Nov 1994 08:49:37 GMT"; the day name must fit the date.
  static std::optional<Date> parseHTTPDate(std::string_view text);
  static std::string httpDate(Date date);

  // "yyyy-MM-dd", read as midnight UTC of that day and written as the UTC day of the date.
  static std::optional<Date> parseCalendarDate(std::string_view text);
  static std::string calendarDate(Date date);

  // Whole seconds since 1970-01-01T00:00:00Z, the fraction cut off.
  static std::int64_t unixSeconds(Date date);
};

}  // namespace platform
