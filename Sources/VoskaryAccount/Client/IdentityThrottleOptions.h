#pragma once

#include <cstdint>

namespace voskary {

// The limits of the identity-request throttle. The defaults are what the library runs with.
struct IdentityThrottleOptions {
  // Requests admitted per rolling 60-second window.
  std::int64_t maxRequestsPerMinute = 30;
  // Consecutive failures (429, 5xx, transport) that open the breaker.
  std::int64_t circuitBreakerThreshold = 5;
  // Seconds the breaker stays open once tripped.
  double circuitBreakerOpenDuration = 300.0;
  // Upper bound of every retry delay, computed or taken from "Retry-After", in seconds.
  double maxBackoff = 300.0;
  // Base of the exponential backoff, in seconds; finite and not negative.
  double backoffBase = 1.0;
  // Retries after the first attempt; only GET requests are retried.
  std::int64_t maxRetries = 3;
};

}  // namespace voskary
