#include "Platform/Foundation/DateFormats.h"

#include <gtest/gtest.h>

#include <cmath>

#include "Platform/Foundation/Error.h"

namespace platform {
namespace {

using Fraction = DateFormats::FractionalSeconds;
constexpr double kJan31 = 1769850902;  // 2026-01-31T09:15:02Z

TEST(DateFormatsTests, ReadsInternetDateTimesWithTheRequestedFraction) {
  struct Case {
    const char* text;
    Fraction fraction;
    std::optional<double> seconds;
  };
  const Case cases[] = {
      {"2026-01-31T09:15:02.123Z", Fraction::included, kJan31 + 0.123},
      {"2026-01-31T09:15:02.1Z", Fraction::included, kJan31 + 0.1},
      {"2026-01-31T09:15:02.123456789Z", Fraction::included, kJan31 + 0.123456789},
      {"2026-01-31T09:15:02Z", Fraction::omitted, kJan31},
      {"2026-01-31T11:15:02+02:00", Fraction::omitted, kJan31},
      {"2026-01-31T04:45:02.5-04:30", Fraction::included, kJan31 + 0.5},
      {"2026-01-31T09:15:02+00:00", Fraction::omitted, kJan31},
      {"1969-12-31T23:59:59.999Z", Fraction::included, -0.001},
      {"2024-02-29T00:00:00Z", Fraction::omitted, 1709164800},
      {"0000-01-01T00:00:00Z", Fraction::omitted, -62167219200},
      // The fraction is required by one reader and refused by the other.
      {"2026-01-31T09:15:02Z", Fraction::included, std::nullopt},
      {"2026-01-31T09:15:02.123Z", Fraction::omitted, std::nullopt},
      {"2026-01-31T09:15:02.Z", Fraction::included, std::nullopt},
      {"", Fraction::omitted, std::nullopt},
      {"2026-01-31", Fraction::omitted, std::nullopt},
      {"2026-01-31T09:15:02", Fraction::omitted, std::nullopt},
      {"2026-01-31 09:15:02Z", Fraction::omitted, std::nullopt},
      {"2026-01-31t09:15:02Z", Fraction::omitted, std::nullopt},
      {"2026-01-31T09:15:02z", Fraction::omitted, std::nullopt},
      {"2026-1-31T09:15:02Z", Fraction::omitted, std::nullopt},
      {"2023-02-29T00:00:00Z", Fraction::omitted, std::nullopt},
      {"2026-13-01T00:00:00Z", Fraction::omitted, std::nullopt},
      {"2026-01-00T00:00:00Z", Fraction::omitted, std::nullopt},
      {"2026-01-31T24:00:00Z", Fraction::omitted, std::nullopt},
      {"2026-01-31T09:60:00Z", Fraction::omitted, std::nullopt},
      {"2026-01-31T09:15:60Z", Fraction::omitted, std::nullopt},
      {"2026-01-31T09:15:02+0200", Fraction::omitted, std::nullopt},
      {"2026-01-31T09:15:02+24:00", Fraction::omitted, std::nullopt},
      {"2026-01-31T09:15:02+02:60", Fraction::omitted, std::nullopt},
      {"2026-01-31T09:15:02Z ", Fraction::omitted, std::nullopt},
      {"+2026-01-31T09:15:02Z", Fraction::omitted, std::nullopt},
      // Offsets that move the instant out of the years 0000 to 9999.
      {"0000-01-01T00:30:00+01:00", Fraction::omitted, std::nullopt},
      {"9999-12-31T23:30:00-01:00", Fraction::omitted, std::nullopt},
      {"9999-12-31T23:59:59.9999Z", Fraction::included, std::nullopt},
      {"9999-12-31T23:59:59.999Z", Fraction::included, 253402300799.999},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    auto date = DateFormats::parseISO8601(c.text, c.fraction);
    ASSERT_EQ(date.has_value(), c.seconds.has_value());
    if (date) {
      EXPECT_DOUBLE_EQ(date->secondsSince1970, *c.seconds);
    }
  }
}

TEST(DateFormatsTests, WritesUTCWithMillisecondsOrWholeSeconds) {
  EXPECT_EQ(DateFormats::iso8601(Date{kJan31 + 0.123}), "2026-01-31T09:15:02.123Z");
  EXPECT_EQ(DateFormats::iso8601(Date{kJan31 + 0.999}, Fraction::omitted), "2026-01-31T09:15:02Z");
  EXPECT_EQ(DateFormats::iso8601(Date{0}), "1970-01-01T00:00:00.000Z");
  EXPECT_EQ(DateFormats::iso8601(Date{-0.001}), "1969-12-31T23:59:59.999Z");
  EXPECT_EQ(DateFormats::iso8601(Date{-0.5}, Fraction::omitted), "1969-12-31T23:59:59Z");
  // Sub-millisecond parts are lost.
  EXPECT_EQ(DateFormats::iso8601(Date{kJan31 + 0.1234}), "2026-01-31T09:15:02.123Z");
  EXPECT_THROW(DateFormats::iso8601(Date{NAN}), ProgrammingError);
  EXPECT_THROW(DateFormats::iso8601(Date{253402300800.0}), ProgrammingError);
}

TEST(DateFormatsTests, MillisecondRoundTripsAreExact) {
  // Instants spread from 1901 to 2096, each with a different millisecond.
  for (std::int64_t ms = -2'150'000'000'000; ms < 4'000'000'000'000; ms += 7'777'777'777) {
    Date date{static_cast<double>(ms) / 1000};
    auto text = DateFormats::iso8601(date);
    auto back = DateFormats::parseISO8601(text, Fraction::included);
    ASSERT_TRUE(back) << text;
    EXPECT_EQ(std::llround(back->secondsSince1970 * 1000), ms) << text;
    EXPECT_EQ(DateFormats::iso8601(*back), text);
  }
}

TEST(DateFormatsTests, ReadsAndWritesTheStrictHTTPDate) {
  auto date = DateFormats::parseHTTPDate("Sun, 06 Nov 1994 08:49:37 GMT");
  ASSERT_TRUE(date);
  EXPECT_EQ(date->secondsSince1970, 784111777);
  EXPECT_EQ(DateFormats::httpDate(Date{784111777.75}), "Sun, 06 Nov 1994 08:49:37 GMT");
  EXPECT_EQ(DateFormats::httpDate(Date{1709164800}), "Thu, 29 Feb 2024 00:00:00 GMT");
  for (const char* bad : {"Mon, 06 Nov 1994 08:49:37 GMT", "Sunday, 06-Nov-94 08:49:37 GMT",
                          "Sun Nov  6 08:49:37 1994", "Sun, 6 Nov 1994 08:49:37 GMT",
                          "Sun, 06 nov 1994 08:49:37 GMT", "sun, 06 Nov 1994 08:49:37 GMT",
                          "Sun, 06 Nov 1994 08:49:37 UTC", "Sun, 06 Nov 1994 08:49:37 GMT ",
                          "Sun, 31 Nov 1994 08:49:37 GMT", "Sun, 06 Nov 1994 08:49:61 GMT", "10"}) {
    EXPECT_FALSE(DateFormats::parseHTTPDate(bad)) << bad;
  }
}

TEST(DateFormatsTests, ReadsCalendarDaysAsMidnightUTC) {
  EXPECT_EQ(DateFormats::parseCalendarDate("2026-06-30")->secondsSince1970, 1782777600);
  EXPECT_EQ(DateFormats::calendarDate(Date{1782777600 + 86399.9}), "2026-06-30");
  EXPECT_EQ(DateFormats::calendarDate(Date{-1}), "1969-12-31");
  for (const char* bad : {"30/06/2026", "2026-6-30", "2026-02-30", "2026-06-30T00:00:00Z", ""}) {
    EXPECT_FALSE(DateFormats::parseCalendarDate(bad)) << bad;
  }
}

TEST(DateFormatsTests, UnixSecondsCutTheFractionOff) {
  EXPECT_EQ(DateFormats::unixSeconds(Date{1769850902.999}), 1769850902);
  EXPECT_EQ(DateFormats::unixSeconds(Date{-1.5}), -1);
  EXPECT_THROW(DateFormats::unixSeconds(Date{INFINITY}), ProgrammingError);
}

}  // namespace
}  // namespace platform
