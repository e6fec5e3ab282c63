#include "VoskaryAccount/Client/VoskaryAccount.h"

namespace voskary {

VoskaryAccount VoskaryAccount::decode(const platform::JSONReader& json) {
  return {json.decode<VoskaryAccountID>("voskary_account_id"),
          json.decode<std::string>("email_primary"),
          json.decodeIfPresent<std::vector<VoskaryProvider>>("providers")};
}

void VoskaryAccount::encode(platform::JSONWriter& json) const {
  json.encode("voskary_account_id", voskaryAccountId);
  json.encode("email_primary", emailPrimary);
  json.encodeIfPresent("providers", providers);
}

}  // namespace voskary

std::size_t std::hash<voskary::VoskaryAccount>::operator()(
    const voskary::VoskaryAccount& account) const noexcept {
  // Identifier, e-mail, whether a list is present, then the list's count and raw values.
  std::size_t seed = 0;
  auto combine = [&seed](std::size_t value) {
    seed ^= value + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2);
  };
  combine(std::hash<std::string>()(account.voskaryAccountId.raw));
  combine(std::hash<std::string>()(account.emailPrimary));
  combine(account.providers ? 1 : 0);
  if (account.providers) {
    combine(account.providers->size());
    for (auto provider : *account.providers)
      combine(std::hash<std::string_view>()(voskary::rawValue(provider)));
  }
  return seed;
}
