#include "TarnwickCore/OIDAuthorizationSession.h"

#include <cctype>
#include <utility>

#include "TarnwickCore/OIDErrorUtilities.h"
#include "TarnwickCore/OIDUserAgentFlow.h"

namespace tarnwick {

using platform::URL;

namespace {

bool equalIgnoringCase(const std::optional<std::string>& a, const std::optional<std::string>& b) {
  if (!a || !b) return !a && !b;
  if (a->size() != b->size()) return false;
  for (std::size_t i = 0; i < a->size(); ++i) {
    if (std::tolower(static_cast<unsigned char>((*a)[i])) !=
        std::tolower(static_cast<unsigned char>((*b)[i]))) {
      return false;
    }
  }
  return true;
}

}  // namespace

OIDAuthorizationSession::OIDAuthorizationSession(OIDAuthorizationRequest request)
    : request_(std::move(request)) {}

std::optional<OIDError> OIDAuthorizationSession::unusableEndpointError() const {
  // A discovery document may lack a usable authorization endpoint; no user agent can open the
  // request then.
  if (request_.authorizationRequestURL().scheme()) return std::nullopt;
  return OIDErrorUtilities::errorWithCode(OIDErrorCode::invalidDiscoveryDocument, nullptr,
                                          "Invalid URL: authorization_endpoint");
}

OIDError OIDAuthorizationSession::cancelledError() const {
  return OIDErrorUtilities::errorWithCode(OIDErrorCode::userCancelledAuthorizationFlow, nullptr,
                                          "Authorization flow was cancelled.");
}

bool OIDAuthorizationSession::shouldHandleURL(const URL& url) const {
  return request_.redirectURL() && URLMatchesRedirectionURL(url, *request_.redirectURL());
}

bool OIDAuthorizationSession::URLMatchesRedirectionURL(const URL& url, const URL& redirectionURL) {
  URL a = url.standardized();
  URL b = redirectionURL.standardized();
  return equalIgnoringCase(a.scheme(), b.scheme()) && a.user() == b.user() &&
         a.password() == b.password() && a.host() == b.host() && a.port() == b.port() &&
         a.path() == b.path();
}

std::pair<std::optional<OIDAuthorizationResponse>, std::optional<OIDError>>
OIDAuthorizationSession::finishWith(const platform::Value::Dictionary& parameters) const {
  if (parameters.contains(OIDOAuthErrorFieldError)) {
    return {std::nullopt, OIDErrorUtilities::OAuthErrorWithDomain(OIDOAuthAuthorizationErrorDomain,
                                                                  &parameters, nullptr)};
  }
  OIDAuthorizationResponse received(request_, parameters);
  if (request_.state() != received.state()) {
    return {std::nullopt, userAgentFlow::stateMismatch(request_.state(), received.state(),
                                                       received.description(), parameters)};
  }
  return {std::move(received), std::nullopt};
}

}  // namespace tarnwick
