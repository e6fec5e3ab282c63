#pragma once

#include <mutex>
#include <string>

#include "Platform/Security/Keychain.h"

namespace platform::linuxbackend {

// The keychain on the freedesktop Secret Service (GNOME Keyring, KWallet) through libsecret.
// Generic passwords are items of one schema carrying service, account and access group (the
// empty text for the default group); keys are items of a second schema carrying the
// application tag. Items live in one collection, the user's default one unless told
// otherwise, which is unlocked at login and never synchronised: the after-first-unlock,
// this-device-only protection the product asks for, so accessibility is not stored.
//
// Nothing here ever prompts or falls back to a file: a Secret Service that cannot be reached
// answers notAvailable, a missing collection noDefaultKeychain and a locked one
// interactionNotAllowed, as the platform's keychain does when it cannot ask the user.
// Callable from any thread; calls run one at a time.
class SecretServiceKeychain final : public Keychain {
 public:
  explicit SecretServiceKeychain(std::string collectionAlias = "default");

  OSStatus add(const GenericPasswordQuery& item, const Bytes& data) override;
  OSStatus update(const GenericPasswordQuery& query, const Bytes& data) override;
  KeychainCopyResult copyMatching(const GenericPasswordQuery& query) override;
  OSStatus remove(const GenericPasswordQuery& query) override;
  OSStatus addKey(const KeyItem& key) override;
  KeyCopyResult copyKey(const std::string& applicationTag) override;
  OSStatus removeKey(const std::string& applicationTag) override;

 private:
  std::string collectionAlias_;
  // libsecret's blocking calls each spin a private main context; one at a time keeps the
  // duplicate check and the add that follows it together.
  std::mutex mutex_;
};

}  // namespace platform::linuxbackend
