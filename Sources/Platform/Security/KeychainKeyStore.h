#pragma once

#include <atomic>
#include <memory>

#include "Platform/Security/KeyStore.h"
#include "Platform/Security/Keychain.h"

namespace platform {

// The key store on a keychain: a permanent key is a key item holding its PKCS#8 form, so a
// second store over the same keychain finds it again. Whether hardware-held keys can be made
// is a property of the machine: Linux has no such store and reports them unimplemented; the
// simulated machine can offer one (its keys are kept like the others, marked hardware).
class KeychainKeyStore final : public KeyStore {
 public:
  enum class Hardware { unavailable, available };

  explicit KeychainKeyStore(std::shared_ptr<Keychain> keychain,
                            Hardware hardware = Hardware::unavailable);

  KeyResult copyPrivateKey(const std::string& applicationTag) override;
  KeyResult createRandomKey(const KeyGenerationAttributes& attributes) override;

  // For the simulated machine.
  void setHardwareAvailable(bool available) { hardware_ = available; }
  // Keys handed out by this store, earlier ones included, fail to sign while this is set.
  void setSigningFails(bool fails) { signingFails_->store(fails); }

 private:
  std::shared_ptr<Keychain> keychain_;
  std::atomic<bool> hardware_;
  std::shared_ptr<std::atomic<bool>> signingFails_ = std::make_shared<std::atomic<bool>>(false);
};

}  // namespace platform
