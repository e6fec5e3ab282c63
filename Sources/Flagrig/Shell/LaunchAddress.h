#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace flagrig {

// The flagrig:// address the desktop starts us with (`Exec=flagrig %u`), and what of it may be
// echoed. Its query carries the sign-in code and state, and standard error of a desktop
// program ends up in the journal or `.xsession-errors`, readable later; so only the scheme,
// the host and the length are ever printed, with control characters removed.
struct LaunchAddress {
  // The first argument that is a flagrig: address, if any.
  static std::optional<std::string> find(int argc, char** argv);

  // "flagrig://auth (131 bytes)": safe to print to a terminal or a log.
  static std::string describe(std::string_view address);
};

}  // namespace flagrig
