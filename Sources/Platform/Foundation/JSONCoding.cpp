#include "Platform/Foundation/JSONCoding.h"

#include <cmath>

#include "Platform/Foundation/EncodingError.h"

namespace platform::detail {

namespace {
[[noreturn]] void doesNotFit(const JSONReader& json) {
  json.fail("Parsed JSON number <" + json.json().dump() + "> does not fit.");
}

bool isNumber(const JSON& value) {
  return value.is_number();
}
}  // namespace

std::int64_t decodeSigned(const JSONReader& json, std::int64_t min, std::int64_t max) {
  const JSON& value = json.json();
  json.expect(isNumber(value), "Int");
  std::int64_t n = 0;
  if (value.is_number_unsigned()) {
    auto u = value.get<std::uint64_t>();
    if (u > static_cast<std::uint64_t>(max)) doesNotFit(json);
    n = static_cast<std::int64_t>(u);
  } else if (value.is_number_integer()) {
    n = value.get<std::int64_t>();
  } else {
    double d = value.get<double>();
    if (!std::isfinite(d) || std::trunc(d) != d || d < -9223372036854775808.0 ||
        d >= 9223372036854775808.0) {
      doesNotFit(json);
    }
    n = static_cast<std::int64_t>(d);
  }
  if (n < min || n > max) doesNotFit(json);
  return n;
}

std::uint64_t decodeUnsigned(const JSONReader& json, std::uint64_t max) {
  const JSON& value = json.json();
  json.expect(isNumber(value), "UInt");
  std::uint64_t n = 0;
  if (value.is_number_unsigned()) {
    n = value.get<std::uint64_t>();
  } else if (value.is_number_integer()) {
    auto s = value.get<std::int64_t>();
    if (s < 0) doesNotFit(json);
    n = static_cast<std::uint64_t>(s);
  } else {
    double d = value.get<double>();
    if (!std::isfinite(d) || std::trunc(d) != d || d < 0 || d >= 18446744073709551616.0) {
      doesNotFit(json);
    }
    n = static_cast<std::uint64_t>(d);
  }
  if (n > max) doesNotFit(json);
  return n;
}

double decodeDouble(const JSONReader& json) {
  const JSON& value = json.json();
  json.expect(isNumber(value), "Double");
  return value.get<double>();
}

void encodeDouble(JSONWriter& json, double value) {
  if (!std::isfinite(value)) {
    const char* text = std::isnan(value) ? "nan" : value > 0 ? "inf" : "-inf";
    throw EncodingError(json.codingPath(), std::string("Unable to encode ") + text +
                                               " directly in JSON: it is not a finite number.");
  }
  json.json() = value;
}

}  // namespace platform::detail
