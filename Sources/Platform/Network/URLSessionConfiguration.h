#pragma once

#include <cstddef>

namespace platform {

// How a session sends: its default idle timeout per request, the longest a whole transfer may
// take, the largest response body it accepts (counted after content decoding, so a small
// compressed body cannot expand past it), and whether it keeps nothing (no cookies, no cache)
// beyond its own life.
struct URLSessionConfiguration {
  static constexpr std::size_t defaultMaximumResponseBodyBytes = 16 * 1024 * 1024;
  // The shared session's limit for a whole transfer: a server that drips one byte at a time
  // never trips the idle timeout, so this is what ends it.
  static constexpr double sharedTimeoutIntervalForResource = 300.0;

  double timeoutIntervalForRequest = 60.0;
  double timeoutIntervalForResource = 7 * 24 * 3600.0;
  std::size_t maximumResponseBodyBytes = defaultMaximumResponseBodyBytes;
  bool isEphemeral = false;

  static URLSessionConfiguration defaultConfiguration() { return {}; }
  // What the environment's shared session uses.
  static URLSessionConfiguration sharedConfiguration() {
    URLSessionConfiguration configuration;
    configuration.timeoutIntervalForResource = sharedTimeoutIntervalForResource;
    return configuration;
  }
  static URLSessionConfiguration ephemeral() {
    URLSessionConfiguration configuration;
    configuration.isEphemeral = true;
    return configuration;
  }
};

}  // namespace platform
