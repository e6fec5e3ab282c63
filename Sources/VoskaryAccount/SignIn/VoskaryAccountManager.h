#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "Platform/Foundation/SystemLogger.h"
#include "Platform/Foundation/Task.h"
#include "Platform/Foundation/URL.h"
#include "Platform/Foundation/UUID.h"
#include "VoskaryAccount/Client/AuthClient.h"
#include "VoskaryAccount/Client/DPoPSigner.h"
#include "VoskaryAccount/Client/KeychainStorage.h"
#include "VoskaryAccount/Client/LibVersionPolicy.h"
#include "VoskaryAccount/Client/StoredSession.h"
#include "VoskaryAccount/Client/VasResponse.h"
#include "VoskaryAccount/Client/VoskaryAccount.h"
#include "VoskaryAccount/Client/VoskaryConfig.h"
#include "VoskaryAccount/Client/VoskaryDeprecationNotice.h"
#include "VoskaryAccount/Client/VoskaryError.h"
#include "VoskaryAccount/SignIn/OAuthDriver.h"

namespace platform {
class Window;
}

namespace voskary {

// The account library's facade: signs the user in through the browser or Sign in with Apple,
// exchanges the result for an account session, keeps the session in the keychain, restores,
// refreshes and ends it, and publishes the account state.
//
// Operations run on the background executor and make every state change on the main queue, so
// state handlers run on the main thread (the immediate call of `onStateChange` runs on the
// caller's). The published fields are guarded by one mutex that is never held while a handler
// or observer runs, so they may be read from any thread.
//
// Create it with `make`: the client's hooks and the notice blocks refer to it weakly.
class VoskaryAccountManager : public std::enable_shared_from_this<VoskaryAccountManager> {
 public:
  // The account state.
  class State {
   public:
    struct SigningIn {
      bool pending = true;
      bool operator==(const SigningIn&) const = default;
    };
    struct SignedIn {
      VoskaryAccount account;
      bool operator==(const SignedIn&) const = default;
    };
    struct Failed {
      VoskaryError error;
      bool operator==(const Failed&) const = default;
    };
    struct SignedOut {
      bool operator==(const SignedOut&) const = default;
    };

    static State signingIn(bool pending = true) { return State(SigningIn{pending}); }
    static State signedIn(VoskaryAccount account) { return State(SignedIn{std::move(account)}); }
    static State failed(VoskaryError error) { return State(Failed{std::move(error)}); }
    static State signedOut() { return State(SignedOut{}); }

    template <class Case>
    const Case* as() const {
      return std::get_if<Case>(&value_);
    }
    std::string description() const;
    bool operator==(const State&) const = default;

   private:
    template <class Case>
    explicit State(Case value) : value_(std::move(value)) {}
    std::variant<SigningIn, SignedIn, Failed, SignedOut> value_;
  };

  // Keeps a handler registered until it is cancelled or released. `cancel` may be called from
  // any thread, more than once, and after the manager is gone.
  class StateSubscription {
   public:
    explicit StateSubscription(std::function<void()> cancel) : cancel_(std::move(cancel)) {}
    ~StateSubscription() { cancel(); }
    StateSubscription(const StateSubscription&) = delete;
    StateSubscription& operator=(const StateSubscription&) = delete;
    void cancel();

   private:
    std::mutex mutex_;
    std::function<void()> cancel_;
  };

  using StateHandler = std::function<void(const State&)>;

  // The published fields, for observers that redraw when one changes.
  enum class TrackedField {
    state,
    libVersionPolicy,
    lastDeprecationNotice,
    isOffline,
    lastAppleSignInIsNewUser
  };
  using FieldObserver = std::function<void(TrackedField)>;

  // Builds the manager: fills in the install id, the keychain store, the device key, the
  // client with its hooks and the OAuth driver. Never fails.
  static std::shared_ptr<VoskaryAccountManager> make(VoskaryConfig config);
  // The same with the device key from `makeSigner`; one that throws leaves the manager
  // without a key.
  using SignerFactory = std::function<std::shared_ptr<const DPoPSigner>()>;
  static std::shared_ptr<VoskaryAccountManager> make(VoskaryConfig config,
                                                     SignerFactory makeSigner);

  // --- Published fields ------------------------------------------------------------------
  State state() const;
  std::optional<LibVersionPolicy> libVersionPolicy() const;
  std::optional<VoskaryDeprecationNotice> lastDeprecationNotice() const;
  // True while the manager works from a stored session that could not be refreshed.
  bool isOffline() const;
  // Whether the last Apple sign-in created the account; none before one and while one runs.
  std::optional<bool> lastAppleSignInIsNewUser() const;
  // Called after each write that changed a published field, on the writing thread.
  std::unique_ptr<StateSubscription> observeChanges(FieldObserver observer);

  const VoskaryConfig& config() const { return config_; }
  const std::shared_ptr<KeychainStorage>& storage() const { return storage_; }
  const std::shared_ptr<AuthClient>& authClient() const { return authClient_; }
  const std::shared_ptr<OAuthDriver>& oauthDriver() const { return oauthDriver_; }
  const std::shared_ptr<const DPoPSigner>& dpopSigner() const { return dpopSigner_; }

  // Registers `handler` and calls it at once, on this thread, with the current state; then
  // after every transition, also to an equal state.
  std::unique_ptr<StateSubscription> onStateChange(StateHandler handler);

  // The one rule by which a failed refresh ends a session.
  static bool isDefinitiveAuthFailure(const VoskaryError& error);

