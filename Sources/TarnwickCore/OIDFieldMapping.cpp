#include "TarnwickCore/OIDFieldMapping.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <utility>

#include "Platform/Foundation/Clock.h"
#include "Platform/Foundation/Environment.h"
#include "TarnwickCore/OIDArchive.h"

namespace tarnwick {

using platform::Value;

namespace {

// Whole seconds of a number, when they fit a signed 64-bit integer.
std::optional<std::int64_t> wholeSeconds(const Value& value) {
  switch (value.kind()) {
    case Value::Kind::integer:
      return *value.asInt();
    case Value::Kind::unsignedInteger: {
      auto v = *value.asUInt();
      if (v > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) break;
      return static_cast<std::int64_t>(v);
    }
    case Value::Kind::real: {
      double v = std::trunc(*value.asDouble());
      // 2^63 is exact as a double; anything at or above it, and NaN, does not fit.
      constexpr double limit = 9223372036854775808.0;
      if (!(v >= -limit && v < limit)) break;
      return static_cast<std::int64_t>(v);
    }
    default:
      break;
  }
  return std::nullopt;
}

}  // namespace

OIDFieldMapping::OIDFieldMapping(std::string name, Value::Kind expectedType, Conversion conversion)
    : name_(std::move(name)), expectedType_(expectedType), conversion_(std::move(conversion)) {}

Value::Dictionary OIDFieldMapping::remainingParametersWithMap(const Map& map,
                                                              const Value::Dictionary& parameters,
                                                              const Setter& setField) {
  Value::Dictionary remaining;
  for (const auto& [name, raw] : parameters) {
    Value value = raw;
    if (auto found = map.find(name); found != map.end()) {
      const OIDFieldMapping& mapping = found->second;
      if (mapping.conversion_) value = mapping.conversion_(value);
      if (value.kind() == mapping.expectedType_) {
        setField(mapping.name_, std::move(value));
        continue;
      }
    }
    remaining.emplace(name, std::move(value));
  }
  return remaining;
}

void OIDFieldMapping::encodeWithMap(Value::Dictionary& archive, const Map& map,
                                    const Getter& field) {
  for (const auto& [parameter, mapping] : map) {
    if (auto value = field(mapping.name_)) archive.insert_or_assign(parameter, std::move(*value));
  }
}

void OIDFieldMapping::decodeWithMap(const Value::Dictionary& archive, const Map& map,
                                    const Setter& setField) {
  for (const auto& [parameter, mapping] : map) {
    auto found = archive.find(parameter);
    if (found != archive.end() && found->second.kind() == mapping.expectedType_) {
      setField(mapping.name_, found->second);
    }
  }
}

OIDFieldMapping::Conversion OIDFieldMapping::dateSinceNowConversion() {
  return [](const Value& value) -> Value {
    auto seconds = wholeSeconds(value);
    if (!seconds) return value;
    return platform::env().clock->now().addingTimeInterval(static_cast<double>(*seconds));
  };
}

OIDFieldMapping::Conversion OIDFieldMapping::dateEpochConversion() {
  return [](const Value& value) -> Value {
    auto seconds = wholeSeconds(value);
    if (!seconds) return value;
    return platform::Date::fromSecondsSince1970(static_cast<double>(*seconds));
  };
}

Value OIDFieldMapping::encodeResponse(Value request, const Map& map, const Getter& field,
                                      const Value::Dictionary& additionalParameters) {
  Value::Dictionary archive;
  archive.emplace("request", std::move(request));
  encodeWithMap(archive, map, field);
  archive.emplace("additionalParameters", additionalParameters);
  return archive;
}

void OIDFieldMapping::decodeResponse(const Value::Dictionary& archive, const Map& map,
                                     const Setter& setField,
                                     Value::Dictionary& additionalParameters) {
  decodeWithMap(archive, map, setField);
  if (auto parameters = archiving::dictionaryIn(archive, "additionalParameters"))
    additionalParameters = std::move(*parameters);
}

}  // namespace tarnwick
