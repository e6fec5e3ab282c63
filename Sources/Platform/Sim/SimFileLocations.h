#pragma once

#include <filesystem>
#include <mutex>
#include <optional>

#include "Platform/Foundation/FileLocations.h"

namespace platform::sim {

// Locations inside a private temporary folder, made on first use and removed with this
// object, so that no test writes to the user's home. A test can take a location away to see
// how its caller copes.
class SimFileLocations final : public FileLocations {
 public:
  SimFileLocations() = default;
  ~SimFileLocations() override;
  SimFileLocations(const SimFileLocations&) = delete;
  SimFileLocations& operator=(const SimFileLocations&) = delete;

  std::optional<std::filesystem::path> logsDirectory() const override;
  void setLogsDirectory(std::optional<std::filesystem::path> directory);

 private:
  std::filesystem::path root() const;

  mutable std::mutex mutex_;
  mutable std::filesystem::path root_;
  bool logsOverridden_ = false;
  std::optional<std::filesystem::path> logs_;
};

}  // namespace platform::sim
