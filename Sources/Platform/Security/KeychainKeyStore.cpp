#include "Platform/Security/KeychainKeyStore.h"

namespace platform {

KeychainKeyStore::KeychainKeyStore(std::shared_ptr<Keychain> keychain, Hardware hardware)
    : keychain_(std::move(keychain)), hardware_(hardware == Hardware::available) {}

KeyResult KeychainKeyStore::copyPrivateKey(const std::string& applicationTag) {
  auto found = keychain_->copyKey(applicationTag);
  if (found.status != KeychainStatus::success) return {found.status, nullptr};
  if (!found.item) return {KeychainStatus::itemNotFound, nullptr};
  auto key = P256SigningKey::fromPKCS8(found.item->keyData);
  if (!key) return {KeychainStatus::decode, nullptr};
  return {KeychainStatus::success,
          std::make_shared<KeyReference>(std::move(*key), found.item->token, signingFails_)};
}

KeyResult KeychainKeyStore::createRandomKey(const KeyGenerationAttributes& attributes) {
  if (attributes.token == KeyToken::hardware && !hardware_)
    return {KeychainStatus::unimplemented, nullptr};
  auto key = P256SigningKey::generate();
  if (attributes.permanent) {
    auto status = keychain_->addKey({attributes.applicationTag, attributes.token, key.pkcs8()});
    if (status != KeychainStatus::success) return {status, nullptr};
  }
  return {KeychainStatus::success,
          std::make_shared<KeyReference>(std::move(key), attributes.token, signingFails_)};
}

}  // namespace platform
