#include "Platform/Sim/SimEnvironment.h"

#include "Platform/Foundation/NotificationCenter.h"
#include "Platform/Network/HTTPSession.h"

namespace platform::sim {

std::vector<std::string> SimEnvironment::unhandledErrors() const {
  std::lock_guard lock(unhandled->mutex);
  return unhandled->messages;
}

namespace {

ProcessInfo::Fields simulatedProcess() {
  return {OperatingSystemVersion{6, 1, 0},
          "Version 6.1.0 (Simulated Linux, kernel 6.1.0-sim)",
          4242,
          "/opt/flagrig/bin/flagrig",
          {"/opt/flagrig/bin/flagrig"},
          std::nullopt};
}

Value simulatedInfoDictionary() {
  return Value(Value::Dictionary{{"CFBundleName", Value("Flagrig")},
                                 {"CFBundleIdentifier", Value("dev.voskary.flagrig")},
                                 {"CFBundleShortVersionString", Value("1.0.0")},
                                 {"CFBundleVersion", Value("1")}});
}

}  // namespace

std::shared_ptr<SimEnvironment> makeSimEnvironment() {
  auto sim = std::make_shared<SimEnvironment>();
  sim->clock = std::make_shared<ManualClock>();
  sim->mainLoop = std::make_shared<RunLoop>(sim->clock);
  sim->defaultsStore = std::make_shared<MemoryDefaultsStore>();
  sim->keychain = std::make_shared<SimKeychain>();
  sim->keyStore = std::make_shared<KeychainKeyStore>(sim->keychain);
  sim->http = std::make_shared<SimHTTPServer>(sim->mainLoop);
  sim->network = std::make_shared<SimPathMonitorFactory>();
  sim->systemLog = std::make_shared<SimSystemLog>();
  sim->processInfo = std::make_shared<ProcessInfo>(simulatedProcess());
  sim->bundle = std::make_shared<Bundle>(
      simulatedInfoDictionary(), sim->processInfo->executablePath(), "/opt/flagrig/bin/Resources");
  sim->files = std::make_shared<SimFileLocations>();
  sim->desktop = std::make_shared<SimDesktop>();
  sim->appleID = std::make_shared<SimAppleIDAuthorization>();
  sim->loginItem = std::make_shared<SimLoginItem>();
  sim->updaters = std::make_shared<SimSoftwareUpdaterFactory>();
  // The simulated desktop knows this process by the process information's id and the bundle's name.
  auto name = sim->bundle->objectForInfoDictionaryKey("CFBundleName");
  sim->desktop->windowServer().setOwnProcess(sim->processInfo->processIdentifier(),
                                             name && name->asString() ? *name->asString() : "");

  auto e = std::make_shared<Environment>();
  e->clock = sim->clock;
  e->mainLoop = sim->mainLoop;
  e->backgroundPool = sim->mainLoop;
  e->notificationCenter = std::make_shared<NotificationCenter>();
  e->defaults = std::make_shared<UserDefaults>(sim->defaultsStore, e->notificationCenter);
  e->keychain = sim->keychain;
  e->keyStore = sim->keyStore;
  e->httpSession =
      std::make_shared<HTTPSession>(sim->http, URLSessionConfiguration::defaultConfiguration());
  e->pathMonitors = sim->network;
  e->systemLog = sim->systemLog;
  e->processInfo = sim->processInfo;
  e->bundle = sim->bundle;
  e->files = sim->files;
  e->desktop = sim->desktop;
  e->appleIDAuthorization = sim->appleID;
  e->loginItem = sim->loginItem;
  e->updaters = sim->updaters;
  e->reportUnhandledError = [recorder = sim->unhandled](std::string_view message) {
    std::lock_guard lock(recorder->mutex);
    recorder->messages.emplace_back(message);
  };
  sim->environment = e;
  return sim;
}

}  // namespace platform::sim
