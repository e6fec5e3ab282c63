#include "Platform/Sim/SimEnvironment.h"

#include "Platform/Foundation/NotificationCenter.h"

namespace platform::sim {

std::vector<std::string> SimEnvironment::unhandledErrors() const {
  std::lock_guard lock(unhandled->mutex);
  return unhandled->messages;
}

std::shared_ptr<SimEnvironment> makeSimEnvironment() {
  auto sim = std::make_shared<SimEnvironment>();
  sim->clock = std::make_shared<ManualClock>();
  sim->mainLoop = std::make_shared<RunLoop>(sim->clock);
  sim->defaultsStore = std::make_shared<MemoryDefaultsStore>();
  sim->keychain = std::make_shared<SimKeychain>();

  auto e = std::make_shared<Environment>();
  e->clock = sim->clock;
  e->mainLoop = sim->mainLoop;
  e->backgroundPool = sim->mainLoop;
  e->notificationCenter = std::make_shared<NotificationCenter>();
  e->defaults = std::make_shared<UserDefaults>(sim->defaultsStore, e->notificationCenter);
  e->keychain = sim->keychain;
  e->reportUnhandledError = [recorder = sim->unhandled](std::string_view message) {
    std::lock_guard lock(recorder->mutex);
    recorder->messages.emplace_back(message);
  };
  sim->environment = e;
  return sim;
}

}  // namespace platform::sim
