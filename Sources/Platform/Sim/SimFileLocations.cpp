#include "Platform/Sim/SimFileLocations.h"

#include <system_error>

namespace platform::sim {

std::optional<std::filesystem::path> SimFileLocations::logsDirectory() const {
  std::lock_guard lock(mutex_);
  if (!root_) return std::nullopt;
  auto folder = *root_ / "state" / "Flagrig";
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (error) return std::nullopt;
  return folder;
}

void SimFileLocations::setRoot(std::optional<std::filesystem::path> root) {
  std::lock_guard lock(mutex_);
  root_ = std::move(root);
}

}  // namespace platform::sim
