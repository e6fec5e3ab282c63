#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "VoskaryAccount/Client/VoskaryAccountID.h"
#include "VoskaryAccount/Client/VoskaryProvider.h"

namespace voskary {

// The signed-in account as the service describes it. An absent provider list differs from an
// empty one, and the order of the list matters.
struct VoskaryAccount {
  VoskaryAccountID voskaryAccountId;
  std::string emailPrimary;
  std::optional<std::vector<VoskaryProvider>> providers;

  // "voskary_account_id" and "email_primary" are required; "providers" may be absent or null,
  // and one unknown provider fails the whole record.
  static VoskaryAccount decode(const platform::JSONReader& json);
  void encode(platform::JSONWriter& json) const;

  bool operator==(const VoskaryAccount&) const = default;
};

}  // namespace voskary

template <>
struct std::hash<voskary::VoskaryAccount> {
  std::size_t operator()(const voskary::VoskaryAccount& account) const noexcept;
};
