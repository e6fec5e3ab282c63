#pragma once

#include <chrono>
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
// interactionNotAllowed, as the platform's keychain does when it cannot ask the user. A
// service that does not answer within `callTimeout` seconds answers notAvailable too, and for
// `unresponsivePause` after that every call does so at once: the calls come from the main
// loop, which must not wait on a hung keyring. Without a session bus nothing is started to
// get one; the keychain is then unavailable for the run. Callable from any thread; calls run
// one at a time.
class SecretServiceKeychain final : public Keychain {
 public:
  static constexpr double defaultCallTimeout = 3.0;
  static constexpr std::chrono::seconds unresponsivePause{30};

  explicit SecretServiceKeychain(std::string collectionAlias = "default",
                                 double callTimeout = defaultCallTimeout);

  OSStatus add(const GenericPasswordQuery& item, const Bytes& data) override;
  OSStatus update(const GenericPasswordQuery& query, const Bytes& data) override;
  KeychainCopyResult copyMatching(const GenericPasswordQuery& query) override;
  OSStatus remove(const GenericPasswordQuery& query) override;
  OSStatus addKey(const KeyItem& key) override;
  KeyCopyResult copyKey(const std::string& applicationTag) override;
  OSStatus removeKey(const std::string& applicationTag) override;

 private:
  struct Call;
  bool reachable();

  std::string collectionAlias_;
  double callTimeout_;
  std::chrono::steady_clock::time_point unresponsiveUntil_{};
  bool saidNoBus_ = false;
  // libsecret's blocking calls each spin a private main context; one at a time keeps the
  // duplicate check and the add that follows it together.
  std::mutex mutex_;
};

}  // namespace platform::linuxbackend
