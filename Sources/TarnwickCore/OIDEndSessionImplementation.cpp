#include "TarnwickCore/OIDEndSessionImplementation.h"

#include <utility>

#include "Platform/Foundation/Error.h"
#include "TarnwickCore/OIDAuthorizationSession.h"
#include "TarnwickCore/OIDErrorUtilities.h"
#include "TarnwickCore/OIDURLQueryComponent.h"
#include "TarnwickCore/OIDUserAgentFlow.h"

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
  userAgentFlow::cancel(
      externalUserAgent_,
      [self] {
        self->didFinishWithResponse(std::nullopt,
                                    OIDErrorUtilities::errorWithCode(
                                        OIDErrorCode::userCancelledAuthorizationFlow, nullptr));
      },
      std::move(completion));
}

bool OIDEndSessionImplementation::shouldHandleURL(const URL& url) const {
  const auto& redirect = request_.postLogoutRedirectURL();
  return redirect && OIDAuthorizationSession::URLMatchesRedirectionURL(url, *redirect);
}

bool OIDEndSessionImplementation::resumeExternalUserAgentFlowWithURL(const URL& url) {
  if (!shouldHandleURL(url)) return false;
  auto self = strongSelf();
  if (!pendingEndSessionCallback_) {
    userAgentFlow::logLateRedirect("end-session");
    return false;
  }

  auto parameters = OIDURLQueryComponent(url).dictionaryValue();
  std::optional<OIDEndSessionResponse> response;
  std::optional<OIDError> error;
  OIDEndSessionResponse received(request_, parameters);
  if (request_.state() != received.state()) {
    error = userAgentFlow::stateMismatch(request_.state(), received.state(), received.description(),
                                         parameters);
  } else {
    response = std::move(received);
  }

  auto finish = [self, response = std::move(response), error = std::move(error)] {
    self->didFinishWithResponse(response, error);
  };
  userAgentFlow::dismissThen(externalUserAgent_, std::move(finish));
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
