#include "Platform/Linux/XDGFileLocations.h"

#include <cstdlib>
#include <system_error>

namespace platform::linuxbackend {

std::optional<std::filesystem::path> XDGFileLocations::logsDirectory() const {
  std::filesystem::path base;
  // The XDG rules ignore a relative value.
  if (const char* xdg = std::getenv("XDG_STATE_HOME"); xdg && *xdg == '/') {
    base = xdg;
  } else if (const char* home = std::getenv("HOME"); home && *home == '/') {
    base = std::filesystem::path(home) / ".local" / "state";
  } else {
    return std::nullopt;
  }
  auto folder = base / "Flagrig";
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (error) return std::nullopt;
  return folder;
}

}  // namespace platform::linuxbackend
