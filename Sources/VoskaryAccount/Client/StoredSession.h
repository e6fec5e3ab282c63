#pragma once

#include <optional>
#include <string>

#include "Platform/Foundation/Date.h"
#include "VoskaryAccount/Client/VoskaryAccount.h"

namespace voskary {

// The account session as the library keeps it between launches, in the keychain item
// "voskary_session". Its keys are the field names; the account inside keeps its own
// snake-case keys.
struct StoredSession {
  std::string vas;  // the account session token
  std::optional<std::string> refreshToken;
  platform::Date expiresAt;
  VoskaryAccount account;
  std::string appSlug;
  platform::Date issuedAt;  // when the library stored this session

  // Whether the environment's clock is at or past `expiresAt`.
  bool isExpired() const;

  static StoredSession decode(const platform::JSONReader& json);
  void encode(platform::JSONWriter& json) const;

  bool operator==(const StoredSession&) const = default;
};

}  // namespace voskary
