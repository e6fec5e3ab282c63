#pragma once

#include "Platform/Foundation/JSONDecoder.h"
#include "Platform/Foundation/JSONEncoder.h"

namespace voskary {

// The one pair of JSON coders through which every wire body and every stored item of the
// library passes. Their only special setting is the date rule: dates are written as ISO 8601
// in UTC with milliseconds ("2026-06-30T12:00:00.250Z") and read with or without a fraction.
// Both are made once, on first use, and shared by every thread.
struct VoskaryJSON {
  static const platform::JSONDecoder& decoder();
  static const platform::JSONEncoder& encoder();

  // The date rules. A date that is not a string fails as a type mismatch, an unreadable one
  // as data corrupted with "Bad ISO 8601 date: " and the text as received.
  static platform::Date decodeDate(const platform::JSONReader& json);
  static void encodeDate(platform::JSONWriter& json, platform::Date date);
};

}  // namespace voskary
