#pragma once

#include <memory>
#include <optional>
#include <string>

#include "Platform/Security/KeyReference.h"
#include "Platform/Security/Keychain.h"

namespace platform {

// Protection of a hardware-held key: when it may be used, and that using it needs the key's
// private-key-usage right.
struct KeyAccessControl {
  KeychainAccessibility protection = KeychainAccessibility::afterFirstUnlockThisDeviceOnly;
  bool privateKeyUsage = true;
};

// How to make a P-256 key: its application tag; whether it is kept in the keychain or lives
// in memory only; whether it is held by hardware, and with what protection.
struct KeyGenerationAttributes {
  std::string applicationTag;
  bool permanent = false;
  KeyToken token = KeyToken::software;
  std::optional<KeyAccessControl> accessControl;
};

// A key, or the status that says why there is none.
struct KeyResult {
  OSStatus status = KeychainStatus::itemNotFound;
  std::shared_ptr<KeyReference> key;
};

// Creates P-256 signing keys and finds them again by application tag.
class KeyStore {
 public:
  virtual ~KeyStore() = default;
  // The private key stored under `applicationTag`, held by hardware or by the keychain.
  virtual KeyResult copyPrivateKey(const std::string& applicationTag) = 0;
  // A new random key; a permanent one is stored before it is returned.
  virtual KeyResult createRandomKey(const KeyGenerationAttributes& attributes) = 0;
};

}  // namespace platform
