#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "Platform/Foundation/Date.h"
#include "Platform/Foundation/Executor.h"
#include "Platform/Foundation/Value.h"
#include "TarnwickCore/OIDAuthorizationRequest.h"
#include "TarnwickCore/OIDAuthorizationResponse.h"
#include "TarnwickCore/OIDError.h"
#include "TarnwickCore/OIDExternalUserAgent.h"
#include "TarnwickCore/OIDExternalUserAgentSession.h"
#include "TarnwickCore/OIDRegistrationResponse.h"
#include "TarnwickCore/OIDTokenResponse.h"

namespace platform {
class Window;
}

namespace tarnwick {

class OIDAuthState;

// Told after every change of an authorization state, on the thread of the change.
class OIDAuthStateChangeDelegate {
 public:
  virtual ~OIDAuthStateChangeDelegate() = default;
  virtual void didChangeState(OIDAuthState& state) = 0;
};

// Told when the provider refused the authorization (the state then needs a new sign-in), and
// optionally of failures that may pass, such as a refresh without network.
class OIDAuthStateErrorDelegate {
 public:
  virtual ~OIDAuthStateErrorDelegate() = default;
  virtual void authStateDidEncounterAuthorizationError(OIDAuthState& state,
                                                       const OIDError& error) = 0;
  virtual void authStateDidEncounterTransientError(OIDAuthState&, const OIDError&) {}
};

// The record of one authorization: the last authorization, token and registration responses,
// the refresh token and scope, the last authorization error, and the actions waiting for fresh
// tokens. It can run a whole sign-in (the authorization, then the code exchange) and refreshes
// the tokens when an action needs them. Create it with std::make_shared.
class OIDAuthState : public std::enable_shared_from_this<OIDAuthState> {
 public:
  using Callback = std::function<void(const std::shared_ptr<OIDAuthState>& state,
                                      const std::optional<OIDError>& error)>;
  using Action = std::function<void(const std::optional<std::string>& accessToken,
                                    const std::optional<std::string>& idToken,
                                    const std::optional<OIDError>& error)>;

  // Presents `request`; a "code" response is exchanged for tokens before the callback runs.
  static std::shared_ptr<OIDExternalUserAgentSession> authStateByPresentingAuthorizationRequest(
      const OIDAuthorizationRequest& request,
      std::shared_ptr<OIDExternalUserAgent> externalUserAgent, Callback callback);
  // In a web-authentication sheet on `presentingWindow` (the browser where there is none).
  static std::shared_ptr<OIDExternalUserAgentSession> authStateByPresentingAuthorizationRequest(
      const OIDAuthorizationRequest& request, std::shared_ptr<platform::Window> presentingWindow,
      BrowserSession session, Callback callback);
  // In the default browser.
  static std::shared_ptr<OIDExternalUserAgentSession> authStateByPresentingAuthorizationRequest(
      const OIDAuthorizationRequest& request, Callback callback);

  // Applies the registration, authorization and token responses in that order, each when given.
  explicit OIDAuthState(std::optional<OIDAuthorizationResponse> authorizationResponse,
                        std::optional<OIDTokenResponse> tokenResponse = std::nullopt,
                        std::optional<OIDRegistrationResponse> registrationResponse = std::nullopt);

  // Nothing while an authorization error is held; else from the last token response when there
  // is one, otherwise from the last authorization response.
  std::optional<std::string> accessToken() const;
  std::optional<std::string> tokenType() const;
  std::optional<platform::Date> accessTokenExpirationDate() const;
  std::optional<std::string> idToken() const;

  const std::optional<std::string>& refreshToken() const { return refreshToken_; }
  const std::optional<std::string>& scope() const { return scope_; }
  const std::optional<OIDAuthorizationResponse>& lastAuthorizationResponse() const {
    return lastAuthorizationResponse_;
  }
  const std::optional<OIDTokenResponse>& lastTokenResponse() const { return lastTokenResponse_; }
  const std::optional<OIDRegistrationResponse>& lastRegistrationResponse() const {
    return lastRegistrationResponse_;
  }
  const std::optional<OIDError>& authorizationError() const { return authorizationError_; }
  bool isAuthorized() const;

  // Held weakly.
  void setStateChangeDelegate(std::weak_ptr<OIDAuthStateChangeDelegate> delegate) {
    stateChangeDelegate_ = std::move(delegate);
  }
  void setErrorDelegate(std::weak_ptr<OIDAuthStateErrorDelegate> delegate) {
    errorDelegate_ = std::move(delegate);
  }

  void updateWithRegistrationResponse(const OIDRegistrationResponse& response);
  void updateWithAuthorizationResponse(const std::optional<OIDAuthorizationResponse>& response,
                                       const std::optional<OIDError>& error);
  void updateWithTokenResponse(const std::optional<OIDTokenResponse>& response,
                               const std::optional<OIDError>& error);
  void updateWithAuthorizationError(const OIDError& error);

  // A "refresh_token" grant with the last authorization request's client and the held refresh
  // token. Throws ProgrammingError without a refresh token.
  OIDTokenRequest tokenRefreshRequest(OIDParameters additionalParameters = {},
                                      OIDParameters additionalHeaders = {}) const;

  void setNeedsTokenRefresh() { needsTokenRefresh_ = true; }

  // Runs `action` with fresh tokens on `queue` (the main queue by default), refreshing first
  // when the tokens are stale. Actions that arrive while a refresh runs wait for it: one
  // refresh serves them all.
  void performActionWithFreshTokens(Action action, OIDParameters additionalRefreshParameters = {},
                                    std::shared_ptr<platform::Executor> queue = nullptr);

  platform::Value archive() const;
  static std::shared_ptr<OIDAuthState> fromArchive(const platform::Value& archive);

  // Refresh, access and ID tokens redacted.
  std::string description() const;

 private:
  struct PendingAction {
    Action action;
    std::shared_ptr<platform::Executor> queue;
  };

  bool isTokenFresh() const;
  void didChangeState();
  void didRefresh(const std::optional<OIDTokenResponse>& response,
                  const std::optional<OIDError>& error);

  // Guards only the pending actions: actions may be asked for from any thread.
  mutable std::mutex pendingActionsMutex_;
  std::optional<std::vector<PendingAction>> pendingActions_;

  bool needsTokenRefresh_ = false;
  std::optional<std::string> refreshToken_;
  std::optional<std::string> scope_;
  std::optional<OIDAuthorizationResponse> lastAuthorizationResponse_;
  std::optional<OIDTokenResponse> lastTokenResponse_;
  std::optional<OIDRegistrationResponse> lastRegistrationResponse_;
  std::optional<OIDError> authorizationError_;
  std::weak_ptr<OIDAuthStateChangeDelegate> stateChangeDelegate_;
  std::weak_ptr<OIDAuthStateErrorDelegate> errorDelegate_;
};

}  // namespace tarnwick
