#include "Platform/Linux/XDGFileLocations.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

namespace platform::linuxbackend {

std::optional<std::filesystem::path> XDGFileLocations::home(const char* home) {
  if (home && *home == '/') return std::filesystem::path(home);
  long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
  passwd entry{};
  passwd* found = nullptr;
  if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found ||
      !found->pw_dir || *found->pw_dir != '/')
    return std::nullopt;
  return std::filesystem::path(found->pw_dir);
}

std::optional<std::filesystem::path> XDGFileLocations::stateHome(const char* xdgStateHome,
                                                                 const char* home) {
  if (xdgStateHome && *xdgStateHome == '/') return std::filesystem::path(xdgStateHome);
  auto base = XDGFileLocations::home(home);
  if (!base) return std::nullopt;
  return *base / ".local" / "state";
}

std::optional<std::filesystem::path> XDGFileLocations::configHome(const char* xdgConfigHome,
                                                                  const char* home) {
  if (xdgConfigHome && *xdgConfigHome == '/') return std::filesystem::path(xdgConfigHome);
  auto base = XDGFileLocations::home(home);
  if (!base) return std::nullopt;
  return *base / ".config";
}

std::optional<std::filesystem::path> XDGFileLocations::logsDirectory() const {
  return stateHome(std::getenv("XDG_STATE_HOME"), std::getenv("HOME"));
}

}  // namespace platform::linuxbackend
