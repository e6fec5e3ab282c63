#pragma once

#include <functional>
#include <memory>
#include <optional>

#include "Platform/Foundation/URL.h"
#include "TarnwickCore/OIDAuthorizationRequest.h"
#include "TarnwickCore/OIDAuthorizationSession.h"
#include "TarnwickCore/OIDEndSessionImplementation.h"
#include "TarnwickCore/OIDError.h"
#include "TarnwickCore/OIDExternalUserAgent.h"
#include "TarnwickCore/OIDExternalUserAgentSession.h"
#include "TarnwickCore/OIDRegistrationRequest.h"
#include "TarnwickCore/OIDRegistrationResponse.h"
#include "TarnwickCore/OIDServiceConfiguration.h"
#include "TarnwickCore/OIDTokenRequest.h"
#include "TarnwickCore/OIDTokenResponse.h"

namespace platform {
class Window;
}

namespace tarnwick {

// Called once, on the main queue, with exactly one of the two set.
using OIDDiscoveryCallback =
    std::function<void(const std::optional<OIDServiceConfiguration>& configuration,
                       const std::optional<OIDError>& error)>;

// Called once, on the main queue, with exactly one of the two set.
using OIDTokenCallback = std::function<void(const std::optional<OIDTokenResponse>& response,
                                            const std::optional<OIDError>& error)>;

// Called once, on the main queue, with exactly one of the two set.
using OIDRegistrationCompletion = std::function<void(
    const std::optional<OIDRegistrationResponse>& response, const std::optional<OIDError>& error)>;

// The entry points of the client: discover a provider's configuration, and present an
// authorization request in a user agent.
struct OIDAuthorizationService {
  // Fetches the issuer's "/.well-known/openid-configuration".
  static void discoverServiceConfigurationForIssuer(const platform::URL& issuer,
                                                    OIDDiscoveryCallback completion);
  // One GET on the client's HTTP session. Every failure is general error -5 with the cause
  // underneath: the transfer, a status other than 200, or a document that does not parse.
  static void discoverServiceConfigurationForDiscoveryURL(const platform::URL& discoveryURL,
                                                          OIDDiscoveryCallback completion);

  // Starts the flow and returns it; the callback may already have run (when presenting failed).
  static std::shared_ptr<OIDExternalUserAgentSession> presentAuthorizationRequest(
      const OIDAuthorizationRequest& request,
      std::shared_ptr<OIDExternalUserAgent> externalUserAgent, OIDAuthorizationCallback callback);
  // In a web-authentication sheet on `presentingWindow` (the browser where there is no sheet).
  static std::shared_ptr<OIDExternalUserAgentSession> presentAuthorizationRequest(
      const OIDAuthorizationRequest& request, std::shared_ptr<platform::Window> presentingWindow,
      OIDAuthorizationCallback callback);
  static std::shared_ptr<OIDExternalUserAgentSession> presentAuthorizationRequest(
      const OIDAuthorizationRequest& request, std::shared_ptr<platform::Window> presentingWindow,
      BrowserSession session, OIDAuthorizationCallback callback);
  // In the default browser.
  static std::shared_ptr<OIDExternalUserAgentSession> presentAuthorizationRequest(
      const OIDAuthorizationRequest& request, OIDAuthorizationCallback callback);

  // Sends a token request on the client's HTTP session. A 200 answer must be a JSON object
  // carrying "access_token" and "token_type"; an ID token in it is checked against the
  // request, and for a code exchange against the nonce of `originalAuthorizationResponse`'s
  // request.
  static void performTokenRequest(const OIDTokenRequest& request, OIDTokenCallback callback);
  static void performTokenRequest(
      const OIDTokenRequest& request,
      const std::optional<OIDAuthorizationResponse>& originalAuthorizationResponse,
      OIDTokenCallback callback);

  // Registers the client at the configuration's registration endpoint; 200 and 201 answers
  // carry the credentials.
  // Signs out at the provider: opens the end-session request in `externalUserAgent` and
  // returns the running flow, which takes the post-logout redirect.
  static std::shared_ptr<OIDExternalUserAgentSession> presentEndSessionRequest(
      const OIDEndSessionRequest& request, std::shared_ptr<OIDExternalUserAgent> externalUserAgent,
      OIDEndSessionCallback callback);

  static void performRegistrationRequest(const OIDRegistrationRequest& request,
                                         OIDRegistrationCompletion completion);
};

}  // namespace tarnwick
