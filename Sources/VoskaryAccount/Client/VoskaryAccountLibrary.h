#pragma once

#include <string>
#include <string_view>

namespace voskary {

// The account library's own version and the line that names it in requests.
struct VoskaryAccountLibrary {
  static constexpr std::string_view libVersion = "0.9.2";

  // "VoskaryAccount/0.9.2 (<host version>)".
  static std::string versionLine(std::string_view host) {
    return "VoskaryAccount/" + std::string(libVersion) + " (" + std::string(host) + ")";
  }
};

}  // namespace voskary
