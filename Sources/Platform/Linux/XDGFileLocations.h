#pragma once

#include <filesystem>
#include <optional>

#include "Platform/Foundation/FileLocations.h"

namespace platform::linuxbackend {

// The XDG base directories: logs are state, so they go to `$XDG_STATE_HOME` (by default
// `~/.local/state`). A relative `$XDG_STATE_HOME` is ignored, as the XDG rules say.
class XDGFileLocations final : public FileLocations {
 public:
  std::optional<std::filesystem::path> logsDirectory() const override;

  // `$XDG_STATE_HOME`, else `$HOME/.local/state`; absent without either.
  static std::optional<std::filesystem::path> stateHome(const char* xdgStateHome, const char* home);
};

}  // namespace platform::linuxbackend
