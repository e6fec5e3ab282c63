#pragma once

#include <filesystem>
#include <optional>

#include "Platform/Foundation/FileLocations.h"

namespace platform::linuxbackend {

// The XDG base directories: logs are state, so they go to `$XDG_STATE_HOME` (by default
// `~/.local/state`). A relative `$XDG_*` or `$HOME` is ignored, as the XDG rules say; without
// a usable `$HOME` the home folder is the user's passwd entry's. There is never a fallback to
// a shared folder such as /tmp, where another user could plant files.
class XDGFileLocations final : public FileLocations {
 public:
  std::optional<std::filesystem::path> logsDirectory() const override;

  // `$XDG_STATE_HOME`, else `<home>/.local/state`; absent without a home.
  static std::optional<std::filesystem::path> stateHome(const char* xdgStateHome, const char* home);
  // `$XDG_CONFIG_HOME`, else `<home>/.config`; absent without a home.
  static std::optional<std::filesystem::path> configHome(const char* xdgConfigHome, const char* home);
  // `home` when it is an absolute path, else the passwd entry's home of the real user when that
  // is one, else absent.
  static std::optional<std::filesystem::path> home(const char* home);
};

}  // namespace platform::linuxbackend
