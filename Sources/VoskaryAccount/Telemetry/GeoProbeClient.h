#pragma once

#include <memory>
#include <optional>
#include <string_view>

#include "Platform/Foundation/Task.h"
#include "Platform/Foundation/URL.h"
#include "Platform/Network/HTTPSession.h"

namespace voskary {

// Asks the account service whether the user is in the European Union and keeps the answer in
// the standard user defaults, where it decides the default of error telemetry.
struct GeoProbeClient {
  static constexpr std::string_view userDefaultsKey = "voskary.error_telemetry_eu_region";
  static constexpr std::string_view probePath = "api/geo";
  static constexpr double timeoutSeconds = 60.0;

  // One GET of "api/geo" below `identityURL`. Any answer whose body is a JSON object with a
  // boolean "eu" is stored and returned, whatever its status; anything else stores nothing and
  // gives false.
  static platform::Task<bool> probe(std::shared_ptr<platform::HTTPSession> session,
                                    platform::URL identityURL);
  // The cached answer; absent before any probe succeeded.
  static std::optional<bool> cachedIsEU();
};

}  // namespace voskary
