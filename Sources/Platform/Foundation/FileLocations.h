#pragma once

#include <filesystem>
#include <optional>

namespace platform {

// Where the user's files of each kind belong. Callers add a folder of their own below and
// create it when they need it.
class FileLocations {
 public:
  virtual ~FileLocations() = default;
  // The folder that holds applications' logs; absent when the user has none (no home).
  virtual std::optional<std::filesystem::path> logsDirectory() const = 0;
};

}  // namespace platform
