#include "TarnwickCore/OIDAuthorizationSession.h"

#include <cctype>
#include <utility>

#include "Platform/Foundation/Error.h"
#include "TarnwickCore/OIDErrorUtilities.h"
#include "TarnwickCore/OIDURLQueryComponent.h"
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

std::shared_ptr<OIDAuthorizationSession> OIDAuthorizationSession::strongSelf() {
  auto self = weak_from_this().lock();
  platform::precondition(self != nullptr, "OIDAuthorizationSession must be owned by a shared_ptr.");
  return self;
}

void OIDAuthorizationSession::presentAuthorizationWithExternalUserAgent(
    std::shared_ptr<OIDExternalUserAgent> externalUserAgent, OIDAuthorizationCallback callback) {
  platform::precondition(externalUserAgent != nullptr,
                         "Parameter: |externalUserAgent| must be non-nil.");
  auto self = strongSelf();
  externalUserAgent_ = externalUserAgent;
  pendingAuthorizationFlowCallback_ = std::move(callback);

  // A discovery document may lack a usable authorization endpoint; no user agent can open the
  // request then.
  if (!request_.authorizationRequestURL().scheme()) {
    didFinishWithResponse(std::nullopt, OIDErrorUtilities::errorWithCode(
                                            OIDErrorCode::invalidDiscoveryDocument, nullptr,
                                            "Invalid URL: authorization_endpoint"));
    return;
  }
  if (!externalUserAgent->presentExternalUserAgentRequest(request_, self)) {
    // Finds nothing to finish when the user agent has already reported its own failure.
    didFinishWithResponse(std::nullopt,
                          OIDErrorUtilities::errorWithCode(OIDErrorCode::userAgentRefused, nullptr,
                                                           "Unable to open Safari."));
  }
}

void OIDAuthorizationSession::cancel() {
  cancelWithCompletion(nullptr);
}

void OIDAuthorizationSession::cancelWithCompletion(std::function<void()> completion) {
  auto self = strongSelf();
  userAgentFlow::cancel(
      externalUserAgent_,
      [self] {
        self->didFinishWithResponse(
            std::nullopt,
            OIDErrorUtilities::errorWithCode(OIDErrorCode::userCancelledAuthorizationFlow, nullptr,
                                             "Authorization flow was cancelled."));
      },
      std::move(completion));
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

bool OIDAuthorizationSession::resumeExternalUserAgentFlowWithURL(const URL& url) {
  if (!shouldHandleURL(url)) return false;
  auto self = strongSelf();
  if (!pendingAuthorizationFlowCallback_) {
    userAgentFlow::logLateRedirect("authorization");
    return false;
  }

  auto parameters = OIDURLQueryComponent(url).dictionaryValue();
  std::optional<OIDAuthorizationResponse> response;
  std::optional<OIDError> error;
  if (parameters.contains(OIDOAuthErrorFieldError)) {
    error = OIDErrorUtilities::OAuthErrorWithDomain(OIDOAuthAuthorizationErrorDomain, &parameters,
                                                    nullptr);
  } else {
    OIDAuthorizationResponse received(request_, parameters);
    if (request_.state() != received.state()) {
      error = userAgentFlow::stateMismatch(request_.state(), received.state(),
                                           received.description(), parameters);
    } else {
      response = std::move(received);
    }
  }

  auto finish = [self, response = std::move(response), error = std::move(error)] {
    self->didFinishWithResponse(response, error);
  };
  userAgentFlow::dismissThen(externalUserAgent_, std::move(finish));
  return true;
}

void OIDAuthorizationSession::failExternalUserAgentFlowWithError(const OIDError& error) {
  auto self = strongSelf();
  didFinishWithResponse(std::nullopt, error);
}

void OIDAuthorizationSession::didFinishWithResponse(
    std::optional<OIDAuthorizationResponse> response, std::optional<OIDError> error) {
  auto callback = std::exchange(pendingAuthorizationFlowCallback_, nullptr);
  // Kept until the callback has returned: it may release the session and with it the user
  // agent that is still on the stack.
  auto externalUserAgent = std::exchange(externalUserAgent_, nullptr);
  if (callback) callback(response, error);
}

}  // namespace tarnwick
