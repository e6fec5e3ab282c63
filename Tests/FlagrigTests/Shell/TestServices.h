#pragma once

#include "Flagrig/Shell/ServiceAddresses.h"
#include "Platform/Foundation/URL.h"
#include "Platform/Foundation/UserDefaults.h"
#include "Platform/Foundation/Value.h"
#include "Platform/Sim/SimEnvironment.h"
#include "Platform/Sim/SimHTTPServer.h"

namespace flagrig::testing {

// The services the app talks to, at their test addresses on the simulated HTTP server: the
// analytics capture and the account service's funnel answer every post, and the app has a
// device id of its own.
struct TestServices {
  static constexpr const char* account = "https://account.test";
  static constexpr const char* capture = "https://analytics.test/capture/";
  static constexpr const char* funnel = "https://account.test/api/app-events";
  static constexpr const char* deviceId = "dev_0a1b2c3d-0000-4000-8000-00000000000d";

  // An empty `authority` keeps the compiled-in issuer.
  static void install(platform::sim::SimEnvironment& sim, platform::URL authority = {}) {
    ServiceAddresses::setActiveForTesting(
        {platform::URL(account), platform::URL("https://analytics.test"),
         platform::URL("https://web.test"), platform::URL("https://contacts.test"),
         std::move(authority)});
    sim.environment->defaults->set("flagrig.deviceId", platform::Value(deviceId));
    sim.http->respond("POST", capture, platform::sim::SimHTTPAnswer::json(200, "{}"));
    sim.http->respond("POST", funnel, platform::sim::SimHTTPAnswer::json(202, "{}"));
  }
};

}  // namespace flagrig::testing
