#pragma once

#include <array>
#include <optional>
#include <string_view>

#include "VoskaryAccount/Client/RawValueJSONCoding.h"

namespace voskary {

// A way of signing in to an account; coded as its text raw value.
enum class VoskaryProvider { password, emailLink, google, apple, passkey };

inline constexpr std::array<VoskaryProvider, 5> allVoskaryProviders = {
    VoskaryProvider::password, VoskaryProvider::emailLink, VoskaryProvider::google,
    VoskaryProvider::apple, VoskaryProvider::passkey};

constexpr std::string_view rawValue(VoskaryProvider provider) {
  switch (provider) {
    case VoskaryProvider::password:
      return "password";
    case VoskaryProvider::emailLink:
      return "email-link";
    case VoskaryProvider::google:
      return "google";
    case VoskaryProvider::apple:
      return "apple";
    case VoskaryProvider::passkey:
      return "passkey";
  }
  return "";
}

// The provider whose raw value is `raw`, exactly; nothing for any other text.
constexpr std::optional<VoskaryProvider> voskaryProvider(std::string_view raw) {
  return caseWithRawValue(allVoskaryProviders, raw);
}

}  // namespace voskary

template <>
struct platform::JSONCoding<voskary::VoskaryProvider>
    : voskary::RawValueJSONCoding<voskary::allVoskaryProviders, "VoskaryProvider"> {};
