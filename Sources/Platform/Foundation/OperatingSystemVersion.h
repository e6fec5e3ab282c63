#pragma once

#include <string>
#include <string_view>

namespace platform {

// The running system's version as three numbers.
struct OperatingSystemVersion {
  int majorVersion = 0;
  int minorVersion = 0;
  int patchVersion = 0;

  // The leading dotted numbers of a release text such as "6.1.0-18-amd64"; missing parts are 0.
  static OperatingSystemVersion parse(std::string_view release);
  // "major.minor.patch".
  std::string text() const;
  bool operator==(const OperatingSystemVersion&) const = default;
};

}  // namespace platform
