#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Platform/Foundation/URL.h"
#include "Platform/Foundation/Value.h"
#include "Platform/Network/HTTPRequest.h"
#include "TarnwickCore/OIDAuthorizationRequest.h"
#include "TarnwickCore/OIDServiceConfiguration.h"
#include "TarnwickCore/OIDURLQueryComponent.h"

namespace tarnwick {

inline constexpr std::string_view OIDGrantTypeAuthorizationCode = "authorization_code";
inline constexpr std::string_view OIDGrantTypeRefreshToken = "refresh_token";
inline constexpr std::string_view OIDGrantTypePassword = "password";
inline constexpr std::string_view OIDGrantTypeClientCredentials = "client_credentials";

// One request to the token endpoint: a code exchange with its PKCE verifier, a refresh, or any
// other grant. An immutable value.
class OIDTokenRequest {
 public:
  OIDTokenRequest() = delete;
  // Throws ProgrammingError for an "authorization_code" grant without a redirect URL.
  OIDTokenRequest(OIDServiceConfiguration configuration, std::string grantType,
                  std::optional<std::string> authorizationCode,
                  std::optional<platform::URL> redirectURL, std::string clientID,
                  std::optional<std::string> clientSecret, std::optional<std::string> scope,
                  std::optional<std::string> refreshToken, std::optional<std::string> codeVerifier,
                  OIDParameters additionalParameters = {}, OIDParameters additionalHeaders = {});
  // The same with a list of scopes, joined (ProgrammingError for an invalid one).
  static OIDTokenRequest withScopes(OIDServiceConfiguration configuration, std::string grantType,
                                    std::optional<std::string> authorizationCode,
                                    std::optional<platform::URL> redirectURL, std::string clientID,
                                    std::optional<std::string> clientSecret,
                                    const std::vector<std::string>& scopes,
                                    std::optional<std::string> refreshToken,
                                    std::optional<std::string> codeVerifier,
                                    OIDParameters additionalParameters = {},
                                    OIDParameters additionalHeaders = {});

  const OIDServiceConfiguration& configuration() const { return configuration_; }
  const std::string& grantType() const { return grantType_; }
  const std::optional<std::string>& authorizationCode() const { return authorizationCode_; }
  const std::optional<platform::URL>& redirectURL() const { return redirectURL_; }
  const std::string& clientID() const { return clientID_; }
  const std::optional<std::string>& clientSecret() const { return clientSecret_; }
  const std::optional<std::string>& scope() const { return scope_; }
  const std::optional<std::string>& refreshToken() const { return refreshToken_; }
  const std::optional<std::string>& codeVerifier() const { return codeVerifier_; }
  const OIDParameters& additionalParameters() const { return additionalParameters_; }
  const OIDParameters& additionalHeaders() const { return additionalHeaders_; }

  const platform::URL& tokenRequestURL() const { return configuration_.tokenEndpoint(); }
  // "grant_type", "scope", "redirect_uri", "refresh_token", "code", "code_verifier", each when
  // present, then the additional parameters.
  OIDURLQueryComponent tokenRequestBody() const;
  // A form POST; the client secret, when there is one, travels as HTTP Basic credentials and
  // the client id in the body otherwise. The additional headers are set last.
  platform::HTTPRequest URLRequest() const;

  platform::Value archive() const;
  static std::optional<OIDTokenRequest> fromArchive(const platform::Value& archive);

  // The endpoint and the body, with the code, the verifier and the refresh token redacted.
  std::string description() const;

  bool operator==(const OIDTokenRequest&) const = default;

 private:
  struct BodyOptions {
    // The code, the verifier and the refresh token as "<redacted>", for descriptions.
    bool redacted = false;
    // The client's id in the body when it has no secret, as the request sends it.
    bool withClientID = false;
  };
  OIDURLQueryComponent body(BodyOptions options) const;

  OIDServiceConfiguration configuration_;
  std::string grantType_;
  std::optional<std::string> authorizationCode_;
  std::optional<platform::URL> redirectURL_;
  std::string clientID_;
  std::optional<std::string> clientSecret_;
  std::optional<std::string> scope_;
  std::optional<std::string> refreshToken_;
  std::optional<std::string> codeVerifier_;
  OIDParameters additionalParameters_;
  OIDParameters additionalHeaders_;
};

}  // namespace tarnwick
