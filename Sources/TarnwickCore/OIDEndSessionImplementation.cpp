#include "TarnwickCore/OIDEndSessionImplementation.h"

#include <utility>

#include "TarnwickCore/OIDAuthorizationSession.h"
#include "TarnwickCore/OIDErrorUtilities.h"
#include "TarnwickCore/OIDUserAgentFlow.h"

namespace tarnwick {

using platform::URL;

OIDEndSessionImplementation::OIDEndSessionImplementation(OIDEndSessionRequest request)
    : request_(std::move(request)) {}

std::optional<OIDError> OIDEndSessionImplementation::unusableEndpointError() const {
  // The configuration usually comes from the provider's discovery document, so a missing
  // endpoint is the provider's fault and reaches the caller as an error.
  if (request_.endSessionRequestURL()) return std::nullopt;
  return OIDErrorUtilities::errorWithCode(OIDErrorCode::invalidDiscoveryDocument, nullptr,
                                          "The service configuration is missing an "
                                          "end_session_endpoint.");
}

OIDError OIDEndSessionImplementation::cancelledError() const {
  return OIDErrorUtilities::errorWithCode(OIDErrorCode::userCancelledAuthorizationFlow, nullptr);
}

bool OIDEndSessionImplementation::shouldHandleURL(const URL& url) const {
  const auto& redirect = request_.postLogoutRedirectURL();
  return redirect && OIDAuthorizationSession::URLMatchesRedirectionURL(url, *redirect);
}

std::pair<std::optional<OIDEndSessionResponse>, std::optional<OIDError>>
OIDEndSessionImplementation::finishWith(const platform::Value::Dictionary& parameters) const {
  OIDEndSessionResponse received(request_, parameters);
  if (request_.state() != received.state()) {
    return {std::nullopt, userAgentFlow::stateMismatch(request_.state(), received.state(),
                                                       received.description(), parameters)};
  }
  return {std::move(received), std::nullopt};
}

}  // namespace tarnwick
