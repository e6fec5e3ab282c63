#include "VoskaryAccount/Client/KeychainStorage.h"

#include "Platform/Foundation/Environment.h"

namespace voskary {

using platform::KeychainStatus;

KeychainStorage::KeychainStorage(std::string_view appSlug, std::optional<std::string> accessGroup,
                                 VoskaryLogger logger)
    : service_("com.voskary.account." + std::string(appSlug)),
      accessGroup_(std::move(accessGroup)),
      logger_(std::move(logger)) {}

platform::GenericPasswordQuery KeychainStorage::itemQuery(std::string_view key) const {
  return {service_, std::string(key), accessGroup_,
          platform::KeychainAccessibility::afterFirstUnlockThisDeviceOnly};
}

void KeychainStorage::setData(const platform::Bytes& data, std::string_view key) {
  auto& keychain = *platform::env().keychain;
  auto query = itemQuery(key);
  platform::OSStatus status = keychain.update(query, data);
  if (status == KeychainStatus::itemNotFound) {
    status = keychain.add(query, data);
    // Another writer added the item since our update: replace its value once more.
    if (status == KeychainStatus::duplicateItem) status = keychain.update(query, data);
  }
  if (status != KeychainStatus::success) throw VoskaryError::keychainFailure(status);
}

std::optional<platform::Bytes> KeychainStorage::readData(std::string_view key) {
  auto result = platform::env().keychain->copyMatching(itemQuery(key));
  if (result.status == KeychainStatus::itemNotFound) return std::nullopt;
  if (result.status != KeychainStatus::success) throw VoskaryError::keychainFailure(result.status);
  if (!result.data || !result.data->asBytes())
    throw VoskaryError::malformedResponse("keychain." + std::string(key));
  return *result.data->asBytes();
}

void KeychainStorage::deleteData(std::string_view key) {
  platform::OSStatus status = platform::env().keychain->remove(itemQuery(key));
  if (status == KeychainStatus::success || status == KeychainStatus::itemNotFound) return;
  if (logger_) {
    logger_(VoskaryLogLevel::warning, "keychain_delete_failed",
            {{"key", std::string(key)}, {"status", std::to_string(status)}});
  }
}

}  // namespace voskary
