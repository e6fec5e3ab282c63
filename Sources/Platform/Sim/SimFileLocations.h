#pragma once

#include <mutex>

#include "Platform/Foundation/FileLocations.h"

namespace platform::sim {

// File locations below a root folder that a test chooses (a temporary one); without a root
// there are none, so simulated runs never write into the user's home.
class SimFileLocations final : public FileLocations {
 public:
  std::optional<std::filesystem::path> logsDirectory() const override;

  void setRoot(std::optional<std::filesystem::path> root);

 private:
  mutable std::mutex mutex_;
  std::optional<std::filesystem::path> root_;
};

}  // namespace platform::sim
