#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "Platform/Foundation/Date.h"
#include "VoskaryAccount/Client/LibVersionPolicy.h"
#include "VoskaryAccount/Client/VoskaryAccountID.h"

namespace voskary {

// The identity service's answer to a session exchange or refresh. Required keys that are
// absent, null or of the wrong type fail the whole answer; unknown keys are ignored; absent
// optional fields are left out when encoding. (The namespace is written "::platform" here
// because a member is named `platform`.)
struct VasResponse {
  bool ok = false;
  std::string vas;  // the account session token
  std::optional<std::string> sessionToken;
  std::optional<std::string> refreshToken;
  std::optional<std::int64_t> expiresIn;  // carried as received; expiry decisions use expiresAt
  ::platform::Date expiresAt;
  VoskaryAccountID voskaryAccountId;
  std::string email;
  std::string appSlug;  // the app the session was issued for
  std::optional<std::string> platform;
  std::optional<std::string> appDataToken;
  std::optional<::platform::Date> appDataTokenExpiresAt;
  std::optional<LibVersionPolicy> libVersionPolicy;

  static VasResponse decode(const ::platform::JSONReader& json);
  void encode(::platform::JSONWriter& json) const;

  bool operator==(const VasResponse&) const = default;
};

}  // namespace voskary
