#include "Platform/Foundation/DateFormats.h"

#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>

#include "Platform/Foundation/Error.h"

namespace platform {

namespace {

using namespace std::chrono;

constexpr std::array<std::string_view, 7> kDayNames = {"Sun", "Mon", "Tue", "Wed",
                                                       "Thu", "Fri", "Sat"};
constexpr std::array<std::string_view, 12> kMonthNames = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// 0000-01-01T00:00:00.000Z and 9999-12-31T23:59:59.999Z, in milliseconds.
constexpr std::int64_t kEarliestMs = -62'167'219'200'000;
constexpr std::int64_t kLatestMs = 253'402'300'799'999;

// Whether both writers can write the date: its nearest millisecond lies in years 0000 to 9999.
bool isWritable(double seconds) {
  if (!std::isfinite(seconds) || std::fabs(seconds) > 1e12) return false;
  std::int64_t ms = std::llround(seconds * 1000);
  return ms >= kEarliestMs && ms <= kLatestMs;
}

// Reads fixed-width fields from left to right; any mismatch leaves it failed.
class Reader {
 public:
  explicit Reader(std::string_view text) : text_(text) {}

  int digits(std::size_t count) {
    if (!ok_ || text_.size() < count) return fail();
    int value = 0;
    for (std::size_t i = 0; i < count; ++i) {
      char c = text_[i];
      if (c < '0' || c > '9') return fail();
      value = value * 10 + (c - '0');
    }
    text_.remove_prefix(count);
    return value;
  }

  bool literal(std::string_view expected) {
    if (!ok_ || !text_.starts_with(expected)) return fail() != 0;
    text_.remove_prefix(expected.size());
    return true;
  }

  bool peek(char c) const { return ok_ && !text_.empty() && text_[0] == c; }

  // The index of the next three-letter name in `names`, or -1.
  template <std::size_t N>
  int name(const std::array<std::string_view, N>& names) {
    for (std::size_t i = 0; ok_ && i < N; ++i) {
      if (text_.starts_with(names[i])) {
        text_.remove_prefix(names[i].size());
        return static_cast<int>(i);
      }
    }
    fail();
    return -1;
  }

  // One or more digits after the point, as a fraction of a second. Digits past the 15th are
  // read but lie far below what a date holds.
  double fraction() {
    std::size_t count = 0;
    std::int64_t digits = 0;
    double scale = 1;
    while (ok_ && count < text_.size() && text_[count] >= '0' && text_[count] <= '9') {
      if (count < 15) {
        digits = digits * 10 + (text_[count] - '0');
        scale *= 10;
      }
      ++count;
    }
    if (count == 0) fail();
    text_.remove_prefix(count);
    return static_cast<double>(digits) / scale;
  }

  bool atEnd() const { return ok_ && text_.empty(); }
  bool ok() const { return ok_; }

