#pragma once

namespace platform {

// How a session sends: its default idle timeout per request, the longest a whole transfer may
// take, and whether it keeps nothing (no cookies, no cache) beyond its own life.
struct URLSessionConfiguration {
  double timeoutIntervalForRequest = 60.0;
  double timeoutIntervalForResource = 7 * 24 * 3600.0;
  bool isEphemeral = false;

  static URLSessionConfiguration defaultConfiguration() { return {}; }
  static URLSessionConfiguration ephemeral() {
    URLSessionConfiguration configuration;
    configuration.isEphemeral = true;
    return configuration;
  }
};

}  // namespace platform
