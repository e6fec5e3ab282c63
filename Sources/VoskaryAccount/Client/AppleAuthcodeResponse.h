#pragma once

#include <optional>
#include <string>

#include "Platform/Foundation/Date.h"
#include "Platform/Foundation/JSONReader.h"
#include "VoskaryAccount/Client/VoskaryAccountID.h"

namespace voskary {

// The account service's answer to a Sign in with Apple code exchange. Only "ok" is required;
// an answer without a session leaves the rest absent, and what that means is the sign-in's
// decision.
struct AppleAuthcodeResponse {
  bool ok = false;
  std::optional<VoskaryAccountID> voskaryAccountId;
  std::optional<std::string> email;
  std::optional<std::string> vas;  // the account session token
  std::optional<std::string> refreshToken;
  std::optional<platform::Date> expiresAt;
  std::optional<bool> isNewUser;

  static AppleAuthcodeResponse decode(const platform::JSONReader& json) {
    return {json.decode<bool>("ok"),
            json.decodeIfPresent<VoskaryAccountID>("voskary_account_id"),
            json.decodeIfPresent<std::string>("email"),
            json.decodeIfPresent<std::string>("vas"),
            json.decodeIfPresent<std::string>("refresh_token"),
            json.decodeIfPresent<platform::Date>("expires_at"),
            json.decodeIfPresent<bool>("is_new_user")};
  }

  bool operator==(const AppleAuthcodeResponse&) const = default;
};

}  // namespace voskary
