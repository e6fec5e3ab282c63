#pragma once

#include <string_view>

namespace flagrig {

// Where a URL of the app's scheme leads, by its host compared in lower case: "auth",
// "auth-callback" and "signed-in" return a browser sign-in; every other host (or none) is
// recorded and dropped. The scheme itself is compared as written.
struct URLSchemeRoute {
  enum Route { signInReturn, ignored };
  static constexpr std::string_view scheme = "flagrig";
  static Route forHost(std::string_view host);
};

}  // namespace flagrig
