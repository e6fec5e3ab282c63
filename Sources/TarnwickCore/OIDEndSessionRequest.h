#pragma once

#include <optional>
#include <string>

#include "Platform/Foundation/URL.h"
#include "Platform/Foundation/Value.h"
#include "TarnwickCore/OIDAuthorizationRequest.h"
#include "TarnwickCore/OIDExternalUserAgentRequest.h"
#include "TarnwickCore/OIDServiceConfiguration.h"

namespace tarnwick {

// An RP-initiated logout: the provider's end-session endpoint with the ID token hint, the
// address to come back to and a state. An immutable value.
class OIDEndSessionRequest : public OIDExternalUserAgentRequest {
 public:
  OIDEndSessionRequest() = delete;
  OIDEndSessionRequest(OIDServiceConfiguration configuration,
                       std::optional<std::string> idTokenHint,
                       std::optional<platform::URL> postLogoutRedirectURL,
                       std::optional<std::string> state, OIDParameters additionalParameters = {});
  // The same with a generated state (32 random bytes, base64url).
  OIDEndSessionRequest(OIDServiceConfiguration configuration,
                       std::optional<std::string> idTokenHint,
                       std::optional<platform::URL> postLogoutRedirectURL,
                       OIDParameters additionalParameters = {});

  const OIDServiceConfiguration& configuration() const { return configuration_; }
  const std::optional<std::string>& idTokenHint() const { return idTokenHint_; }
  const std::optional<platform::URL>& postLogoutRedirectURL() const {
    return postLogoutRedirectURL_;
  }
  const std::optional<std::string>& state() const { return state_; }
  const OIDParameters& additionalParameters() const { return additionalParameters_; }

  // The end-session endpoint with the additional parameters, then "id_token_hint",
  // "post_logout_redirect_uri" and "state" as its query. Nothing when the provider's
  // configuration names no end-session endpoint.
  std::optional<platform::URL> endSessionRequestURL() const;
  // The same, or an empty URL (which no user agent opens) without an endpoint.
  platform::URL externalUserAgentRequestURL() const override;
  std::optional<std::string> redirectScheme() const override;

  platform::Value archive() const;
  static std::optional<OIDEndSessionRequest> fromArchive(const platform::Value& archive);

  std::string description() const;

  bool operator==(const OIDEndSessionRequest& other) const;

 private:
  OIDServiceConfiguration configuration_;
  std::optional<std::string> idTokenHint_;
  std::optional<platform::URL> postLogoutRedirectURL_;
  std::optional<std::string> state_;
  OIDParameters additionalParameters_;
};

}  // namespace tarnwick
