#include "Platform/Sim/SimFileLocations.h"

#include <cstdlib>
#include <string>

#include "Platform/Foundation/FatalError.h"

namespace platform::sim {

SimFileLocations::~SimFileLocations() {
  if (root_.empty()) return;
  std::error_code error;
  std::filesystem::remove_all(root_, error);
}

std::filesystem::path SimFileLocations::root() const {
  if (root_.empty()) {
    std::string pattern = (std::filesystem::temp_directory_path() / "flagrig-sim-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
      fatalError("cannot create a temporary folder for the simulated files");
    root_ = pattern;
  }
  return root_;
}

std::optional<std::filesystem::path> SimFileLocations::logsDirectory() const {
  std::lock_guard lock(mutex_);
  if (logsOverridden_) return logs_;
  return root() / "state";
}

void SimFileLocations::setLogsDirectory(std::optional<std::filesystem::path> directory) {
  std::lock_guard lock(mutex_);
  logsOverridden_ = true;
  logs_ = std::move(directory);
}

}  // namespace platform::sim
