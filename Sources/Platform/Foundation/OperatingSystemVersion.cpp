#include "Platform/Foundation/OperatingSystemVersion.h"

#include <charconv>

namespace platform {

OperatingSystemVersion OperatingSystemVersion::parse(std::string_view release) {
  int parts[3] = {0, 0, 0};
  const char* cursor = release.data();
  const char* end = release.data() + release.size();
  for (int i = 0; i < 3 && cursor < end; ++i) {
    auto [next, error] = std::from_chars(cursor, end, parts[i]);
    if (error != std::errc() || parts[i] < 0) {
      parts[i] = 0;
      break;
    }
    cursor = next;
    if (cursor == end || *cursor != '.') break;
    ++cursor;
  }
  return {parts[0], parts[1], parts[2]};
}

std::string OperatingSystemVersion::text() const {
  return std::to_string(majorVersion) + "." + std::to_string(minorVersion) + "." +
         std::to_string(patchVersion);
}

}  // namespace platform
