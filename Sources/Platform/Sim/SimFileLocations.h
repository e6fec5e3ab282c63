#pragma once

#include <filesystem>
#include <mutex>
#include <optional>

#include "Platform/Foundation/FileLocations.h"

namespace platform::sim {

// Locations that a test chooses (a temporary folder); none until it does, so that simulated
// runs never write into the user's home.
class SimFileLocations final : public FileLocations {
 public:
  std::optional<std::filesystem::path> logsDirectory() const override;
  void setLogsDirectory(std::optional<std::filesystem::path> directory);

 private:
  mutable std::mutex mutex_;
  std::optional<std::filesystem::path> logs_;
};

}  // namespace platform::sim
