#pragma once

#include <memory>
#include <optional>
#include <string>

#include "VoskaryAccount/Client/VoskaryConfig.h"
#include "VoskaryAccount/SignIn/VoskaryAccountManager.h"

namespace flagrig {

// The app's one adapter to the account library: fixes the library's configuration, owns the
// process's account manager, seeds the library's install id from the app's device id and tells
// the app's own requests who is signed in and with which session token. Everything else about
// accounts goes through `manager()` directly.
//
// Lives on the main thread; `currentSession` only reads the manager's guarded state and the
// keychain, so analytics may also call it from its queue.
class VoskaryAccountBridge {
 public:
  struct Session {
    std::string sessionToken;  // the stored session's `vas`
    std::string accountID;
    std::string email;
    bool operator==(const Session&) const = default;
  };

  static constexpr std::string_view appSlug = "flagrig";
  static constexpr std::string_view clientID = "flagrig";
  static constexpr std::string_view redirectURI = "flagrig://auth/callback";
  static constexpr std::string_view scope = "voskary.account";

  // Created on first use; lives until exit.
  static VoskaryAccountBridge& shared();
  static std::shared_ptr<VoskaryAccountBridge> sharedPointer();

  VoskaryAccountBridge();
  VoskaryAccountBridge(const VoskaryAccountBridge&) = delete;
  VoskaryAccountBridge& operator=(const VoskaryAccountBridge&) = delete;

  const std::shared_ptr<voskary::VoskaryAccountManager>& manager() const { return manager_; }

  // The signed-in user's session token, account id and e-mail; none unless the manager's
  // state is signed in and the keychain holds a readable session. No network, no refresh: an
  // expired token comes back as it is. A token or account id with control characters, which
  // no request header can carry, counts as no session.
  std::optional<Session> currentSession() const;

  // The app's configuration of the library, as the manager was given it.
  static voskary::VoskaryConfig makeConfig();
  // The library's install id, first seeded from the device id when the keychain has none.
  // Start-up calls it before error telemetry reads the install id, so that every reader agrees
  // on the seeded one.
  static std::string installIDForConfig();

 private:
  std::shared_ptr<voskary::VoskaryAccountManager> manager_;
};

}  // namespace flagrig
