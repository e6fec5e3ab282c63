#pragma once

#include "Platform/Foundation/FileLocations.h"

namespace platform::linuxbackend {

// The XDG base directories: applications keep their logs below `$XDG_STATE_HOME`, which
// defaults to `~/.local/state`.
class XDGFileLocations final : public FileLocations {
 public:
  std::optional<std::filesystem::path> logsDirectory() const override;
};

}  // namespace platform::linuxbackend
