#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "Platform/Foundation/Clock.h"
#include "Platform/Foundation/Date.h"
#include "VoskaryAccount/Client/BreadcrumbEntry.h"

namespace voskary {

// One fingerprint's observations inside a coalescing window of the error-telemetry client:
// what the first observation said, and how often and when it was seen since.
struct CoalescedEntry {
  std::string fingerprint;
  std::string severity;
  std::string category;
  std::optional<std::string> specId;
  // The normalised message, at most 256 bytes, cut on a character boundary.
  std::string messageTemplate;
  std::optional<std::string> exceptionType;
  std::optional<std::vector<std::string>> topFrames;
  std::optional<std::string> frameDigest;
  std::int64_t count = 1;
  platform::Date firstSeen;
  platform::Date lastSeen;
  bool signedIn = false;
  bool online = true;
  std::optional<std::int64_t> sessionUptimeSeconds;
  std::optional<std::vector<BreadcrumbEntry>> breadcrumbs;

  bool operator==(const CoalescedEntry&) const = default;
};

// The per-fingerprint storm guard of the error-telemetry client.
struct CircuitBreakerState {
  std::int64_t countInWindow = 0;
  // On the monotonic clock: a wall clock set back or forward neither ends nor stretches them.
  platform::Uptime windowStart{};
  std::optional<platform::Uptime> silencedUntil;

  bool operator==(const CircuitBreakerState&) const = default;
};

}  // namespace voskary
