// Reads the input with every date reader; a date that reads must write and read back to the
// same instant.
#include <cmath>
#include <cstdint>
#include <string_view>

#include "FuzzCheck.h"
#include "Platform/Foundation/DateFormats.h"

using platform::Date;
using platform::DateFormats;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  using Fraction = DateFormats::FractionalSeconds;

  if (auto date = DateFormats::parseISO8601(text, Fraction::included)) {
    auto written = DateFormats::iso8601(*date, Fraction::included);
    auto back = DateFormats::parseISO8601(written, Fraction::included);
    FUZZ_CHECK(back);
    FUZZ_CHECK(std::llround(back->secondsSince1970 * 1000) ==
               std::llround(date->secondsSince1970 * 1000));
    FUZZ_CHECK(DateFormats::iso8601(*back) == written);
  }
  if (auto date = DateFormats::parseISO8601(text, Fraction::omitted)) {
    auto back = DateFormats::parseISO8601(DateFormats::iso8601(*date, Fraction::omitted),
                                          Fraction::omitted);
    FUZZ_CHECK(back && *back == *date);
    FUZZ_CHECK(DateFormats::parseHTTPDate(DateFormats::httpDate(*date)) == date);
  }
  if (auto date = DateFormats::parseHTTPDate(text)) {
    FUZZ_CHECK(DateFormats::httpDate(*date) == text);
  }
  if (auto date = DateFormats::parseCalendarDate(text)) {
    FUZZ_CHECK(DateFormats::calendarDate(*date) == text);
  }
  return 0;
}
