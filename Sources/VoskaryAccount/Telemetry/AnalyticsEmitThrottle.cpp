#include "VoskaryAccount/Telemetry/AnalyticsEmitThrottle.h"

#include <charconv>
#include <cmath>
#include <string>

#include "Platform/Foundation/Clock.h"
#include "Platform/Foundation/DateFormats.h"
#include "Platform/Foundation/Environment.h"

namespace voskary {

namespace {

template <class Integer>
std::string integerText(Integer value) {
  char buffer[24];
  auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
  return std::string(buffer, end);
}

// The shortest text that reads back as the same double, always with a fraction or an
// exponent: decimal notation from 0.0001 up to 2^53, exponential ("1e-05", "1e+16") outside.
std::string doubleText(double value) {
  if (std::isnan(value)) return "nan";
  if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
  std::string sign = std::signbit(value) ? "-" : "";
  double magnitude = std::fabs(value);
  if (magnitude == 0) return sign + "0.0";

  char buffer[48];
  auto end =
      std::to_chars(buffer, buffer + sizeof buffer, magnitude, std::chars_format::scientific).ptr;
  std::string_view scientific(buffer, static_cast<std::size_t>(end - buffer));
  auto e = scientific.find('e');
  int exponent = 0;
  std::from_chars(scientific.data() + e + (scientific[e + 1] == '+' ? 2 : 1),
                  scientific.data() + scientific.size(), exponent);
  if (exponent < -4 || magnitude > 0x1.0p53) return sign + std::string(scientific);

  std::string digits;
  for (char c : scientific.substr(0, e)) {
    if (c != '.') digits += c;
  }
  std::string text;
  if (exponent < 0) {
    text = "0." + std::string(static_cast<std::size_t>(-exponent - 1), '0') + digits;
  } else {
    auto integerDigits = static_cast<std::size_t>(exponent) + 1;
    if (digits.size() <= integerDigits) {
      text = digits + std::string(integerDigits - digits.size(), '0') + ".0";
    } else {
      text = digits.substr(0, integerDigits) + "." + digits.substr(integerDigits);
    }
  }
  return sign + text;
}

}  // namespace

AnalyticsEmitThrottle::AnalyticsEmitThrottle(AnalyticsEmitThrottleOptions options, Clock clock)
    : options_(std::move(options)),
      clock_(std::move(clock)),
      budgetTokens_(options_.budgetMax),
      budgetLastRefill_(clock_()) {}

AnalyticsEmitThrottle::Clock AnalyticsEmitThrottle::monotonicClock() {
  return [] { return platform::Date{platform::toSeconds(platform::env().clock->uptime())}; };
}

std::string AnalyticsEmitThrottle::keyText(const platform::Value& value) {
  using Kind = platform::Value::Kind;
  switch (value.kind()) {
    case Kind::string:
      return *value.asString();
    case Kind::boolean:
      return *value.asBool() ? "true" : "false";
    case Kind::integer:
      return integerText(*value.asInt());
    case Kind::unsignedInteger:
      return integerText(*value.asUInt());
    case Kind::real:
      return doubleText(*value.asDouble());
    case Kind::null:
      return "<null>";
    case Kind::bytes:
      return integerText(value.asBytes()->size()) + " bytes";
    case Kind::date:
      return platform::DateFormats::iso8601(*value.asDate(),
                                            platform::DateFormats::FractionalSeconds::omitted);
    case Kind::array: {
      std::string text = "[";
      for (const auto& element : *value.asArray()) {
        if (text.size() > 1) text += ", ";
        text += keyText(element);
      }
      return text + "]";
    }
    case Kind::dictionary: {
      std::string text = "[";
      for (const auto& [key, element] : *value.asDictionary()) {
        if (text.size() > 1) text += ", ";
        text += key + ": " + keyText(element);
      }
      return text + "]";
    }
  }
  return {};
}

std::string AnalyticsEmitThrottle::coalescingKey(
    std::string_view event, const platform::Value::Dictionary* properties) const {
  std::string key(event);
  if (!properties) return key;
  for (const auto& discriminator : options_.coalesceDiscriminators) {
    auto found = properties->find(discriminator);
    if (found == properties->end()) continue;
    key += '|';
    key += discriminator;
    key += '=';
    key += keyText(found->second);
  }
  return key;
}

bool AnalyticsEmitThrottle::allowEmit(std::string_view event,
                                      const platform::Value::Dictionary* properties) {
  if (event.starts_with('$')) return true;
  if (options_.neverDropEvents.contains(event)) return true;
  auto key = coalescingKey(event, properties);

  std::lock_guard guard(lock_);
  auto now = clock_();

  auto elapsed = now.timeIntervalSince(budgetLastRefill_);
  if (elapsed > 0 && options_.budgetRefill > 0) {
    budgetTokens_ = std::min(budgetTokens_ + elapsed / options_.budgetRefill, options_.budgetMax);
    budgetLastRefill_ = now;
  }

  auto last = lastEmitByKey_.find(key);
  if (last != lastEmitByKey_.end() &&
      now.timeIntervalSince(last->second) < options_.coalesceWindow) {
    return false;
  }
  if (budgetTokens_ < 1.0) return false;

  budgetTokens_ -= 1.0;
  if (last != lastEmitByKey_.end()) {
    last->second = now;
  } else {
    lastEmitByKey_.emplace(std::move(key), now);
  }

  if (lastEmitByKey_.size() > pruneThreshold) {
    std::erase_if(lastEmitByKey_, [&](const auto& entry) {
      return now.timeIntervalSince(entry.second) >= options_.coalesceWindow;
    });
  }
  return true;
}

std::size_t AnalyticsEmitThrottle::keyCount() const {
  std::lock_guard guard(lock_);
  return lastEmitByKey_.size();
}

double AnalyticsEmitThrottle::budgetTokens() const {
  std::lock_guard guard(lock_);
  return budgetTokens_;
}

}  // namespace voskary