 private:
  int fail() {
    ok_ = false;
    return 0;
  }
  std::string_view text_;
  bool ok_ = true;
};

// Days since 1970-01-01 of a valid Gregorian date.
std::optional<std::int64_t> daysFromCivil(int year, int month, int day) {
  year_month_day date{std::chrono::year(year), std::chrono::month(static_cast<unsigned>(month)),
                      std::chrono::day(static_cast<unsigned>(day))};
  if (!date.ok()) return std::nullopt;
  return sys_days(date).time_since_epoch().count();
}

std::optional<std::int64_t> secondsOfDay(int hour, int minute, int second) {
  if (hour > 23 || minute > 59 || second > 59) return std::nullopt;
  return hour * 3600 + minute * 60 + second;
}

struct Fields {
  year_month_day date;
  int hour, minute, second, millisecond;
  weekday dayOfWeek;
};

std::int64_t floorDiv(std::int64_t a, std::int64_t b) {
  std::int64_t q = a / b;
  return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

// The UTC fields of a date; with the fraction `included` it is rounded to the nearest
// millisecond, otherwise the fraction of the second is cut off.
Fields fieldsOf(Date date, DateFormats::FractionalSeconds fraction) {
  const bool roundToMilliseconds = fraction == DateFormats::FractionalSeconds::included;
  double seconds = date.secondsSince1970;
  precondition(isWritable(seconds), "The date lies outside the years 0000 to 9999.");
  std::int64_t ms = roundToMilliseconds ? std::llround(seconds * 1000)
                                        : static_cast<std::int64_t>(std::floor(seconds)) * 1000;
  std::int64_t days = floorDiv(ms, 86'400'000);
  std::int64_t inDay = ms - days * 86'400'000;
  sys_days day{std::chrono::days(days)};
  return Fields{year_month_day(day),
                static_cast<int>(inDay / 3'600'000),
                static_cast<int>(inDay / 60'000 % 60),
                static_cast<int>(inDay / 1000 % 60),
                static_cast<int>(inDay % 1000),
                weekday(day)};
}

int yearOf(const Fields& f) {
  return static_cast<int>(f.date.year());
}
unsigned monthOf(const Fields& f) {
  return static_cast<unsigned>(f.date.month());
}
unsigned dayOf(const Fields& f) {
  return static_cast<unsigned>(f.date.day());
}

// "yyyy-MM-dd" as days since 1970-01-01; nothing for a date the calendar lacks.
std::optional<std::int64_t> readCalendarDay(Reader& r) {
  int year = r.digits(4);
  r.literal("-");
  int month = r.digits(2);
  r.literal("-");
  int day = r.digits(2);
  if (!r.ok()) return std::nullopt;
  return daysFromCivil(year, month, day);
}

// "HH:mm:ss" as seconds since midnight.
std::optional<std::int64_t> readTimeOfDay(Reader& r) {
  int hour = r.digits(2);
  r.literal(":");
  int minute = r.digits(2);
  r.literal(":");
  int second = r.digits(2);
  if (!r.ok()) return std::nullopt;
  return secondsOfDay(hour, minute, second);
}

}  // namespace

std::optional<Date> DateFormats::parseISO8601(std::string_view text, FractionalSeconds fraction) {
  Reader r(text);
  auto days = readCalendarDay(r);
  r.literal("T");
  auto inDay = readTimeOfDay(r);
  double part = 0;
  if (fraction == FractionalSeconds::included) {
    r.literal(".");
    part = r.fraction();
  }
  int offset = 0;
  if (r.peek('Z')) {
    r.literal("Z");
  } else {
    int sign = r.peek('-') ? -1 : 1;
    if (!r.literal(sign < 0 ? "-" : "+")) return std::nullopt;
    int offsetHours = r.digits(2);
    r.literal(":");
    int offsetMinutes = r.digits(2);
    if (offsetHours > 23 || offsetMinutes > 59) return std::nullopt;
    offset = sign * (offsetHours * 3600 + offsetMinutes * 60);
  }
  if (!r.atEnd() || !days || !inDay) return std::nullopt;
  Date date{static_cast<double>(*days * 86400 + *inDay - offset) + part};
  // An offset can move the instant out of the years that can be written back.
  if (!isWritable(date.secondsSince1970)) return std::nullopt;
  return date;
}

std::string DateFormats::iso8601(Date date, FractionalSeconds fraction) {
  auto f = fieldsOf(date, fraction);
  char buffer[40];
  if (fraction == FractionalSeconds::included) {
    std::snprintf(buffer, sizeof buffer, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", yearOf(f),
                  monthOf(f), dayOf(f), f.hour, f.minute, f.second, f.millisecond);
  } else {
    std::snprintf(buffer, sizeof buffer, "%04d-%02u-%02uT%02d:%02d:%02dZ", yearOf(f), monthOf(f),
                  dayOf(f), f.hour, f.minute, f.second);
  }
  return buffer;
}

std::optional<Date> DateFormats::parseHTTPDate(std::string_view text) {
  Reader r(text);
  int dayName = r.name(kDayNames);
  r.literal(", ");
  int day = r.digits(2);
  r.literal(" ");
  int month = r.name(kMonthNames) + 1;
  r.literal(" ");
  int year = r.digits(4);
  r.literal(" ");
  auto inDay = readTimeOfDay(r);
  r.literal(" GMT");
  if (!r.atEnd() || !inDay) return std::nullopt;
  auto days = daysFromCivil(year, month, day);
  if (!days) return std::nullopt;
  if (weekday(sys_days(std::chrono::days(*days))).c_encoding() != static_cast<unsigned>(dayName)) {
    return std::nullopt;
  }
  return Date{static_cast<double>(*days * 86400 + *inDay)};
}

std::string DateFormats::httpDate(Date date) {
  auto f = fieldsOf(date, FractionalSeconds::omitted);
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%s, %02u %s %04d %02d:%02d:%02d GMT",
                kDayNames[f.dayOfWeek.c_encoding()].data(), dayOf(f),
                kMonthNames[monthOf(f) - 1].data(), yearOf(f), f.hour, f.minute, f.second);
  return buffer;
}

std::optional<Date> DateFormats::parseCalendarDate(std::string_view text) {
  Reader r(text);
  auto days = readCalendarDay(r);
  if (!r.atEnd() || !days) return std::nullopt;
  return Date{static_cast<double>(*days * 86400)};
}

std::string DateFormats::calendarDate(Date date) {
  auto f = fieldsOf(date, FractionalSeconds::omitted);
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%04d-%02u-%02u", yearOf(f), monthOf(f), dayOf(f));
  return buffer;
}

std::int64_t DateFormats::unixSeconds(Date date) {
  precondition(std::isfinite(date.secondsSince1970) && std::fabs(date.secondsSince1970) < 9.2e18,
               "The date cannot be written in whole seconds.");
  return static_cast<std::int64_t>(date.secondsSince1970);
}

}  // namespace platform
