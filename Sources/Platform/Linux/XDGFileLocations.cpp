#include "Platform/Linux/XDGFileLocations.h"

#include <cstdlib>

namespace platform::linuxbackend {

std::optional<std::filesystem::path> XDGFileLocations::stateHome(const char* xdgStateHome,
                                                                 const char* home) {
  if (xdgStateHome && *xdgStateHome == '/') return std::filesystem::path(xdgStateHome);
  if (home && *home == '/') return std::filesystem::path(home) / ".local" / "state";
  return std::nullopt;
}

std::optional<std::filesystem::path> XDGFileLocations::logsDirectory() const {
  return stateHome(std::getenv("XDG_STATE_HOME"), std::getenv("HOME"));
}

}  // namespace platform::linuxbackend
