#pragma once

#include <memory>

#include "Platform/Foundation/Environment.h"
#include "Platform/Foundation/RunLoop.h"
#include "Platform/Foundation/SharedInstance.h"
#include "Platform/Sim/SimEnvironment.h"

namespace platform::bench {

// A fresh simulated environment for one benchmark, installed while it lives and then taken
// down with every shared instance and the work still queued.
struct SimScope {
  SimScope() : sim(sim::makeSimEnvironment()) { installEnvironment(sim->environment); }
  ~SimScope() {
    resetSharedInstances();
    sim->mainLoop->discardPendingWork();
    installEnvironment(nullptr);
  }
  SimScope(const SimScope&) = delete;
  SimScope& operator=(const SimScope&) = delete;

  std::shared_ptr<sim::SimEnvironment> sim;
};

}  // namespace platform::bench
