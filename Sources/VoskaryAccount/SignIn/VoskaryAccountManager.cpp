#include "VoskaryAccount/SignIn/VoskaryAccountManager.h"

#include "Platform/Desktop/Application.h"
#include "Platform/Desktop/Desktop.h"
#include "Platform/Desktop/Window.h"
#include "Platform/Foundation/Clock.h"
#include "Platform/Foundation/Environment.h"
#include "Platform/Foundation/RunLoop.h"
#include "VoskaryAccount/Client/VoskaryJSON.h"
#include "VoskaryAccount/Client/VoskaryRedaction.h"
#include "VoskaryAccount/SignIn/SignInWithAppleDriver.h"

namespace voskary {

namespace {

constexpr std::string_view kExchangePath = "/api/app-sessions/exchange";

// Runs `body` on the background executor and comes back to the caller's executor with its
// result or its error, so that a caller on the main queue stays there.
template <class T>
platform::Task<T> onBackground(platform::Task<T> body) {
  auto origin = (co_await platform::currentTask())->executor;
  co_await platform::resumeOn(platform::env().backgroundPool);
  std::exception_ptr error;
  std::optional<std::conditional_t<std::is_void_v<T>, bool, T>> value;
  try {
    if constexpr (std::is_void_v<T>) {
      co_await std::move(body);
      value = true;
    } else {
      value.emplace(co_await std::move(body));
    }
  } catch (...) {
    error = std::current_exception();
  }
  co_await platform::resumeOn(origin);
  if (error) std::rethrow_exception(error);
  if constexpr (!std::is_void_v<T>) co_return std::move(*value);
}

// What a sign-in reports for an error of any of its steps.
VoskaryError signInError(std::exception_ptr error) {
  try {
    std::rethrow_exception(error);
  } catch (const VoskaryError& voskary) {
    return voskary;
  } catch (const platform::Error& other) {
    return VoskaryError::authorizationFailed(other.description());
  }
}

bool sameSession(const std::optional<StoredSession>& a, const StoredSession& b) {
  return a && a->vas == b.vas;
}

}  // namespace

// One registered handler. Deliveries to it are serialised, and one that carries an older
// transition than the handler has already seen is dropped, so a handler never sees a stale
// state after a newer one (the immediate call can race a transition on another thread).
struct VoskaryAccountManager::HandlerEntry {
  explicit HandlerEntry(StateHandler h) : handler(std::move(h)) {}
  void deliver(const State& state, std::uint64_t generation) {
    std::lock_guard guard(mutex);
    if (generation < delivered) return;
    delivered = generation;
    handler(state);
  }
  StateHandler handler;
  std::recursive_mutex mutex;  // a handler may cause a transition itself
  std::uint64_t delivered = 0;
};

std::string VoskaryAccountManager::State::description() const {
  if (auto signingIn = as<SigningIn>()) return signingIn->pending ? "signingIn" : "signingIn(idle)";
  if (auto signedIn = as<SignedIn>())
    return "signedIn(" + signedIn->account.voskaryAccountId.raw + ")";
  if (auto failed = as<Failed>()) return "failed(" + failed->error.description() + ")";
  return "signedOut";
}

void VoskaryAccountManager::StateSubscription::cancel() {
  std::function<void()> cancel;
  {
    std::lock_guard guard(mutex_);
    cancel = std::move(cancel_);
    cancel_ = nullptr;
  }
  if (cancel) cancel();
}

const platform::SystemLogger& VoskaryAccountManager::diagnosticLog() {
  static const platform::SystemLogger log("dev.voskary.account", "session");
  return log;
}

// --- Set-up ------------------------------------------------------------------------------

std::shared_ptr<VoskaryAccountManager> VoskaryAccountManager::make(VoskaryConfig config) {
  return make(std::move(config), [] { return std::make_shared<const DPoPSigner>(); });
}

std::shared_ptr<VoskaryAccountManager> VoskaryAccountManager::make(VoskaryConfig config,
                                                                   SignerFactory makeSigner) {
  std::shared_ptr<VoskaryAccountManager> manager(
      new VoskaryAccountManager(std::move(config), makeSigner));
  manager->installClientHooks();
  return manager;
}

VoskaryAccountManager::VoskaryAccountManager(VoskaryConfig config, const SignerFactory& makeSigner)
    : config_(config.installID() ? std::move(config) : config.withAutoInstallID()) {
  storage_ = std::make_shared<KeychainStorage>(config_.appSlug(), config_.keychainAccessGroup());
  try {
    if (makeSigner) dpopSigner_ = makeSigner();
  } catch (const platform::Error&) {
    // Without a device key requests go out without proofs.
  }
  authClient_ = std::make_shared<AuthClient>(config_, dpopSigner_);
  oauthDriver_ = std::make_shared<OAuthDriver>(config_);
  logger_ = config_.logger();
}

void VoskaryAccountManager::installClientHooks() {
  std::weak_ptr<VoskaryAccountManager> weakManager = weak_from_this();
  authClient_->setOnDeprecationNotice(
      [weakManager](const std::vector<VoskaryDeprecationNotice>& notices) {
        if (auto manager = weakManager.lock()) manager->handleDeprecationNotices(notices);
      });
  std::weak_ptr<KeychainStorage> weakStorage = storage_;
  authClient_->setCurrentSessionProvider([weakStorage]() -> std::optional<StoredSession> {
    auto storage = weakStorage.lock();
    return storage ? readSession(storage.get()) : std::nullopt;
  });
  authClient_->setOnSessionRefreshed(
      [weakStorage](const std::string& spentToken, const VasResponse& issued) {
        if (auto storage = weakStorage.lock()) persistRefreshed(storage.get(), spentToken, issued);
      });
}

std::optional<StoredSession> VoskaryAccountManager::readSession(
    VoskaryAccountDataStorage* storage) {
  if (!storage) return std::nullopt;
  return storage->getJSON<StoredSession>(KeychainStorage::Keys::session);
}

StoredSession VoskaryAccountManager::storedSession(const VasResponse& answer) {
  return StoredSession{
      answer.vas,       answer.refreshToken,
      answer.expiresAt, VoskaryAccount{answer.voskaryAccountId, answer.email, std::nullopt},
      answer.appSlug,   platform::env().clock->now()};
}

void VoskaryAccountManager::writeSession(const StoredSession& session) {
  storage_->setJSON(session, KeychainStorage::Keys::session);
}

void VoskaryAccountManager::persistRefreshed(VoskaryAccountDataStorage* storage,
                                             const std::string& spentToken,
                                             const VasResponse& issued) {
  auto stored = readSession(storage);
  // A refresh never brings back a session that was signed out, nor replaces another sign-in.
  if (!stored) return;
  if (stored->refreshToken && *stored->refreshToken != spentToken) return;
  try {
    storage->setJSON(storedSession(issued), KeychainStorage::Keys::session);
  } catch (const std::exception& error) {
    std::string description = error.what();
    if (auto platformError = dynamic_cast<const platform::Error*>(&error))
      description = platformError->description();
    diagnosticLog().log(platform::SystemLogType::error,
                        "session persist after refresh failed: " + description);
  }
}

// --- Published fields --------------------------------------------------------------------

VoskaryAccountManager::State VoskaryAccountManager::state() const {
  std::lock_guard guard(lock_);
  return state_;
}

std::optional<LibVersionPolicy> VoskaryAccountManager::libVersionPolicy() const {
  std::lock_guard guard(lock_);
  return libVersionPolicy_;
}

std::optional<VoskaryDeprecationNotice> VoskaryAccountManager::lastDeprecationNotice() const {
  std::lock_guard guard(lock_);
  return lastDeprecationNotice_;
}

bool VoskaryAccountManager::isOffline() const {
  std::lock_guard guard(lock_);
  return isOffline_;
}

std::optional<bool> VoskaryAccountManager::lastAppleSignInIsNewUser() const {
  std::lock_guard guard(lock_);
  return lastAppleSignInIsNewUser_;
}

template <class Handlers>
std::unique_ptr<VoskaryAccountManager::StateSubscription> VoskaryAccountManager::subscription(
    Handlers VoskaryAccountManager::*handlers, typename Handlers::key_type key) {
  std::weak_ptr<VoskaryAccountManager> weakManager = weak_from_this();
  return std::make_unique<StateSubscription>([weakManager, handlers, key] {
    if (auto manager = weakManager.lock()) {
      std::lock_guard guard(manager->lock_);
      ((*manager).*handlers).erase(key);
    }
  });
}

std::unique_ptr<VoskaryAccountManager::StateSubscription> VoskaryAccountManager::observeChanges(
    FieldObserver observer) {
  std::uint64_t key;
  {
    std::lock_guard guard(lock_);
    key = nextObserver_++;
    fieldObservers_[key] = std::make_shared<FieldObserver>(std::move(observer));
  }
  return subscription(&VoskaryAccountManager::fieldObservers_, key);
}

void VoskaryAccountManager::notify(TrackedField field) {
  std::vector<std::shared_ptr<FieldObserver>> observers;
  {
    std::lock_guard guard(lock_);
    for (auto& [key, observer] : fieldObservers_) observers.push_back(observer);
  }
  for (auto& observer : observers) (*observer)(field);
}

void VoskaryAccountManager::setOffline(bool offline) {
  {
    std::lock_guard guard(lock_);
    if (isOffline_ == offline) return;
    isOffline_ = offline;
  }
  notify(TrackedField::isOffline);
}

void VoskaryAccountManager::setLastAppleSignInIsNewUser(std::optional<bool> value) {
  {
    std::lock_guard guard(lock_);
    if (lastAppleSignInIsNewUser_ == value) return;
    lastAppleSignInIsNewUser_ = value;
  }
  notify(TrackedField::lastAppleSignInIsNewUser);
}

// --- Subscriptions and transitions -------------------------------------------------------

std::unique_ptr<VoskaryAccountManager::StateSubscription> VoskaryAccountManager::onStateChange(
    StateHandler handler) {
  const std::string key = platform::UUID::random().uuidString();
  auto entry = std::make_shared<HandlerEntry>(std::move(handler));
  State current = State::signedOut();
  std::uint64_t generation = 0;
  {
    // The state is read together with the insert: a transition either sees this handler or
    // has already written the state read here.
    std::lock_guard guard(lock_);
    stateChangeHandlers_[key] = entry;
    current = state_;
    generation = generation_;
  }
  entry->deliver(current, generation);
  return subscription(&VoskaryAccountManager::stateChangeHandlers_, key);
}

void VoskaryAccountManager::transition(State newState) {
  std::vector<std::shared_ptr<HandlerEntry>> handlers;
  std::uint64_t generation = 0;
  bool changed = false;
  {
    std::lock_guard guard(lock_);
    changed = !(state_ == newState);
    state_ = newState;
    generation = ++generation_;
    for (auto& [key, entry] : stateChangeHandlers_) handlers.push_back(entry);
  }
  if (changed) notify(TrackedField::state);
  for (auto& entry : handlers) entry->deliver(newState, generation);
}

void VoskaryAccountManager::handleDeprecationNotices(
    const std::vector<VoskaryDeprecationNotice>& notices) {
  std::weak_ptr<VoskaryAccountManager> weakManager = weak_from_this();
  for (const auto& notice : notices) {
    platform::env().mainLoop->post([weakManager, notice] {
      auto manager = weakManager.lock();
      if (!manager) return;
      bool policyChanged = false;
      bool noticeChanged = false;
      {
        std::lock_guard guard(manager->lock_);
        noticeChanged = manager->lastDeprecationNotice_ != notice;
        manager->lastDeprecationNotice_ = notice;
        if (auto client = notice.asClient()) {
          LibVersionPolicy policy{client->minVersion, client->currentVersion, std::nullopt,
                                  client->reason, std::nullopt};
          policyChanged = manager->libVersionPolicy_ != policy;
          manager->libVersionPolicy_ = policy;
        }
      }
      if (noticeChanged) manager->notify(TrackedField::lastDeprecationNotice);
      if (policyChanged) manager->notify(TrackedField::libVersionPolicy);
    });
  }
}

bool VoskaryAccountManager::isDefinitiveAuthFailure(const VoskaryError& error) {
  if (error == VoskaryError::sessionExpired()) return true;
  auto server = error.as<VoskaryError::ServerError>();
  return server && server->code == "invalid_grant";
}

std::optional<std::string> VoskaryAccountManager::dpopThumbprint() const {
  if (!dpopSigner_) return std::nullopt;
  return dpopSigner_->jktThumbprint();
}

std::optional<std::string> VoskaryAccountManager::generateDPoPProof(
    const platform::URL& htu, const std::string& htm,
    const std::optional<std::string>& accessToken) const {
  if (!dpopSigner_) return std::nullopt;
  return dpopSigner_->generateProof(htu, htm, accessToken);
}

platform::Task<void> VoskaryAccountManager::onMain(std::function<void()> work) {
  auto self = shared_from_this();
  auto origin = (co_await platform::currentTask())->executor;
  co_await platform::resumeOnMain();
  work();
  co_await platform::resumeOn(origin);
}

// --- Browser sign-in ---------------------------------------------------------------------

platform::Task<VoskaryAccount> VoskaryAccountManager::signIn(
    std::shared_ptr<platform::Window> window, std::optional<OAuthDriver::ProviderHint> provider,
    std::optional<std::string> installID) {
  if (config_.preferredScheme() == AuthScheme::systemBrowser)
    return signInViaSystemBrowser(provider, std::move(installID));
  return onBackground(
      signInBody(std::move(window), provider, std::move(installID), OAuthDriver::UserAgent::sheet));
}

platform::Task<VoskaryAccount> VoskaryAccountManager::signInViaSystemBrowser(
    std::optional<OAuthDriver::ProviderHint> provider, std::optional<std::string> installID) {
  return onBackground(
      signInBody(nullptr, provider, std::move(installID), OAuthDriver::UserAgent::systemBrowser));
}

platform::Task<void> VoskaryAccountManager::failSignIn(std::optional<State> before,
                                                       std::exception_ptr error) {
  auto self = shared_from_this();
  bool signInFailure = false;
  try {
    std::rethrow_exception(error);
  } catch (const platform::Error&) {
    signInFailure = true;
  } catch (...) {
  }
  if (!signInFailure) {
    // Not one of the sign-in's failures (memory, a broken answer that threw something of its
    // own): the state goes back to what it was, and the caller gets the exception itself.
    std::function<void()> back = [self, before] {
      if (before && self->state() == State::signingIn()) self->transition(*before);
    };
    co_await onMain(std::move(back));
    std::rethrow_exception(error);
  }
  VoskaryError failure = signInError(error);
  std::function<void()> work = [self, failure] { self->transition(State::failed(failure)); };
  co_await onMain(std::move(work));
  throw failure;
}

platform::Task<VoskaryAccount> VoskaryAccountManager::signInBody(
    std::shared_ptr<platform::Window> window, std::optional<OAuthDriver::ProviderHint> provider,
    std::optional<std::string> installID, OAuthDriver::UserAgent agent) {
  auto self = shared_from_this();
  auto before = std::make_shared<std::optional<State>>();
  std::function<void()> start = [self, before] {
    *before = self->state();
    self->transition(State::signingIn());
  };
  co_await onMain(std::move(start));
  std::exception_ptr failure;
  try {
    std::optional<OAuthAuthorizationResult> result;
    if (agent == OAuthDriver::UserAgent::systemBrowser) {
      result = co_await oauthDriver_->authorizeViaSystemBrowser(provider);
    } else {
      result = co_await oauthDriver_->authorize(window, provider);
    }
    co_await platform::resumeOn(platform::env().backgroundPool);
    co_return co_await exchange(std::move(*result), std::move(installID));
  } catch (...) {
    failure = std::current_exception();
  }
  co_await failSignIn(*before, failure);  // throws
}

platform::Task<VoskaryAccount> VoskaryAccountManager::exchange(
    OAuthAuthorizationResult result, std::optional<std::string> installID) {
  auto self = shared_from_this();
  AuthClient::ExchangeBody body{config_.appSlug(),
                                std::move(result.authorizationCode),
                                std::move(result.codeVerifier),
                                config_.redirectURI().absoluteString(),
                                config_.clientVersion(),
                                installID ? std::move(installID) : config_.installID()};
  std::string text = VoskaryJSON::encoder().encode(body);
  AuthClient::SendResult answer;
  std::optional<AuthClient::IssuedDespiteUpgrade<AuthClient::SendResult>> issued;
  try {
    answer = co_await authClient_->performWithAuthRecovery(
        std::string(kExchangePath), "POST", platform::Bytes(text.begin(), text.end()), std::nullopt,
        {.keepIssuedOnUpgrade = true});
  } catch (const AuthClient::IssuedDespiteUpgrade<AuthClient::SendResult>& despite) {
    issued = despite;
  }
  if (issued) {
    // The service has spent the code on a session: keep it, then report the upgrade.
    std::optional<VasResponse> decoded;
    try {
      decoded = VoskaryJSON::decoder().decode<VasResponse>(issued->answer().data);
    } catch (const platform::Error&) {
    }
    if (decoded) writeSession(storedSession(*decoded));
    throw issued->error();
  }
  authClient_->mapStatusError(*answer.response, answer.data, kExchangePath);
  std::optional<VasResponse> decoded;
  try {
    decoded = VoskaryJSON::decoder().decode<VasResponse>(answer.data);
  } catch (const platform::Error&) {
  }
  if (!decoded) {
    if (logger_) {
      logger_(VoskaryLogLevel::error, "request_decode_failed",
              VoskaryRedaction::decodeFailure(kExchangePath, std::string("VasResponse")));
    }
    throw VoskaryError::malformedResponse("VasResponse");
  }
  co_return co_await complete(std::move(*decoded));
}

platform::Task<VoskaryAccount> VoskaryAccountManager::complete(VasResponse exchange) {
  auto self = shared_from_this();
  StoredSession session = storedSession(exchange);
  writeSession(session);
  VoskaryAccount account = session.account;
  std::function<void()> publish = [self, account] { self->transition(State::signedIn(account)); };
  co_await onMain(std::move(publish));
  co_return account;
}

bool VoskaryAccountManager::resume(const platform::URL& url) {
  return oauthDriver_->resume(url);
}

bool VoskaryAccountManager::cancelSignIn() {
  return oauthDriver_->cancelInFlight();
}

void VoskaryAccountManager::activateForAuthReturn(std::shared_ptr<platform::Window> window) {
  if (!platform::hasEnvironment() || !platform::env().desktop) return;
  auto& application = platform::Application::shared();
  application.activate();
  if (!window) window = application.keyWindow();
  if (!window) window = application.mainWindow();
  const auto windows = application.windows();
  if (!window) {
    for (const auto& candidate : windows) {
      if (candidate->isVisible() && candidate->canBecomeKey()) {
        window = candidate;
        break;
      }
    }
  }
  if (!window) {
    for (const auto& candidate : windows) {
      if (candidate->isVisible()) {
        window = candidate;
        break;
      }
    }
  }
  if (!window) return;
  window->makeKeyAndOrderFront();
  window->orderFrontRegardless();
}

// --- Sign in with Apple ------------------------------------------------------------------

platform::Task<VoskaryAccount> VoskaryAccountManager::signInWithApple(
    std::shared_ptr<platform::Window> window, std::optional<std::string> installID) {
  return onBackground(signInWithAppleBody(std::move(window), std::move(installID)));
}

platform::Task<VoskaryAccount> VoskaryAccountManager::signInWithAppleBody(
    std::shared_ptr<platform::Window> window, std::optional<std::string> installID) {
  auto self = shared_from_this();
  // The flag is written on the main queue with the transitions, in their order, so that the
  // interface never sees it out of step with the state.
  auto before = std::make_shared<std::optional<State>>();
  std::function<void()> start = [self, before] {
    *before = self->state();
    self->transition(State::signingIn());
    self->setLastAppleSignInIsNewUser(std::nullopt);
  };
  co_await onMain(std::move(start));
  std::exception_ptr failure;
  try {
    SignInWithAppleDriver driver(config_);
    SignInWithAppleDriver::AppleAuthorization credential = co_await driver.authorize(window);
    co_await platform::resumeOn(platform::env().backgroundPool);

    AppleAuthcodeResponse answer;
    std::optional<VoskaryError> upgrade;
    try {
      answer = co_await authClient_->exchangeAppleAuthCode(credential.authorizationCode,
                                                           credential.identityToken, installID);
    } catch (const AuthClient::IssuedDespiteUpgrade<AppleAuthcodeResponse>& issued) {
      answer = issued.answer();
      upgrade = issued.error();
    }
    if (!answer.vas || !answer.voskaryAccountId || !answer.email || !answer.expiresAt) {
      throw upgrade ? *upgrade : VoskaryError::authorizationFailed("apple_authcode_unavailable");
    }
    StoredSession session{
        *answer.vas,       answer.refreshToken,
        *answer.expiresAt, VoskaryAccount{*answer.voskaryAccountId, *answer.email, std::nullopt},
        config_.appSlug(), platform::env().clock->now()};
    writeSession(session);
    // The service issued the session before it asked for the upgrade: it stays stored.
    if (upgrade) throw *upgrade;

    VoskaryAccount account = session.account;
    std::optional<bool> isNewUser = answer.isNewUser;
    std::function<void()> finish = [self, account, isNewUser] {
      self->setOffline(false);
      self->setLastAppleSignInIsNewUser(isNewUser);
      self->transition(State::signedIn(account));
    };
    co_await onMain(std::move(finish));
    co_return account;
  } catch (...) {
    failure = std::current_exception();
  }
  co_await failSignIn(*before, failure);  // throws
}

// --- Restore, recovery, sign-out ---------------------------------------------------------

platform::Task<std::optional<VoskaryAccount>> VoskaryAccountManager::refreshStored(
    StoredSession stored) {
  auto self = shared_from_this();
  const std::string spent = *stored.refreshToken;
  VasResponse issued = co_await authClient_->refreshSerialized(spent);
  // The refresh hook has written the answer if the stored session was still the refreshed
  // one. A sign-out or another sign-in in between wins: the answer is dropped.
  auto now = readSession();
  if (!now) co_return std::nullopt;
  const bool written = now->vas == issued.vas;
  const bool stillOurs = !now->refreshToken || *now->refreshToken == spent;
  if (!written && !stillOurs) co_return std::nullopt;
  co_return co_await complete(std::move(issued));
}

platform::Task<std::optional<VoskaryAccount>> VoskaryAccountManager::restore() {
  return onBackground(restoreBody());
}

platform::Task<std::optional<VoskaryAccount>> VoskaryAccountManager::restoreBody() {
  auto self = shared_from_this();
  auto stored = readSession();
  if (!stored) co_return std::nullopt;
  // One reading of the clock: a session expiring between two readings would fail both tests.
  const platform::Date now = platform::env().clock->now();
  const bool expired = !(now < stored->expiresAt);

  if (!expired) {
    VoskaryAccount account = stored->account;
    std::function<void()> publish = [self, account] { self->transition(State::signedIn(account)); };
    co_await onMain(std::move(publish));
    co_return account;
  }

  std::optional<VoskaryError> failure;
  if (stored->refreshToken) {
    try {
      auto refreshed = co_await refreshStored(*stored);
      if (!refreshed) co_return std::nullopt;
      std::function<void()> online = [self] { self->setOffline(false); };
      co_await onMain(std::move(online));
      co_return refreshed;
    } catch (const VoskaryError& error) {
      failure = error;
    } catch (const platform::Error& error) {
      failure = VoskaryError::authorizationFailed(error.description());
    }
    if (!isDefinitiveAuthFailure(*failure)) {
      // Work from the stored session until the service can be reached, unless a sign-out or
      // another sign-in came in between.
      auto current = readSession();
      if (!current || current->account.voskaryAccountId != stored->account.voskaryAccountId)
        co_return std::nullopt;
      VoskaryAccount account = current->account;
      std::function<void()> offline = [self, account] {
        self->transition(State::signedIn(account));
        self->setOffline(true);
      };
      co_await onMain(std::move(offline));
      co_return account;
    }
  }

  // Expired for good: forget it, unless another sign-in has replaced it meanwhile.
  if (!sameSession(readSession(), *stored)) co_return std::nullopt;
  deleteSession();
  std::function<void()> end = [self] {
    if (self->state().as<State::SignedIn>()) self->transition(State::signedOut());
  };
  co_await onMain(std::move(end));
  co_return std::nullopt;
}

platform::Task<bool> VoskaryAccountManager::recoverRejectedSession() {
  return onBackground(recoverBody());
}

platform::Task<bool> VoskaryAccountManager::recoverBody() {
  auto self = shared_from_this();
  auto stored = readSession();
  if (stored && stored->refreshToken) {
    std::optional<VoskaryError> failure;
    try {
      auto refreshed = co_await refreshStored(*stored);
      if (!refreshed) co_return readSession().has_value();
      std::function<void()> online = [self] { self->setOffline(false); };
      co_await onMain(std::move(online));
      co_return true;
    } catch (const VoskaryError& error) {
      failure = error;
    } catch (const platform::Error& error) {
      failure = VoskaryError::authorizationFailed(error.description());
    }
    if (!isDefinitiveAuthFailure(*failure)) {
      std::function<void()> offline = [self] { self->setOffline(true); };
      co_await onMain(std::move(offline));
      co_return true;
    }
    // Another sign-in that replaced the rejected session is not this one's to end.
    if (!sameSession(readSession(), *stored)) co_return readSession().has_value();
  }
  deleteSession();
  std::function<void()> end = [self] { self->transition(State::signedOut()); };
  co_await onMain(std::move(end));
  co_return false;
}

platform::Task<void> VoskaryAccountManager::signOut() {
  return onBackground(signOutBody());
}

platform::Task<void> VoskaryAccountManager::signOutBody() {
  auto self = shared_from_this();
  if (auto stored = readSession()) {
    try {
      co_await authClient_->revokeSession(stored->vas);
    } catch (const platform::Error&) {
      // Signing out ends the session here whether or not the service heard of it.
    }
  }
  deleteSession();
  std::function<void()> end = [self] { self->transition(State::signedOut()); };
  co_await onMain(std::move(end));
}

platform::Task<std::string> VoskaryAccountManager::getAppDataToken() {
  auto self = shared_from_this();
  auto stored = readSession();
  if (!stored) throw VoskaryError::notSignedIn();
  co_return co_await authClient_->getAppDataToken(stored->vas);
}

}  // namespace voskary
