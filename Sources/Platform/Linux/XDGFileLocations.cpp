#include "Platform/Linux/XDGFileLocations.h"

#include <cstdlib>

namespace platform::linuxbackend {

std::optional<std::filesystem::path> XDGFileLocations::logsDirectory() const {
  // The XDG rules ignore a relative value.
  if (const char* xdg = std::getenv("XDG_STATE_HOME"); xdg && *xdg == '/') return xdg;
  if (const char* home = std::getenv("HOME"); home && *home == '/')
    return std::filesystem::path(home) / ".local" / "state";
  return std::nullopt;
}

}  // namespace platform::linuxbackend
