#pragma once

#include <cstdint>
#include <string>

namespace platform::sim {

// What `kill(pid, 0)` finds for a simulated process.
enum class SimProcessState { alive, gone, notSignalable };

// Another application running on the simulated desktop.
struct SimForeignApplication {
  std::int32_t pid = 0;
  std::string name;
  bool hidden = false;
  SimProcessState state = SimProcessState::alive;
};

}  // namespace platform::sim
