#include "Platform/Foundation/Value.h"

#include <cmath>

namespace platform {

const Value* Value::find(std::string_view key) const {
  auto dict = asDictionary();
  if (!dict) return nullptr;
  auto it = dict->find(key);
  return it == dict->end() ? nullptr : &it->second;
}

namespace detail {

namespace {
// An integral double in [-2^63, 2^63) converts to int64 exactly.
std::optional<std::int64_t> integralDoubleAsSigned(double d) {
  if (!std::isfinite(d) || std::trunc(d) != d) return std::nullopt;
  if (d < -9223372036854775808.0 || d >= 9223372036854775808.0) return std::nullopt;
  return static_cast<std::int64_t>(d);
}
}  // namespace

std::optional<std::int64_t> exactSigned(const Value& v, std::int64_t min, std::int64_t max) {
  std::optional<std::int64_t> n;
  switch (v.kind()) {
    case Value::Kind::integer:
      n = *v.asInt();
      break;
    case Value::Kind::unsignedInteger:
      if (*v.asUInt() > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
        return std::nullopt;
      n = static_cast<std::int64_t>(*v.asUInt());
      break;
    case Value::Kind::real:
      n = integralDoubleAsSigned(*v.asDouble());
      break;
    default:
      return std::nullopt;
  }
  if (!n || *n < min || *n > max) return std::nullopt;
  return n;
}

std::optional<std::uint64_t> exactUnsigned(const Value& v, std::uint64_t max) {
  std::optional<std::uint64_t> n;
  switch (v.kind()) {
    case Value::Kind::integer:
      if (*v.asInt() < 0) return std::nullopt;
      n = static_cast<std::uint64_t>(*v.asInt());
      break;
    case Value::Kind::unsignedInteger:
      n = *v.asUInt();
      break;
    case Value::Kind::real: {
      double d = *v.asDouble();
      if (!std::isfinite(d) || std::trunc(d) != d || d < 0 || d >= 18446744073709551616.0)
        return std::nullopt;
      n = static_cast<std::uint64_t>(d);
      break;
    }
    default:
      return std::nullopt;
  }
  if (*n > max) return std::nullopt;
  return n;
}

}  // namespace detail
}  // namespace platform
