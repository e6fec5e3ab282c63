#include "Tarnwick/OIDAuthorizationService.h"

#include "Tarnwick/OIDExternalUserAgentMac.h"

namespace tarnwick {

std::shared_ptr<OIDExternalUserAgentSession> OIDAuthorizationService::presentAuthorizationRequest(
    const OIDAuthorizationRequest& request, std::shared_ptr<OIDExternalUserAgent> externalUserAgent,
    OIDAuthorizationCallback callback) {
  auto session = std::make_shared<OIDAuthorizationSession>(request);
  session->presentAuthorizationWithExternalUserAgent(std::move(externalUserAgent),
                                                     std::move(callback));
  return session;
}

std::shared_ptr<OIDExternalUserAgentSession> OIDAuthorizationService::presentAuthorizationRequest(
    const OIDAuthorizationRequest& request, std::shared_ptr<platform::Window> presentingWindow,
    OIDAuthorizationCallback callback) {
  return presentAuthorizationRequest(request, std::move(presentingWindow), false,
                                     std::move(callback));
}

std::shared_ptr<OIDExternalUserAgentSession> OIDAuthorizationService::presentAuthorizationRequest(
    const OIDAuthorizationRequest& request, std::shared_ptr<platform::Window> presentingWindow,
    bool prefersEphemeralSession, OIDAuthorizationCallback callback) {
  auto externalUserAgent = std::make_shared<OIDExternalUserAgentMac>(std::move(presentingWindow),
                                                                     prefersEphemeralSession);
  return presentAuthorizationRequest(request, std::move(externalUserAgent), std::move(callback));
}

std::shared_ptr<OIDExternalUserAgentSession> OIDAuthorizationService::presentAuthorizationRequest(
    const OIDAuthorizationRequest& request, OIDAuthorizationCallback callback) {
  return presentAuthorizationRequest(request, std::make_shared<OIDExternalUserAgentMac>(),
                                     std::move(callback));
}

}  // namespace tarnwick
