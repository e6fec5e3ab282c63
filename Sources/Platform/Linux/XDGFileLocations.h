#pragma once

#include "Platform/Foundation/FileLocations.h"

namespace platform::linuxbackend {

// The XDG base directories: logs in `$XDG_STATE_HOME/Flagrig/`, defaulting to
// `~/.local/state/Flagrig/`.
class XDGFileLocations final : public FileLocations {
 public:
  std::optional<std::filesystem::path> logsDirectory() const override;
};

}  // namespace platform::linuxbackend
