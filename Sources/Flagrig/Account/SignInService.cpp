#include "SignInService.h"

#include <charconv>

#include "Flagrig/Account/VoskaryAccountBridge.h"
#include "Flagrig/Analytics/Analytics.h"
#include "Flagrig/Diagnostics/DiagnosticLogBuffer.h"
#include "Flagrig/Diagnostics/Log.h"
#include "Platform/Desktop/Application.h"
#include "Platform/Desktop/Window.h"
#include "Platform/Foundation/Environment.h"
#include "Platform/Foundation/JSONSerialization.h"
#include "Platform/Foundation/NotificationCenter.h"
#include "Platform/Foundation/RunLoop.h"
#include "Platform/Foundation/SharedInstance.h"
#include "Platform/Foundation/UserDefaults.h"
#include "Platform/Network/HTTPSession.h"

namespace flagrig {

using voskary::VoskaryError;
using State = voskary::VoskaryAccountManager::State;

namespace {

constexpr std::string_view kTransport = "system_browser";

platform::SharedInstance<SignInService>& instance() {
  static platform::SharedInstance<SignInService> service;
  return service;
}

platform::Value::Dictionary properties(
    std::initializer_list<std::pair<const char*, std::string>> entries) {
  platform::Value::Dictionary out;
  for (const auto& [key, value] : entries) out.emplace(key, platform::Value(value));
  return out;
}

// A server's error code as an analytics value: a short token, or "other" for anything that
// could carry text of the server's.
std::string codeToken(const std::optional<std::string>& code) {
  if (!code) return "none";
  if (code->empty() || code->size() > 64) return "other";
  for (char c : *code) {
    const bool token = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       c == '_' || c == '-' || c == '.';
    if (!token) return "other";
  }
  return *code;
}

// The exception being handled, unless it is a broken precondition, which no path may swallow.
void rethrowProgrammingErrors(std::exception_ptr error) {
  try {
    std::rethrow_exception(error);
  } catch (const platform::ProgrammingError&) {
    throw;
  } catch (...) {
  }
}

}  // namespace

SignInService& SignInService::shared() {
  return instance().get();
}

std::shared_ptr<SignInService> SignInService::sharedPointer() {
  return instance().pointer();
}

SignInService::SignInService() {
  clearLegacyDefaults();
  auto configuration = platform::URLSessionConfiguration::ephemeral();
  configuration.timeoutIntervalForRequest = 15;
  configuration.timeoutIntervalForResource = 20;
  urlSession_ = platform::env().httpSession->makeSession(configuration);
}

void SignInService::clearLegacyDefaults() {
  auto& defaults = *platform::env().defaults;
  for (auto key : legacyDefaultsKeys) defaults.removeObject(key);
}

// --- The mirror ----------------------------------------------------------------------------

bool SignInService::isSignedIn() const {
  std::lock_guard guard(mutex_);
  return isSignedIn_;
}

std::optional<std::string> SignInService::voskaryAccountID() const {
  std::lock_guard guard(mutex_);
  return voskaryAccountID_;
}

std::optional<std::string> SignInService::accountEmail() const {
  std::lock_guard guard(mutex_);
  return accountEmail_;
}

SignInState::Snapshot SignInService::snapshot() const {
  std::lock_guard guard(mutex_);
  return {isSignedIn_, voskaryAccountID_};
}

std::shared_ptr<VoskaryAccountBridge> SignInService::bridge() const {
  std::lock_guard guard(mutex_);
  return bridge_.lock();
}

void SignInService::mirrorSignedIn(std::string accountID, std::string email) {
  {
    std::lock_guard guard(mutex_);
    isSignedIn_ = true;
    voskaryAccountID_ = std::move(accountID);
    accountEmail_ = std::move(email);
  }
  platform::env().notificationCenter->post(std::string(subscriptionDidChange), this);
}

void SignInService::clearMirror() {
  {
    std::lock_guard guard(mutex_);
    isSignedIn_ = false;
    voskaryAccountID_.reset();
    accountEmail_.reset();
  }
  platform::env().notificationCenter->post(std::string(subscriptionDidChange), this);
}

void SignInService::attach(const std::shared_ptr<VoskaryAccountBridge>& bridge) {
  {
    std::lock_guard guard(mutex_);
    bridge_ = bridge;
  }
  SignInState::install(shared_from_this());
  std::weak_ptr<SignInService> weak = weak_from_this();
  // The handler may run on any thread; the mirror changes only on the main queue, in the
  // order of the transitions. A sign-in's last transition is posted before the sign-in's
  // caller resumes there, so the caller reads the new account.
  auto subscription = bridge->manager()->onStateChange([weak](const State& state) {
    platform::env().mainLoop->post([weak, state] {
      if (auto self = weak.lock()) self->applyManagerState(state);
    });
  });
  // Released outside the lock: cancelling takes the manager's lock.
  std::swap(managerStateSubscription_, subscription);
}

void SignInService::applyManagerState(const State& state) {
  if (const auto* signedIn = state.as<State::SignedIn>()) {
    mirrorSignedIn(signedIn->account.voskaryAccountId.raw, signedIn->account.emailPrimary);
  } else if (state.as<State::SignedOut>()) {
    clearMirror();
  }
}

// --- Sign-in and sign-out ------------------------------------------------------------------

platform::Task<voskary::VoskaryAccount> SignInService::runSignIn(
    std::shared_ptr<VoskaryAccountBridge> bridge, std::shared_ptr<platform::Window> window,
    std::optional<ProviderHint> provider) {
  if (signInCallForTesting_) return signInCallForTesting_(std::move(window), provider);
  return bridge->manager()->signIn(std::move(window), provider, std::nullopt);
}

platform::Task<std::exception_ptr> SignInService::trackedSignIn(
    std::shared_ptr<VoskaryAccountBridge> bridge, std::shared_ptr<platform::Window> window,
    std::optional<ProviderHint> provider, std::string source, std::string completedLogLine) {
  auto self = shared_from_this();
  const std::string providerName = providerText(provider);
  auto track = [&](std::string_view event) {
    Analytics::track(event, properties({{"source", source},
                                        {"auth_transport", std::string(kTransport)},
                                        {"provider_hint", providerName}}));
  };
  track("auth_started");
  std::exception_ptr failure;
  try {
    co_await self->runSignIn(std::move(bridge), std::move(window), provider);
  } catch (...) {
    failure = std::current_exception();
  }
  if (failure) co_return failure;
  if (auto id = self->voskaryAccountID()) Analytics::identify(*id);
  if (!completedLogLine.empty()) {
    DiagnosticLogBuffer::shared().add("info", "auth", completedLogLine);
  }
  track("auth_completed");
  co_return nullptr;
}

std::string SignInService::providerText(std::optional<ProviderHint> provider) {
  return provider ? std::string(voskary::OAuthDriver::rawValue(*provider)) : "none";
}

platform::Task<SignInService::SignInResult> SignInService::beginSignIn(
    std::shared_ptr<platform::Window> window, std::optional<ProviderHint> provider) {
  auto self = shared_from_this();
  co_await platform::resumeOnMain();
  co_await self->signOutsFinished();
  auto bridge = self->bridge();
  if (!bridge) co_return SignInResult::failed("Service unavailable.");
  const std::string providerName = providerText(provider);
  std::exception_ptr failure = co_await self->trackedSignIn(
      bridge, std::move(window), provider, "onboarding",
      "Sign-in completed at step=login_first provider=" + providerName +
          " transport=" + std::string(kTransport));
  if (!failure) co_return SignInResult::success();
  rethrowProgrammingErrors(failure);
  try {
    std::rethrow_exception(failure);
  } catch (const VoskaryError& error) {
    if (error == VoskaryError::authorizationCancelled()) {
      DiagnosticLogBuffer::shared().add(
          "info", "auth", "Sign-in cancelled by user at step=login_first provider=" + providerName);
      Analytics::track("auth_failed", properties({{"error", "cancelled"},
                                                  {"auth_transport", std::string(kTransport)}}));
      co_return SignInResult::cancelled();
    }
    Log::error("auth",
               "Sign-in failed at step=login_first provider=" + providerName +
                   " cause=" + authErrorCode(error),
               &error);
    Analytics::track("auth_failed", properties({{"error", analyticsErrorName(error)},
                                                {"auth_transport", std::string(kTransport)}}));
    co_return SignInResult::failed(friendlyError(error));
  } catch (const std::exception& error) {
    Log::error("auth",
               "Sign-in failed at step=login_first provider=" + providerName + " cause=unexpected",
               &error);
    Analytics::track("auth_failed", properties({{"error", analyticsErrorName(error)},
                                                {"auth_transport", std::string(kTransport)}}));
    const auto* platformError = dynamic_cast<const platform::Error*>(&error);
    co_return SignInResult::failed(platformError ? platformError->description()
                                                 : std::string(error.what()));
  } catch (...) {
    Log::error("auth",
               "Sign-in failed at step=login_first provider=" + providerName + " cause=unexpected");
    Analytics::track("auth_failed", properties({{"error", "unknown"},
                                                {"auth_transport", std::string(kTransport)}}));
    co_return SignInResult::failed("Something went wrong. Try again.");
  }
}

platform::Task<void> SignInService::signIn(std::optional<ProviderHint> provider) {
  auto self = shared_from_this();
  co_await platform::resumeOnMain();
  co_await self->signOutsFinished();
  std::shared_ptr<platform::Window> window;
  if (platform::env().desktop) {
    auto& application = platform::Application::shared();
    window = application.keyWindow();
    if (!window) window = application.mainWindow();
    if (!window) {
      auto windows = application.windows();
      if (!windows.empty()) window = windows.front();
    }
  }
  if (!window) throw SubscriptionError::unavailable();
  auto bridge = self->bridge();
  if (!bridge) throw SubscriptionError::unavailable();
  const std::string providerName = providerText(provider);
  std::exception_ptr failure =
      co_await self->trackedSignIn(bridge, std::move(window), provider, "sign_in", {});
  if (!failure) co_return;
  rethrowProgrammingErrors(failure);
  std::string errorName = "unknown";
  try {
    std::rethrow_exception(failure);
  } catch (const VoskaryError& error) {
    errorName =
        error == VoskaryError::authorizationCancelled() ? "cancelled" : analyticsErrorName(error);
  } catch (const std::exception& error) {
    errorName = analyticsErrorName(error);
  } catch (...) {
  }
  Analytics::track("auth_failed", properties({{"error", errorName},
                                              {"auth_transport", std::string(kTransport)},
                                              {"provider_hint", providerName}}));
  // A cancel is not an error to the settings window.
  if (errorName == "cancelled") co_return;
  std::rethrow_exception(failure);
}

void SignInService::signOut() {
  auto work = [](std::weak_ptr<SignInService> weak) -> platform::Task<void> {
    // Ends this sign-out's count however the task leaves, and lets waiting sign-ins go.
    struct InFlight {
      std::weak_ptr<SignInService> service;
      ~InFlight() {
        auto self = service.lock();
        if (!self || --self->signOutsInFlight_ > 0) return;
        auto waiters = std::move(self->signOutWaiters_);
        self->signOutWaiters_.clear();
        for (const auto& waiter : waiters) waiter.resume();
      }
    } inFlight{weak};
    std::shared_ptr<VoskaryAccountBridge> bridge;
    if (auto self = weak.lock()) bridge = self->bridge();
    if (bridge) {
      std::exception_ptr failure;
      try {
        co_await bridge->manager()->signOut();
      } catch (...) {
        failure = std::current_exception();
      }
      if (failure) {
        rethrowProgrammingErrors(failure);
        try {
          std::rethrow_exception(failure);
        } catch (const std::exception& error) {
          Log::warn("auth", "signOut failed \u2014 continuing with local clear", &error);
        } catch (...) {
          Log::warn("auth", "signOut failed \u2014 continuing with local clear");
        }
      }
    }
    // Signing out never fails here: the local clear happens whatever the manager did.
    if (auto self = weak.lock()) self->clearMirror();
  };
  // Cleared at once, not only once the manager is done: whatever opens next (the first-run
  // flow after the settings' "Sign out") must not show the account that is going away.
  clearMirror();
  ++signOutsInFlight_;
  platform::spawn(work(weak_from_this()));
}

platform::Task<void> SignInService::signOutsFinished() {
  auto self = shared_from_this();
  co_await platform::resumeOnMain();
  while (self->signOutsInFlight_ > 0) {
    auto wait = [self](platform::Continuation<void> resume) {
      self->signOutWaiters_.push_back(std::move(resume));
    };
    co_await platform::withContinuation<void>(std::move(wait));
  }
}

// --- Authorized requests -------------------------------------------------------------------

std::map<std::string, std::string> SignInService::authorizationHeaders() const {
  auto bridge = this->bridge();
  if (!bridge) return {};
  auto session = bridge->currentSession();
  if (!session) return {};
  return {{"Authorization", "Bearer " + session->sessionToken},
          {"X-Voskary-Account-Id", session->accountID},
          {"X-Voskary-App", std::string(VoskaryAccountBridge::appSlug)},
          {"X-Voskary-Platform", "macos"}};
}

platform::HTTPRequest SignInService::authorizedRequest(const platform::URL& url,
                                                       const std::string& sessionToken) const {
  platform::HTTPRequest request(url);
  request.timeoutInterval = 60;
  request.setValue("Bearer " + sessionToken, "Authorization");
  if (auto id = voskaryAccountID()) request.setValue(*id, "X-Voskary-Account-Id");
  request.setValue(VoskaryAccountBridge::appSlug, "X-Voskary-App");
  request.setValue("macos", "X-Voskary-Platform");
  return request;
}

// --- Texts ---------------------------------------------------------------------------------

std::string SignInService::friendlyError(const std::exception& error) {
  if (const auto* voskary = dynamic_cast<const VoskaryError*>(&error)) {
    switch (voskary->kind()) {
      case VoskaryError::Kind::serverError:
        return "Something went wrong on our end. Try again in a minute.";
      case VoskaryError::Kind::notSignedIn:
        return "You need to sign in first.";
      case VoskaryError::Kind::sessionExpired:
        return "Your session expired. Sign in again.";
      case VoskaryError::Kind::networkUnavailable:
        return "No internet connection. Try again when you're online.";
      case VoskaryError::Kind::authorizationCancelled:
        return "Sign-in was cancelled. Try again.";
      case VoskaryError::Kind::clientKilled:
      case VoskaryError::Kind::requiresUpgrade:
        // The service no longer takes this version: trying again cannot help.
        return "This version of Flagrig must be updated to sign in.";
      default:
        return "Sign-in failed. Try again.";
    }
  }
  if (const auto* subscription = dynamic_cast<const SubscriptionError*>(&error))
    return subscription->description();
  return "Something went wrong. Try again.";
}

std::string SignInService::authErrorCode(const VoskaryError& error) {
  switch (error.kind()) {
    case VoskaryError::Kind::serverError: {
      const auto* server = error.as<VoskaryError::ServerError>();
      return "server_error(" + std::to_string(server->status) + "," +
             server->code.value_or("none") + ")";
    }
    case VoskaryError::Kind::malformedResponse:
      return "malformed_response";
    case VoskaryError::Kind::authorizationFailed:
      return "authorization_failed";
    case VoskaryError::Kind::keychainFailure:
      return "keychain_failure";
    case VoskaryError::Kind::notSignedIn:
      return "not_signed_in";
    case VoskaryError::Kind::sessionExpired:
      return "session_expired";
    case VoskaryError::Kind::networkUnavailable:
      return "network_unavailable";
    case VoskaryError::Kind::authorizationCancelled:
      return "cancelled";
    default:
      return "auth_failed";
  }
}

std::string SignInService::analyticsErrorName(const std::exception& error) {
  if (const auto* voskary = dynamic_cast<const VoskaryError*>(&error)) {
    std::string name(voskary->caseName());
    if (const auto* server = voskary->as<VoskaryError::ServerError>())
      return name + "(status: " + std::to_string(server->status) +
             ", code: " + codeToken(server->code) + ")";
    if (const auto* keychain = voskary->as<VoskaryError::KeychainFailure>())
      return name + "(status: " + std::to_string(keychain->status) + ")";
    return name;
  }
  if (const auto* subscription = dynamic_cast<const SubscriptionError*>(&error)) {
    if (auto status = subscription->status())
      return subscription->caseName() + "(status: " + std::to_string(*status) + ")";
    return subscription->caseName();
  }
  // Another component's error: its domain and number only, never its message.
  return platform::bridgedDomain(error) + "(code: " + std::to_string(platform::bridgedCode(error)) +
         ")";
}

std::optional<std::string> SignInService::responseReason(std::span<const std::uint8_t> body) {
  platform::JSON json;
  try {
    json = platform::JSONSerialization::parse(
        std::string_view(reinterpret_cast<const char*>(body.data()), body.size()));
  } catch (const platform::Error&) {
    return std::nullopt;
  }
  if (!json.is_object()) return std::nullopt;
  for (const char* key : {"reason", "error", "message"}) {
    auto found = json.find(key);
    if (found == json.end()) continue;
    if (found->is_string()) return found->get<std::string>();
    if (found->is_number_unsigned()) return std::to_string(found->get<std::uint64_t>());
    if (found->is_number_integer()) return std::to_string(found->get<std::int64_t>());
    if (found->is_number_float()) {
      char buffer[64];
      auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, found->get<double>());
      if (ec == std::errc()) return std::string(buffer, end);
    }
  }
  return std::nullopt;
}

}  // namespace flagrig
