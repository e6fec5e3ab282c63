#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Platform/Foundation/URL.h"
#include "Platform/Foundation/Value.h"
#include "TarnwickCore/OIDExternalUserAgentRequest.h"
#include "TarnwickCore/OIDServiceConfiguration.h"

namespace tarnwick {

inline constexpr std::string_view OIDResponseTypeCode = "code";
inline constexpr std::string_view OIDResponseTypeIDToken = "id_token";
// The PKCE method of the requests that generate their own verifier.
inline constexpr std::string_view OIDCodeChallengeMethodS256 = "S256";

// Extra request parameters, name to value.
using OIDParameters = std::map<std::string, std::string>;

// One authorization-code request with PKCE, state and nonce: the secrets that protect the
// exchange and the URL the user agent opens. An immutable value.
class OIDAuthorizationRequest : public OIDExternalUserAgentRequest {
 public:
  OIDAuthorizationRequest() = delete;

  // Keeps every field as given and generates nothing. Throws ProgrammingError for a response
  // type other than "code", "code id_token" and "id_token code".
  OIDAuthorizationRequest(OIDServiceConfiguration configuration, std::string clientID,
                          std::optional<std::string> clientSecret, std::optional<std::string> scope,
                          std::optional<platform::URL> redirectURL, std::string responseType,
                          std::optional<std::string> state, std::optional<std::string> nonce,
                          std::optional<std::string> codeVerifier,
                          std::optional<std::string> codeChallenge,
                          std::optional<std::string> codeChallengeMethod,
                          std::optional<OIDParameters> additionalParameters);

  // Generates a fresh verifier with its S256 challenge, a state and an independent nonce, and
  // joins the scopes (ProgrammingError for an invalid one).
  OIDAuthorizationRequest(OIDServiceConfiguration configuration, std::string clientID,
                          std::optional<std::string> clientSecret,
                          const std::vector<std::string>& scopes,
                          std::optional<platform::URL> redirectURL, std::string responseType,
                          std::optional<OIDParameters> additionalParameters);
  // The same without a client secret: the form the app uses.
  OIDAuthorizationRequest(OIDServiceConfiguration configuration, std::string clientID,
                          const std::vector<std::string>& scopes,
                          std::optional<platform::URL> redirectURL, std::string responseType,
                          std::optional<OIDParameters> additionalParameters);
  // The same with the caller's nonce; only the state is generated besides the PKCE pair.
  static OIDAuthorizationRequest withNonce(OIDServiceConfiguration configuration,
                                           std::string clientID,
                                           const std::vector<std::string>& scopes,
                                           std::optional<platform::URL> redirectURL,
                                           std::string responseType,
                                           std::optional<std::string> nonce,
                                           std::optional<OIDParameters> additionalParameters);

  static bool isSupportedResponseType(std::string_view responseType);
  // 32 random bytes in base64url, 43 characters.
  static std::string generateCodeVerifier();
  static std::string generateState();
  // The RFC 7636 S256 challenge of the verifier.
  static std::optional<std::string> codeChallengeS256ForVerifier(
      const std::optional<std::string>& codeVerifier);

  const OIDServiceConfiguration& configuration() const { return configuration_; }
  const std::string& responseType() const { return responseType_; }
  const std::string& clientID() const { return clientID_; }
  const std::optional<std::string>& clientSecret() const { return clientSecret_; }
  const std::optional<std::string>& scope() const { return scope_; }
  const std::optional<platform::URL>& redirectURL() const { return redirectURL_; }
  const std::optional<std::string>& state() const { return state_; }
  const std::optional<std::string>& nonce() const { return nonce_; }
  const std::optional<std::string>& codeVerifier() const { return codeVerifier_; }
  const std::optional<std::string>& codeChallenge() const { return codeChallenge_; }
  const std::optional<std::string>& codeChallengeMethod() const { return codeChallengeMethod_; }
  const std::optional<OIDParameters>& additionalParameters() const { return additionalParameters_; }

  // The authorization endpoint with its query replaced by the request's parameters.
  platform::URL authorizationRequestURL() const;
  platform::URL externalUserAgentRequestURL() const override { return authorizationRequestURL(); }
  std::optional<std::string> redirectScheme() const override;

  platform::Value archive() const;
  // Nothing without a configuration, response type or client id; the designated constructor
  // runs, so an unsupported response type throws here too.
  static std::optional<OIDAuthorizationRequest> fromArchive(const platform::Value& archive);

  std::string description() const;

  bool operator==(const OIDAuthorizationRequest& other) const;

 private:
  // The generating forms: a fresh PKCE pair and state, the scopes joined, the given nonce.
  static OIDAuthorizationRequest generating(
      OIDServiceConfiguration configuration, std::string clientID,
      std::optional<std::string> clientSecret, const std::vector<std::string>& scopes,
      std::optional<platform::URL> redirectURL, std::string responseType,
      std::optional<std::string> nonce, std::optional<OIDParameters> additionalParameters);

  OIDServiceConfiguration configuration_;
  std::string responseType_;
  std::string clientID_;
  std::optional<std::string> clientSecret_;
  std::optional<std::string> scope_;
  std::optional<platform::URL> redirectURL_;
  std::optional<std::string> state_;
  std::optional<std::string> nonce_;
  std::optional<std::string> codeVerifier_;
  std::optional<std::string> codeChallenge_;
  std::optional<std::string> codeChallengeMethod_;
  std::optional<OIDParameters> additionalParameters_;
};

}  // namespace tarnwick
