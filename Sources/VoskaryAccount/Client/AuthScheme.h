#pragma once

#include <array>
#include <optional>
#include <string_view>

#include "VoskaryAccount/Client/RawValueJSONCoding.h"

namespace voskary {

// How the sign-in page is presented; each case has a text raw value.
enum class AuthScheme {
  aswas,          // in a web-authentication session attached to a window
  loopback,       // through a loopback redirect
  systemBrowser,  // in the user's default browser
};

inline constexpr std::array<AuthScheme, 3> allAuthSchemes = {
    AuthScheme::aswas, AuthScheme::loopback, AuthScheme::systemBrowser};

constexpr std::string_view rawValue(AuthScheme scheme) {
  switch (scheme) {
    case AuthScheme::aswas:
      return "aswas";
    case AuthScheme::loopback:
      return "loopback";
    case AuthScheme::systemBrowser:
      return "systemBrowser";
  }
  return "";
}

// The scheme whose raw value is `raw`, exactly; nothing for any other text.
constexpr std::optional<AuthScheme> authScheme(std::string_view raw) {
  return caseWithRawValue(allAuthSchemes, raw);
}

}  // namespace voskary

template <>
struct platform::JSONCoding<voskary::AuthScheme>
    : voskary::RawValueJSONCoding<voskary::allAuthSchemes, "AuthScheme"> {};
