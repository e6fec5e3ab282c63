#include "TarnwickCore/OIDEndSessionImplementation.h"

#include <utility>

#include "Platform/Foundation/Error.h"
#include "Platform/Foundation/SystemLogger.h"
#include "TarnwickCore/OIDAuthorizationSession.h"
#include "TarnwickCore/OIDDescription.h"
#include "TarnwickCore/OIDErrorUtilities.h"
#include "TarnwickCore/OIDURLQueryComponent.h"

namespace tarnwick {

using platform::URL;

OIDEndSessionImplementation::OIDEndSessionImplementation(OIDEndSessionRequest request)
    : request_(std::move(request)) {}

std::shared_ptr<OIDEndSessionImplementation> OIDEndSessionImplementation::strongSelf() {
  auto self = weak_from_this().lock();
  platform::precondition(self != nullptr,
                         "OIDEndSessionImplementation must be owned by a shared_ptr.");
  return self;
}

void OIDEndSessionImplementation::presentAuthorizationWithExternalUserAgent(
    std::shared_ptr<OIDExternalUserAgent> externalUserAgent, OIDEndSessionCallback callback) {
  platform::precondition(externalUserAgent != nullptr,
                         "Parameter: |externalUserAgent| must be non-nil.");
  auto self = strongSelf();
  externalUserAgent_ = externalUserAgent;
  pendingEndSessionCallback_ = std::move(callback);

  // The configuration usually comes from the provider's discovery document, so a missing
  // endpoint is the provider's fault and reaches the caller as an error.
  if (!request_.endSessionRequestURL()) {
    didFinishWithResponse(std::nullopt, OIDErrorUtilities::errorWithCode(
                                            OIDErrorCode::invalidDiscoveryDocument, nullptr,
                                            "The service configuration is missing an "
                                            "end_session_endpoint."));
    return;
  }
  if (!externalUserAgent->presentExternalUserAgentRequest(request_, self)) {
    didFinishWithResponse(std::nullopt,
                          OIDErrorUtilities::errorWithCode(OIDErrorCode::userAgentRefused, nullptr,
                                                           "Unable to open Safari."));
  }
}

void OIDEndSessionImplementation::cancel() {
  cancelWithCompletion(nullptr);
}

void OIDEndSessionImplementation::cancelWithCompletion(std::function<void()> completion) {
  auto self = strongSelf();
  auto externalUserAgent = externalUserAgent_;
  if (!externalUserAgent) {
    if (completion) completion();
    return;
  }
  auto finish = [self, completion = std::move(completion)] {
    self->didFinishWithResponse(std::nullopt,
                                OIDErrorUtilities::errorWithCode(
                                    OIDErrorCode::userCancelledAuthorizationFlow, nullptr));
    if (completion) completion();
  };
  externalUserAgent->dismissExternalUserAgentAnimated(true, std::move(finish));
}

bool OIDEndSessionImplementation::shouldHandleURL(const URL& url) const {
  const auto& redirect = request_.postLogoutRedirectURL();
  return redirect && OIDAuthorizationSession::URLMatchesRedirectionURL(url, *redirect);
}

bool OIDEndSessionImplementation::resumeExternalUserAgentFlowWithURL(const URL& url) {
  if (!shouldHandleURL(url)) return false;
  auto self = strongSelf();
  if (!pendingEndSessionCallback_) {
    static const platform::SystemLogger log("dev.voskary.tarnwick", "end-session");
    log.log(
        platform::SystemLogType::error,
        "An OAuth redirect was sent to a OIDExternalUserAgentSession after it already completed.");
    return false;
  }

  auto parameters = OIDURLQueryComponent(url).dictionaryValue();
  std::optional<OIDEndSessionResponse> response;
  std::optional<OIDError> error;
  OIDEndSessionResponse received(request_, parameters);
  if (request_.state() != received.state()) {
    std::string description = "State mismatch, expecting " + OIDDescription::of(request_.state()) +
                              " but got " + OIDDescription::of(received.state()) +
                              " in authorization response " + received.description();
    error = OIDError(std::string(OIDOAuthAuthorizationErrorDomain),
                     static_cast<long>(OIDErrorCodeOAuth::clientError), std::move(description),
                     nullptr, parameters);
  } else {
    response = std::move(received);
  }

  auto finish = [self, response = std::move(response), error = std::move(error)] {
    self->didFinishWithResponse(response, error);
  };
  if (auto externalUserAgent = externalUserAgent_) {
    externalUserAgent->dismissExternalUserAgentAnimated(true, std::move(finish));
  } else {
    finish();
  }
  return true;
}

void OIDEndSessionImplementation::failExternalUserAgentFlowWithError(const OIDError& error) {
  auto self = strongSelf();
  didFinishWithResponse(std::nullopt, error);
}

void OIDEndSessionImplementation::didFinishWithResponse(
    std::optional<OIDEndSessionResponse> response, std::optional<OIDError> error) {
  auto callback = std::exchange(pendingEndSessionCallback_, nullptr);
  auto externalUserAgent = std::exchange(externalUserAgent_, nullptr);
  if (callback) callback(response, error);
}

}  // namespace tarnwick
