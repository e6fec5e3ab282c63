#include "Platform/Sim/SimFileLocations.h"

namespace platform::sim {

std::optional<std::filesystem::path> SimFileLocations::logsDirectory() const {
  std::lock_guard lock(mutex_);
  return logs_;
}

void SimFileLocations::setLogsDirectory(std::optional<std::filesystem::path> directory) {
  std::lock_guard lock(mutex_);
  logs_ = std::move(directory);
}

}  // namespace platform::sim
