#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "Platform/Security/Keychain.h"
#include "VoskaryAccount/Client/VoskaryAccountDataStorage.h"
#include "VoskaryAccount/Client/VoskaryLogger.h"

namespace voskary {

// The library's store on the platform keychain: each key is a generic-password item of the
// service "com.voskary.account.<app slug>", readable after the first unlock and never
// synchronised off the device. It holds no state of its own; every call goes to the keychain
// of the environment, so two stores for the same app slug see the same items.
class KeychainStorage final : public VoskaryAccountDataStorage {
 public:
  // The library's item names.
  struct Keys {
    static constexpr std::string_view session = "voskary_session";
    // Reserved: the library neither reads nor writes these two.
    static constexpr std::string_view dpopJwkThumbprint = "voskary_dpop_jkt";
    static constexpr std::string_view oidcAuthState = "voskary_oidc_authstate";
  };

  // `logger` receives the one line a failed delete leaves, since the caller hears nothing.
  explicit KeychainStorage(std::string_view appSlug,
                           std::optional<std::string> accessGroup = std::nullopt,
                           VoskaryLogger logger = {});

  const std::string& service() const { return service_; }
  const std::optional<std::string>& accessGroup() const { return accessGroup_; }

  // Updates the item, adding it when there is none. Throws keychainFailure with the status.
  void setData(const platform::Bytes& data, std::string_view key) override;
  // Throws keychainFailure for any status but success and item-not-found, and
  // malformedResponse ("keychain.<key>") for an item that holds no bytes.
  std::optional<platform::Bytes> readData(std::string_view key) override;
  void deleteData(std::string_view key) override;

 private:
  platform::GenericPasswordQuery itemQuery(std::string_view key) const;

  std::string service_;
  std::optional<std::string> accessGroup_;
  VoskaryLogger logger_;
};

}  // namespace voskary
