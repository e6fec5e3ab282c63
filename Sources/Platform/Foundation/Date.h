#pragma once

#include <compare>

namespace platform {

// Seconds, as the product measures durations.
using TimeInterval = double;

// A point in wall-clock time: seconds since 1970-01-01T00:00:00Z.
struct Date {
  double secondsSince1970 = 0;

  static Date fromSecondsSince1970(double seconds) { return Date{seconds}; }
  TimeInterval timeIntervalSince(Date other) const {
    return secondsSince1970 - other.secondsSince1970;
  }
  Date addingTimeInterval(TimeInterval interval) const { return Date{secondsSince1970 + interval}; }

  auto operator<=>(const Date&) const = default;
};

}  // namespace platform
