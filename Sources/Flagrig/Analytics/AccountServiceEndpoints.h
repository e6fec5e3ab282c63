#pragma once

#include <string_view>

#include "Platform/Foundation/URL.h"

namespace flagrig {

// The account service's endpoints that diagnostics and telemetry call, on the configured base
// URL (`ServiceAddresses::active().accountService`).
struct AccountServiceEndpoints {
  AccountServiceEndpoints() = delete;

  // POST, multipart ("metadata", "blob"), Bearer session token; 30 s.
  static constexpr std::string_view diagnosticsPath = "/diagnostics";
  // POST, JSON funnel event with the sign-in service's headers; 5 s; the answer is ignored.
  static constexpr std::string_view appEventsPath = "/api/app-events";
  // Appended as a path component. POST, JSON batch; 60 s.
  static constexpr std::string_view errorEventsComponent = "api/error-events";
  // Appended as a path component. GET; 60 s; answers {"eu": boolean}.
  static constexpr std::string_view geoComponent = "api/geo";

  static constexpr double diagnosticsTimeout = 30;
  static constexpr double appEventsTimeout = 5;
  static constexpr double errorEventsTimeout = 60;
  static constexpr double geoTimeout = 60;

  static platform::URL baseURL();
  static platform::URL diagnosticsURL();
  static platform::URL appEventsURL();
  static platform::URL errorEventsURL();
  static platform::URL geoURL();
};

}  // namespace flagrig
