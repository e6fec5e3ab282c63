#pragma once

#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "Flagrig/Account/SignInState.h"
#include "Flagrig/Account/SubscriptionError.h"
#include "Platform/Foundation/Task.h"
#include "Platform/Foundation/URL.h"
#include "Platform/Network/HTTPRequest.h"
#include "VoskaryAccount/Client/VoskaryError.h"
#include "VoskaryAccount/SignIn/OAuthDriver.h"
#include "VoskaryAccount/SignIn/VoskaryAccountManager.h"

namespace platform {
class HTTPSession;
class Window;
}  // namespace platform

namespace flagrig {

class VoskaryAccountBridge;

// The app's own sign-in layer above the account manager. The first-run flow and the settings
// window start sign-in and sign-out here: each attempt is logged and tracked, the signed-in
// account is mirrored for the interface (and announced with `subscriptionDidChange`), sign-out
// always ends in a local clear, and any error becomes one short sentence for the user.
//
// Used on the main thread. The mirror is also read by analytics from its own queue, through
// `SignInState`, so it sits behind a lock.
class SignInService final : public SignInState, public std::enable_shared_from_this<SignInService> {
 public:
  using ProviderHint = voskary::OAuthDriver::ProviderHint;

  // What the first-run flow shows after a sign-in.
  struct SignInResult {
    enum class Kind { success, cancelled, failed };
    Kind kind = Kind::success;
    std::string message;  // for `failed`

    static SignInResult success() { return {Kind::success, {}}; }
    static SignInResult cancelled() { return {Kind::cancelled, {}}; }
    static SignInResult failed(std::string message) { return {Kind::failed, std::move(message)}; }
    bool operator==(const SignInResult&) const = default;
  };

  // Posted on the default centre, with the service as object, whenever the mirror was set or
  // cleared.
  static constexpr std::string_view subscriptionDidChange =
      "dev.voskary.flagrig.subscriptionDidChange";
  // Left behind by earlier versions; removed at creation.
  static constexpr std::string_view legacyDefaultsKeys[] = {
      "flagrig.auth.voskaryAccountID", "flagrig.auth.email", "flagrig.auth.pending.metadata",
      "flagrig.subscriberEmail"};

  static SignInService& shared();
  static std::shared_ptr<SignInService> sharedPointer();

  SignInService();
  SignInService(const SignInService&) = delete;
  SignInService& operator=(const SignInService&) = delete;

  // --- The mirror --------------------------------------------------------------------------
  bool isSignedIn() const;
  std::optional<std::string> voskaryAccountID() const;
  std::optional<std::string> accountEmail() const;

  // Follows the bridge's manager from now on (kept weakly) and installs this service as the
  // app's sign-in state. A second call replaces the first subscription.
  void attach(const std::shared_ptr<VoskaryAccountBridge>& bridge);

  // The first-run flow's browser sign-in. Never throws for a failed sign-in.
  platform::Task<SignInResult> beginSignIn(std::shared_ptr<platform::Window> window,
                                           std::optional<ProviderHint> provider);
  // The settings window's sign-in: returns normally on success and on cancel; throws
  // `SubscriptionError::unavailable` without a window or bridge, else the manager's error.
  platform::Task<void> signIn(std::optional<ProviderHint> provider);
  // Returns at once with the mirror cleared; the manager signs out in a task, and the mirror
  // is cleared again afterwards whatever the outcome.
  void signOut();
  // The bridge given to `attach`, while it exists.
  std::shared_ptr<VoskaryAccountBridge> attachedBridge() const { return bridge(); }
  // Whether a sign-out started here has not ended yet (its revocation may still be waiting).
  bool isSigningOut() const { return signOutsInFlight_ > 0; }
  // Returns once no sign-out is in flight. Every sign-in waits here first: a sign-out's late
  // deletion of the stored session would otherwise wipe the session that sign-in just stored.
  platform::Task<void> signOutsFinished();

  // --- SignInState -------------------------------------------------------------------------
  Snapshot snapshot() const override;
  // Exactly "Authorization", "X-Voskary-Account-Id", "X-Voskary-App" and "X-Voskary-Platform"
  // while the bridge has a session; empty otherwise.
  std::map<std::string, std::string> authorizationHeaders() const override;

  // --- For the service's own account-service calls -----------------------------------------
  // Ephemeral; 15 s per request, 20 s per transfer.
  const std::shared_ptr<platform::HTTPSession>& urlSession() const { return urlSession_; }
  platform::HTTPRequest authorizedRequest(const platform::URL& url,
                                          const std::string& sessionToken) const;

  // --- Texts -------------------------------------------------------------------------------
  static std::string friendlyError(const std::exception& error);
  // The "cause" of a failed sign-in's log line.
  static std::string authErrorCode(const voskary::VoskaryError& error);
  // The "error" property of "auth_failed": the case, with a status and a code where the case
  // has them, and never free text from the server or the system.
  static std::string analyticsErrorName(const std::exception& error);
  // "reason", "error" or "message" of a JSON object body, the first that is text or a number.
  static std::optional<std::string> responseReason(std::span<const std::uint8_t> body);
  static std::string providerText(std::optional<ProviderHint> provider);

  // Replaces the manager's browser sign-in, for tests of failures the manager cannot produce.
  using SignInCall = std::function<platform::Task<voskary::VoskaryAccount>(
      std::shared_ptr<platform::Window>, std::optional<ProviderHint>)>;
  void setSignInCallForTesting(SignInCall call) { signInCallForTesting_ = std::move(call); }

 private:
  platform::Task<voskary::VoskaryAccount> runSignIn(std::shared_ptr<VoskaryAccountBridge> bridge,
                                                    std::shared_ptr<platform::Window> window,
                                                    std::optional<ProviderHint> provider);
  // The sign-in between its "auth_started" and "auth_completed" events (from `source`), the new
  // account identified for analytics first; what it failed with, if it did.
  platform::Task<std::exception_ptr> trackedSignIn(std::shared_ptr<VoskaryAccountBridge> bridge,
                                                   std::shared_ptr<platform::Window> window,
                                                   std::optional<ProviderHint> provider,
                                                   std::string source,
                                                   std::string completedLogLine);
  void applyManagerState(const voskary::VoskaryAccountManager::State& state);
  // The account the app reads, as the manager last published it: set while signed in, cleared
  // on signing out.
  void mirrorSignedIn(std::string accountID, std::string email);
  void clearMirror();
  std::shared_ptr<VoskaryAccountBridge> bridge() const;
  static void clearLegacyDefaults();

  mutable std::mutex mutex_;
  bool isSignedIn_ = false;
  std::optional<std::string> voskaryAccountID_;
  std::optional<std::string> accountEmail_;
  std::weak_ptr<VoskaryAccountBridge> bridge_;

  std::unique_ptr<voskary::VoskaryAccountManager::StateSubscription> managerStateSubscription_;
  std::shared_ptr<platform::HTTPSession> urlSession_;
  SignInCall signInCallForTesting_;
  // Main thread only.
  int signOutsInFlight_ = 0;
  std::vector<platform::Continuation<void>> signOutWaiters_;
};

}  // namespace flagrig
