#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "Platform/Foundation/Bundle.h"
#include "Platform/Foundation/Clock.h"
#include "Platform/Foundation/Environment.h"
#include "Platform/Foundation/ProcessInfo.h"
#include "Platform/Foundation/RunLoop.h"
#include "Platform/Foundation/UserDefaults.h"
#include "Platform/Security/KeychainKeyStore.h"
#include "Platform/Sim/SimAppleIDAuthorization.h"
#include "Platform/Sim/SimDesktop.h"
#include "Platform/Sim/SimFileLocations.h"
#include "Platform/Sim/SimHTTPServer.h"
#include "Platform/Sim/SimKeychain.h"
#include "Platform/Sim/SimLoginItem.h"
#include "Platform/Sim/SimPathMonitorFactory.h"
#include "Platform/Sim/SimSoftwareUpdater.h"
#include "Platform/Sim/SimSystemLog.h"

namespace platform::sim {

// A complete simulated machine: a manual clock driving the main loop (which also runs every
// serial queue, so background work is deterministic), in-memory preferences, and the simulated
// backend of every other service. Tests reach the typed simulated services through here and
// the product reaches the same objects through `env()`.
struct SimEnvironment {
  std::shared_ptr<ManualClock> clock;
  std::shared_ptr<RunLoop> mainLoop;
  std::shared_ptr<MemoryDefaultsStore> defaultsStore;
  std::shared_ptr<SimKeychain> keychain;
  std::shared_ptr<KeychainKeyStore> keyStore;
  std::shared_ptr<SimHTTPServer> http;
  std::shared_ptr<SimPathMonitorFactory> network;
  std::shared_ptr<SimSystemLog> systemLog;
  std::shared_ptr<ProcessInfo> processInfo;
  std::shared_ptr<Bundle> bundle;
  std::shared_ptr<SimFileLocations> files;
  std::shared_ptr<SimDesktop> desktop;
  std::shared_ptr<SimAppleIDAuthorization> appleID;
  std::shared_ptr<SimLoginItem> loginItem;
  std::shared_ptr<SimSoftwareUpdaterFactory> updaters;

  std::shared_ptr<Environment> environment;

  // What escaped detached tasks, in order.
  std::vector<std::string> unhandledErrors() const;

  struct Recorder {
    mutable std::mutex mutex;
    std::vector<std::string> messages;
  };
  std::shared_ptr<Recorder> unhandled = std::make_shared<Recorder>();
};

std::shared_ptr<SimEnvironment> makeSimEnvironment();

}  // namespace platform::sim
