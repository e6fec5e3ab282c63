#include "TarnwickCore/OIDAuthorizationRequest.h"

#include "Platform/Foundation/Error.h"
#include "TarnwickCore/OIDArchive.h"
#include "TarnwickCore/OIDDescription.h"
#include "TarnwickCore/OIDScopeUtilities.h"
#include "TarnwickCore/OIDTokenUtilities.h"
#include "TarnwickCore/OIDURLQueryComponent.h"

namespace tarnwick {

using platform::URL;
using platform::Value;

namespace {

constexpr std::size_t kSecretByteCount = 32;

using archiving::put;
using archiving::textIn;

}  // namespace

OIDAuthorizationRequest::OIDAuthorizationRequest(
    OIDServiceConfiguration configuration, std::string clientID,
    std::optional<std::string> clientSecret, std::optional<std::string> scope,
    std::optional<URL> redirectURL, std::string responseType, std::optional<std::string> state,
    std::optional<std::string> nonce, std::optional<std::string> codeVerifier,
    std::optional<std::string> codeChallenge, std::optional<std::string> codeChallengeMethod,
    std::optional<OIDParameters> additionalParameters)
    : configuration_(std::move(configuration)),
      responseType_(std::move(responseType)),
      clientID_(std::move(clientID)),
      clientSecret_(std::move(clientSecret)),
      scope_(std::move(scope)),
      redirectURL_(std::move(redirectURL)),
      state_(std::move(state)),
      nonce_(std::move(nonce)),
      codeVerifier_(std::move(codeVerifier)),
      codeChallenge_(std::move(codeChallenge)),
      codeChallengeMethod_(std::move(codeChallengeMethod)),
      additionalParameters_(std::move(additionalParameters)) {
  if (!isSupportedResponseType(responseType_)) {
    throw platform::ProgrammingError(
        "The response_type \"" + responseType_ +
        "\" isn't supported. Tarnwick only supports the \"code\" or \"code id_token\" "
        "response_type.");
  }
}

OIDAuthorizationRequest::OIDAuthorizationRequest(OIDServiceConfiguration configuration,
                                                 std::string clientID,
                                                 std::optional<std::string> clientSecret,
                                                 const std::vector<std::string>& scopes,
                                                 std::optional<URL> redirectURL,
                                                 std::string responseType,
                                                 std::optional<OIDParameters> additionalParameters)
    : OIDAuthorizationRequest(generating(std::move(configuration), std::move(clientID),
                                         std::move(clientSecret), scopes, std::move(redirectURL),
                                         std::move(responseType), generateState(),
                                         std::move(additionalParameters))) {}

OIDAuthorizationRequest::OIDAuthorizationRequest(OIDServiceConfiguration configuration,
                                                 std::string clientID,
                                                 const std::vector<std::string>& scopes,
                                                 std::optional<URL> redirectURL,
                                                 std::string responseType,
                                                 std::optional<OIDParameters> additionalParameters)
    : OIDAuthorizationRequest(std::move(configuration), std::move(clientID), std::nullopt, scopes,
                              std::move(redirectURL), std::move(responseType),
                              std::move(additionalParameters)) {}

OIDAuthorizationRequest OIDAuthorizationRequest::withNonce(
    OIDServiceConfiguration configuration, std::string clientID,
    const std::vector<std::string>& scopes, std::optional<URL> redirectURL,
    std::string responseType, std::optional<std::string> nonce,
    std::optional<OIDParameters> additionalParameters) {
  return generating(std::move(configuration), std::move(clientID), std::nullopt, scopes,
                    std::move(redirectURL), std::move(responseType), std::move(nonce),
                    std::move(additionalParameters));
}

OIDAuthorizationRequest OIDAuthorizationRequest::generating(
    OIDServiceConfiguration configuration, std::string clientID,
    std::optional<std::string> clientSecret, const std::vector<std::string>& scopes,
    std::optional<URL> redirectURL, std::string responseType, std::optional<std::string> nonce,
    std::optional<OIDParameters> additionalParameters) {
  std::string codeVerifier = generateCodeVerifier();
  auto codeChallenge = codeChallengeS256ForVerifier(codeVerifier);
  std::string scope = OIDScopeUtilities::scopesWithArray(scopes);
  std::string state = generateState();
  return OIDAuthorizationRequest(
      std::move(configuration), std::move(clientID), std::move(clientSecret), std::move(scope),
      std::move(redirectURL), std::move(responseType), std::move(state), std::move(nonce),
      std::move(codeVerifier), std::move(codeChallenge), std::string(OIDCodeChallengeMethodS256),
      std::move(additionalParameters));
}

bool OIDAuthorizationRequest::isSupportedResponseType(std::string_view responseType) {
  return responseType == "code" || responseType == "code id_token" ||
         responseType == "id_token code";
}

std::string OIDAuthorizationRequest::generateCodeVerifier() {
  return OIDTokenUtilities::randomURLSafeStringWithSize(kSecretByteCount);
}

std::string OIDAuthorizationRequest::generateState() {
  return OIDTokenUtilities::randomURLSafeStringWithSize(kSecretByteCount);
}

std::optional<std::string> OIDAuthorizationRequest::codeChallengeS256ForVerifier(
    const std::optional<std::string>& codeVerifier) {
  if (!codeVerifier) return std::nullopt;
  return OIDTokenUtilities::encodeBase64urlNoPadding(OIDTokenUtilities::sha256(*codeVerifier));
}

URL OIDAuthorizationRequest::authorizationRequestURL() const {
  OIDURLQueryComponent query;
  query.addParameter("response_type", responseType_);
  query.addParameter("client_id", clientID_);
  if (additionalParameters_) query.addParameters(*additionalParameters_);
  if (redirectURL_) query.addParameter("redirect_uri", redirectURL_->absoluteString());
  if (scope_) query.addParameter("scope", *scope_);
  if (state_) query.addParameter("state", *state_);
  if (nonce_) query.addParameter("nonce", *nonce_);
  if (codeChallenge_) query.addParameter("code_challenge", *codeChallenge_);
  if (codeChallengeMethod_) query.addParameter("code_challenge_method", *codeChallengeMethod_);
  return query.URLByReplacingQueryInURL(configuration_.authorizationEndpoint());
}

std::optional<std::string> OIDAuthorizationRequest::redirectScheme() const {
  if (!redirectURL_) return std::nullopt;
  return redirectURL_->scheme();
}

Value OIDAuthorizationRequest::archive() const {
  Value::Dictionary archive;
  archive.emplace("configuration", configuration_.archive());
  archive.emplace("response_type", responseType_);
  archive.emplace("client_id", clientID_);
  put(archive, "client_secret", clientSecret_);
  put(archive, "scope", scope_);
  if (redirectURL_) archive.emplace("redirect_uri", redirectURL_->absoluteString());
  put(archive, "state", state_);
  put(archive, "nonce", nonce_);
  put(archive, "code_verifier", codeVerifier_);
  put(archive, "code_challenge", codeChallenge_);
  put(archive, "code_challenge_method", codeChallengeMethod_);
  if (additionalParameters_) put(archive, "additionalParameters", *additionalParameters_);
  return archive;
}

std::optional<OIDAuthorizationRequest> OIDAuthorizationRequest::fromArchive(const Value& archive) {
  const Value::Dictionary* dictionary = archive.asDictionary();
  if (!dictionary) return std::nullopt;
  auto configurationEntry = dictionary->find("configuration");
  if (configurationEntry == dictionary->end()) return std::nullopt;
  auto configuration = OIDServiceConfiguration::fromArchive(configurationEntry->second);
  auto responseType = textIn(*dictionary, "response_type");
  auto clientID = textIn(*dictionary, "client_id");
  if (!configuration || !responseType || !clientID) return std::nullopt;

  std::optional<URL> redirectURL;
  if (auto text = textIn(*dictionary, "redirect_uri")) redirectURL = URL::parse(*text);
  auto additionalParameters = archiving::parametersIn(*dictionary, "additionalParameters");
  return OIDAuthorizationRequest(
      std::move(*configuration), std::move(*clientID), textIn(*dictionary, "client_secret"),
      textIn(*dictionary, "scope"), std::move(redirectURL), std::move(*responseType),
      textIn(*dictionary, "state"), textIn(*dictionary, "nonce"),
      textIn(*dictionary, "code_verifier"), textIn(*dictionary, "code_challenge"),
      textIn(*dictionary, "code_challenge_method"), std::move(additionalParameters));
}

std::string OIDAuthorizationRequest::description() const {
  return "<OIDAuthorizationRequest: " + OIDDescription::address(this) +
         ", request: " + authorizationRequestURL().absoluteString() + ">";
}

bool OIDAuthorizationRequest::operator==(const OIDAuthorizationRequest& other) const {
  return configuration_ == other.configuration_ && responseType_ == other.responseType_ &&
         clientID_ == other.clientID_ && clientSecret_ == other.clientSecret_ &&
         scope_ == other.scope_ && redirectURL_ == other.redirectURL_ && state_ == other.state_ &&
         nonce_ == other.nonce_ && codeVerifier_ == other.codeVerifier_ &&
         codeChallenge_ == other.codeChallenge_ &&
         codeChallengeMethod_ == other.codeChallengeMethod_ &&
         additionalParameters_ == other.additionalParameters_;
}

}  // namespace tarnwick
