#include "Tarnwick/OIDAuthState.h"

#include <utility>

#include "Platform/Foundation/Clock.h"
#include "Platform/Foundation/DateFormats.h"
#include "Platform/Foundation/Environment.h"
#include "Platform/Foundation/Error.h"
#include "Platform/Foundation/RunLoop.h"
#include "Platform/Foundation/SystemLogger.h"
#include "Tarnwick/OIDAuthorizationService.h"
#include "Tarnwick/OIDExternalUserAgentMac.h"
#include "TarnwickCore/OIDDescription.h"
#include "TarnwickCore/OIDErrorUtilities.h"
#include "TarnwickCore/OIDTokenUtilities.h"

namespace tarnwick {

using platform::Value;

namespace {

// Tokens this close to their expiry count as stale, so that they do not expire on the way.
constexpr double kExpiryMargin = 60;

Value archivedError(const OIDError& error) {
  return Value::Dictionary{{"domain", error.domain()}, {"code", std::int64_t{error.code()}}};
}

std::optional<OIDError> errorFromArchive(const Value& value) {
  const auto* dictionary = value.asDictionary();
  if (!dictionary) return std::nullopt;
  auto domain = dictionary->find("domain");
  auto code = dictionary->find("code");
  if (domain == dictionary->end() || code == dictionary->end() || !domain->second.asString() ||
      !code->second.asInt()) {
    return std::nullopt;
  }
  return OIDError(*domain->second.asString(), static_cast<long>(*code->second.asInt()));
}

}  // namespace

std::shared_ptr<OIDExternalUserAgentSession>
OIDAuthState::authStateByPresentingAuthorizationRequest(
    const OIDAuthorizationRequest& request, std::shared_ptr<OIDExternalUserAgent> externalUserAgent,
    Callback callback) {
  auto finish = [callback = std::move(callback)](
                    const std::optional<OIDAuthorizationResponse>& response,
                    const std::optional<OIDError>& error) {
    if (!response) {
      callback(nullptr, error);
      return;
    }
    if (response->request().responseType() != OIDResponseTypeCode) {
      callback(std::make_shared<OIDAuthState>(*response), std::nullopt);
      return;
    }
    if (!response->authorizationCode()) {
      // A redirect that carries neither a code nor an error cannot be exchanged.
      callback(nullptr, OIDErrorUtilities::errorWithCode(
                            OIDErrorCode::tokenResponseConstruction, nullptr,
                            "The authorization response carries no authorization code."));
      return;
    }
    OIDAuthorizationService::performTokenRequest(
        response->tokenExchangeRequest(), response,
        [callback, response](const std::optional<OIDTokenResponse>& tokenResponse,
                             const std::optional<OIDError>& tokenError) {
          if (!tokenResponse) {
            callback(nullptr, tokenError);
            return;
          }
          callback(std::make_shared<OIDAuthState>(*response, *tokenResponse), std::nullopt);
        });
  };
  return OIDAuthorizationService::presentAuthorizationRequest(request, std::move(externalUserAgent),
                                                              std::move(finish));
}

std::shared_ptr<OIDExternalUserAgentSession>
OIDAuthState::authStateByPresentingAuthorizationRequest(
    const OIDAuthorizationRequest& request, std::shared_ptr<platform::Window> presentingWindow,
    BrowserSession session, Callback callback) {
  return authStateByPresentingAuthorizationRequest(
      request, std::make_shared<OIDExternalUserAgentMac>(std::move(presentingWindow), session),
      std::move(callback));
}

std::shared_ptr<OIDExternalUserAgentSession>
OIDAuthState::authStateByPresentingAuthorizationRequest(const OIDAuthorizationRequest& request,
                                                        Callback callback) {
  return authStateByPresentingAuthorizationRequest(
      request, std::make_shared<OIDExternalUserAgentMac>(), std::move(callback));
}

OIDAuthState::OIDAuthState(std::optional<OIDAuthorizationResponse> authorizationResponse,
                           std::optional<OIDTokenResponse> tokenResponse,
                           std::optional<OIDRegistrationResponse> registrationResponse) {
  if (registrationResponse) updateWithRegistrationResponse(*registrationResponse);
  if (authorizationResponse) updateWithAuthorizationResponse(authorizationResponse, std::nullopt);
  if (tokenResponse) updateWithTokenResponse(tokenResponse, std::nullopt);
}

std::optional<std::string> OIDAuthState::accessToken() const {
  if (authorizationError_) return std::nullopt;
  if (lastTokenResponse_) return lastTokenResponse_->accessToken();
  return lastAuthorizationResponse_ ? lastAuthorizationResponse_->accessToken() : std::nullopt;
}

std::optional<std::string> OIDAuthState::tokenType() const {
  if (authorizationError_) return std::nullopt;
  if (lastTokenResponse_) return lastTokenResponse_->tokenType();
  return lastAuthorizationResponse_ ? lastAuthorizationResponse_->tokenType() : std::nullopt;
}

std::optional<platform::Date> OIDAuthState::accessTokenExpirationDate() const {
  if (authorizationError_) return std::nullopt;
  if (lastTokenResponse_) return lastTokenResponse_->accessTokenExpirationDate();
  return lastAuthorizationResponse_ ? lastAuthorizationResponse_->accessTokenExpirationDate()
                                    : std::nullopt;
}

std::optional<std::string> OIDAuthState::idToken() const {
  if (authorizationError_) return std::nullopt;
  if (lastTokenResponse_) return lastTokenResponse_->idToken();
  return lastAuthorizationResponse_ ? lastAuthorizationResponse_->idToken() : std::nullopt;
}

bool OIDAuthState::isAuthorized() const {
  return !authorizationError_ && (accessToken() || idToken() || refreshToken_);
}

void OIDAuthState::didChangeState() {
  if (auto delegate = stateChangeDelegate_.lock()) delegate->didChangeState(*this);
}

void OIDAuthState::updateWithRegistrationResponse(const OIDRegistrationResponse& response) {
  lastRegistrationResponse_ = response;
  refreshToken_.reset();
  scope_.reset();
  lastAuthorizationResponse_.reset();
  lastTokenResponse_.reset();
  authorizationError_.reset();
  didChangeState();
}

void OIDAuthState::updateWithAuthorizationResponse(
    const std::optional<OIDAuthorizationResponse>& response, const std::optional<OIDError>& error) {
  if (error && error->domain() == OIDOAuthAuthorizationErrorDomain) {
    updateWithAuthorizationError(*error);
    return;
  }
  if (!response) return;
  lastAuthorizationResponse_ = response;
  lastTokenResponse_.reset();
  refreshToken_.reset();
  authorizationError_.reset();
  scope_ = response->scope() ? response->scope() : response->request().scope();
  didChangeState();
}

void OIDAuthState::updateWithTokenResponse(const std::optional<OIDTokenResponse>& response,
                                           const std::optional<OIDError>& error) {
  if (authorizationError_) {
    static const platform::SystemLogger log("dev.voskary.tarnwick", "auth-state");
    log.log(platform::SystemLogType::error,
            "OIDAuthState:updateWithTokenResponse should not be called in an error state [" +
                authorizationError_->description() +
                "] callupdateWithAuthorizationResponse with the result of the fresh "
                "authorization responsefirst");
    authorizationError_.reset();
  }
  if (error && error->domain() == OIDOAuthTokenErrorDomain) {
    updateWithAuthorizationError(*error);
    return;
  }
  if (!response) return;
  lastTokenResponse_ = response;
  if (response->scope()) scope_ = response->scope();
  if (response->refreshToken()) refreshToken_ = response->refreshToken();
  didChangeState();
}

void OIDAuthState::updateWithAuthorizationError(const OIDError& error) {
  authorizationError_ = error;
  didChangeState();
  if (auto delegate = errorDelegate_.lock()) {
    delegate->authStateDidEncounterAuthorizationError(*this, error);
  }
}

OIDTokenRequest OIDAuthState::tokenRefreshRequest(OIDParameters additionalParameters,
                                                  OIDParameters additionalHeaders) const {
  platform::precondition(refreshToken_.has_value(),
                         "Attempted to create a token refresh request from a token response "
                         "with no refresh token.");
  // A state read back from an archive may hold tokens without the authorization they came
  // from; their own request names the client as well.
  std::optional<OIDServiceConfiguration> configuration;
  std::string clientID;
  std::optional<std::string> clientSecret;
  if (lastAuthorizationResponse_) {
    const auto& request = lastAuthorizationResponse_->request();
    configuration = request.configuration();
    clientID = request.clientID();
    clientSecret = request.clientSecret();
  } else {
    platform::precondition(lastTokenResponse_.has_value(),
                           "Attempted to create a token refresh request without a client.");
    const auto& request = lastTokenResponse_->request();
    configuration = request.configuration();
    clientID = request.clientID();
    clientSecret = request.clientSecret();
  }
  return OIDTokenRequest(std::move(*configuration), std::string(OIDGrantTypeRefreshToken),
                         std::nullopt, std::nullopt, std::move(clientID), std::move(clientSecret),
                         std::nullopt, refreshToken_, std::nullopt, std::move(additionalParameters),
                         std::move(additionalHeaders));
}

bool OIDAuthState::isTokenFresh() const {
  if (needsTokenRefresh_) return false;
  if (auto expiry = accessTokenExpirationDate()) {
    return expiry->timeIntervalSince(platform::env().clock->now()) > kExpiryMargin;
  }
  return accessToken().has_value();
}

void OIDAuthState::performActionWithFreshTokens(Action action,
                                                OIDParameters additionalRefreshParameters,
                                                std::shared_ptr<platform::Executor> queue) {
  if (!queue) queue = platform::env().mainLoop;
  if (isTokenFresh()) {
    queue->post([action = std::move(action), accessToken = accessToken(), idToken = idToken()] {
      action(accessToken, idToken, std::nullopt);
    });
    return;
  }
  if (!refreshToken_) {
    queue->post([action = std::move(action)] {
      action(std::nullopt, std::nullopt,
             OIDErrorUtilities::errorWithCode(
                 OIDErrorCode::tokenRefresh, nullptr,
                 "Unable to refresh expired token without a refresh token."));
    });
    return;
  }
  {
    std::lock_guard lock(pendingActionsMutex_);
    if (pendingActions_) {
      pendingActions_->push_back({std::move(action), std::move(queue)});
      return;
    }
    pendingActions_.emplace();
    pendingActions_->push_back({std::move(action), std::move(queue)});
  }
  std::optional<OIDTokenRequest> request;
  try {
    request.emplace(tokenRefreshRequest(std::move(additionalRefreshParameters)));
  } catch (const std::exception& e) {
    // No refresh will run: the list goes, or every later action would queue behind it for
    // good. The caller's own action hears of it through the exception; any queued behind it
    // meanwhile get the error.
    std::vector<PendingAction> behind;
    {
      std::lock_guard lock(pendingActionsMutex_);
      if (pendingActions_ && pendingActions_->size() > 1)
        behind.assign(std::make_move_iterator(pendingActions_->begin() + 1),
                      std::make_move_iterator(pendingActions_->end()));
      pendingActions_.reset();
    }
    auto error = OIDErrorUtilities::errorWithCode(OIDErrorCode::tokenRefresh, nullptr, e.what());
    for (auto& pending : behind) {
      pending.queue->post([action = std::move(pending.action), error] {
        action(std::nullopt, std::nullopt, error);
      });
    }
    throw;
  }
  auto self = shared_from_this();
  OIDAuthorizationService::performTokenRequest(
      std::move(*request), lastAuthorizationResponse_,
      [self](const std::optional<OIDTokenResponse>& response,
             const std::optional<OIDError>& error) { self->didRefresh(response, error); });
}

void OIDAuthState::didRefresh(const std::optional<OIDTokenResponse>& response,
                              const std::optional<OIDError>& error) {
  if (response) {
    needsTokenRefresh_ = false;
    updateWithTokenResponse(response, std::nullopt);
  } else if (error && error->domain() == OIDOAuthTokenErrorDomain) {
    needsTokenRefresh_ = false;
    updateWithAuthorizationError(*error);
  } else if (error) {
    if (auto delegate = errorDelegate_.lock()) {
      delegate->authStateDidEncounterTransientError(*this, *error);
    }
  }
  std::vector<PendingAction> actions;
  {
    std::lock_guard lock(pendingActionsMutex_);
    actions = std::move(pendingActions_).value_or(std::vector<PendingAction>{});
    pendingActions_.reset();
  }
  for (auto& pending : actions) {
    pending.queue->post([action = std::move(pending.action), accessToken = accessToken(),
                         idToken = idToken(), error] { action(accessToken, idToken, error); });
  }
}

Value OIDAuthState::archive() const {
  Value::Dictionary out;
  if (lastAuthorizationResponse_) {
    out.emplace("lastAuthorizationResponse", lastAuthorizationResponse_->archive());
  }
  if (lastTokenResponse_) out.emplace("lastTokenResponse", lastTokenResponse_->archive());
  if (authorizationError_) out.emplace("authorizationError", archivedError(*authorizationError_));
  if (scope_) out.emplace("scope", *scope_);
  if (refreshToken_) out.emplace("refreshToken", *refreshToken_);
  out.emplace("needsTokenRefresh", needsTokenRefresh_);
  return out;
}

std::shared_ptr<OIDAuthState> OIDAuthState::fromArchive(const Value& archived) {
  const auto* dictionary = archived.asDictionary();
  if (!dictionary) return nullptr;
  auto state = std::make_shared<OIDAuthState>(std::nullopt);
  auto entry = [dictionary](std::string_view key) -> const Value* {
    auto found = dictionary->find(key);
    return found == dictionary->end() ? nullptr : &found->second;
  };
  if (auto value = entry("lastAuthorizationResponse")) {
    state->lastAuthorizationResponse_ = OIDAuthorizationResponse::fromArchive(*value);
  }
  if (auto value = entry("lastTokenResponse")) {
    state->lastTokenResponse_ = OIDTokenResponse::fromArchive(*value);
  }
  if (auto value = entry("authorizationError"))
    state->authorizationError_ = errorFromArchive(*value);
  if (auto value = entry("scope"); value && value->asString()) state->scope_ = *value->asString();
  if (auto value = entry("refreshToken"); value && value->asString()) {
    state->refreshToken_ = *value->asString();
  }
  if (auto value = entry("needsTokenRefresh"); value && value->asBool()) {
    state->needsTokenRefresh_ = *value->asBool();
  }
  return state;
}

std::string OIDAuthState::description() const {
  auto expiry = accessTokenExpirationDate();
  std::string expiration = expiry ? platform::DateFormats::iso8601(
                                        *expiry, platform::DateFormats::FractionalSeconds::omitted)
                                  : std::string("(null)");
  return "<OIDAuthState: " + OIDDescription::address(this) +
         ", isAuthorized: " + (isAuthorized() ? "YES" : "NO") + ", refreshToken: \"" +
         OIDDescription::of(OIDTokenUtilities::redact(refreshToken_)) + "\", scope: \"" +
         OIDDescription::of(scope_) + "\", accessToken: \"" +
         OIDDescription::of(OIDTokenUtilities::redact(accessToken())) +
         "\", accessTokenExpirationDate: " + expiration + ", idToken: \"" +
         OIDDescription::of(OIDTokenUtilities::redact(idToken())) +
         "\", lastAuthorizationResponse: " +
         (lastAuthorizationResponse_ ? lastAuthorizationResponse_->description() : "(null)") +
         ", lastTokenResponse: " +
         (lastTokenResponse_ ? lastTokenResponse_->description() : "(null)") +
         ", lastRegistrationResponse: " +
         (lastRegistrationResponse_ ? lastRegistrationResponse_->description() : "(null)") +
         ", authorizationError: " +
         (authorizationError_ ? authorizationError_->description() : "(null)") + ">";
}

}  // namespace tarnwick
