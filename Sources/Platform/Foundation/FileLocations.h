#pragma once

#include <filesystem>
#include <optional>

namespace platform {

// The folders the product keeps its own files in.
class FileLocations {
 public:
  virtual ~FileLocations() = default;
  // The product's log folder, created with its parents when missing; nothing when there is no
  // such folder or it cannot be created.
  virtual std::optional<std::filesystem::path> logsDirectory() const = 0;
};

}  // namespace platform