  std::optional<std::string> dpopThumbprint() const;
  // A proof for a request the app makes itself; none without a device key.
  std::optional<std::string> generateDPoPProof(const platform::URL& htu, const std::string& htm,
                                               const std::optional<std::string>& accessToken) const;

  // --- Browser sign-in ---------------------------------------------------------------------
  // With the system-browser scheme the window is not used.
  platform::Task<VoskaryAccount> signIn(std::shared_ptr<platform::Window> window,
                                        std::optional<OAuthDriver::ProviderHint> provider,
                                        std::optional<std::string> installID);
  platform::Task<VoskaryAccount> signInViaSystemBrowser(
      std::optional<OAuthDriver::ProviderHint> provider, std::optional<std::string> installID);
  // Hands a redirect to the open browser flow; true when it was that flow's redirect.
  bool resume(const platform::URL& url);
  // Cancels the open browser flow; false when none is open. The state is left to the flow.
  bool cancelSignIn();
  // Brings the app and a window to the front when the browser hands control back.
  static void activateForAuthReturn(std::shared_ptr<platform::Window> window);

  // --- Sign in with Apple ------------------------------------------------------------------
  platform::Task<VoskaryAccount> signInWithApple(std::shared_ptr<platform::Window> window,
                                                 std::optional<std::string> installID);

  // --- The stored session ------------------------------------------------------------------
  // The stored session's account, refreshed when it has expired; none without a usable one.
  platform::Task<std::optional<VoskaryAccount>> restore();
  // For a session the service rejected: true while a usable session remains.
  platform::Task<bool> recoverRejectedSession();
  // Revokes the session on the service (failures ignored) and forgets it here.
  platform::Task<void> signOut();
  platform::Task<std::string> getAppDataToken();

  // --- Library-internal --------------------------------------------------------------------
  // Stores the session of a service answer, then publishes it as signed in.
  platform::Task<VoskaryAccount> complete(VasResponse exchange);
  void transition(State newState);
  void handleDeprecationNotices(const std::vector<VoskaryDeprecationNotice>& notices);

 private:
  struct HandlerEntry;
  enum class RefreshOutcome;

  VoskaryAccountManager(VoskaryConfig config, const SignerFactory& makeSigner);
  void installClientHooks();

  static std::optional<StoredSession> readSession(VoskaryAccountDataStorage* storage);
  std::optional<StoredSession> readSession() const { return readSession(storage_.get()); }
  void deleteSession() { storage_->deleteData(KeychainStorage::Keys::session); }
  static void persistRefreshed(VoskaryAccountDataStorage* storage, const std::string& spentToken,
                               const VasResponse& issued);
  static StoredSession storedSession(const VasResponse& answer);
  void writeSession(const StoredSession& session);

  platform::Task<VoskaryAccount> signInBody(std::shared_ptr<platform::Window> window,
                                            std::optional<OAuthDriver::ProviderHint> provider,
                                            std::optional<std::string> installID,
                                            OAuthDriver::UserAgent agent);
  platform::Task<VoskaryAccount> exchange(OAuthAuthorizationResult result,
                                          std::optional<std::string> installID);
  platform::Task<VoskaryAccount> signInWithAppleBody(std::shared_ptr<platform::Window> window,
                                                     std::optional<std::string> installID);
  platform::Task<std::optional<VoskaryAccount>> restoreBody();
  platform::Task<bool> recoverBody();
  platform::Task<void> signOutBody();
  // Refreshes `stored` and publishes the answer when the stored session is still the one that
  // was refreshed; none when a sign-out or another sign-in came in between.
  platform::Task<std::optional<VoskaryAccount>> refreshStored(StoredSession stored);
  // Runs `work` on the main queue and comes back to the background executor.
  platform::Task<void> onMain(std::function<void()> work);
  // Ends a sign-in that threw `error`, which it throws again: one of the sign-in's failures
  // becomes the failed state and a VoskaryError, anything else puts back the state `before`.
  platform::Task<void> failSignIn(std::optional<State> before, std::exception_ptr error);

  // Ends by taking `key` out of one of the handler maps below, while the manager lives.
  template <class Handlers>
  std::unique_ptr<StateSubscription> subscription(Handlers VoskaryAccountManager::*handlers,
                                                  typename Handlers::key_type key);

  void setOffline(bool offline);
  void setLastAppleSignInIsNewUser(std::optional<bool> value);
  void notify(TrackedField field);

  VoskaryConfig config_;
  std::shared_ptr<KeychainStorage> storage_;
  std::shared_ptr<const DPoPSigner> dpopSigner_;
  std::shared_ptr<AuthClient> authClient_;
  std::shared_ptr<OAuthDriver> oauthDriver_;
  VoskaryLogger logger_;

  mutable std::mutex lock_;
  State state_ = State::signedOut();
  std::optional<LibVersionPolicy> libVersionPolicy_;
  std::optional<VoskaryDeprecationNotice> lastDeprecationNotice_;
  bool isOffline_ = false;
  std::optional<bool> lastAppleSignInIsNewUser_;
  std::uint64_t generation_ = 0;  // counts transitions
  std::map<std::string, std::shared_ptr<HandlerEntry>> stateChangeHandlers_;
  std::map<std::uint64_t, std::shared_ptr<FieldObserver>> fieldObservers_;
  std::uint64_t nextObserver_ = 1;

  static const platform::SystemLogger& diagnosticLog();
};

}  // namespace voskary
