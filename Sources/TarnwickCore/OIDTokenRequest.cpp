#include "TarnwickCore/OIDTokenRequest.h"

#include <utility>

#include "Platform/Foundation/Base64.h"
#include "Platform/Foundation/Error.h"
#include "TarnwickCore/OIDArchive.h"
#include "TarnwickCore/OIDDescription.h"
#include "TarnwickCore/OIDScopeUtilities.h"
#include "TarnwickCore/OIDTokenUtilities.h"

namespace tarnwick {

using platform::URL;
using platform::Value;
using namespace archiving;

OIDTokenRequest::OIDTokenRequest(
    OIDServiceConfiguration configuration, std::string grantType,
    std::optional<std::string> authorizationCode, std::optional<URL> redirectURL,
    std::string clientID, std::optional<std::string> clientSecret, std::optional<std::string> scope,
    std::optional<std::string> refreshToken, std::optional<std::string> codeVerifier,
    OIDParameters additionalParameters, OIDParameters additionalHeaders)
    : configuration_(std::move(configuration)),
      grantType_(std::move(grantType)),
      authorizationCode_(std::move(authorizationCode)),
      redirectURL_(std::move(redirectURL)),
      clientID_(std::move(clientID)),
      clientSecret_(std::move(clientSecret)),
      scope_(std::move(scope)),
      refreshToken_(std::move(refreshToken)),
      codeVerifier_(std::move(codeVerifier)),
      additionalParameters_(std::move(additionalParameters)),
      additionalHeaders_(std::move(additionalHeaders)) {
  platform::precondition(grantType_ != OIDGrantTypeAuthorizationCode || redirectURL_,
                         "A OIDTokenRequest was created with a grant_type that requires a "
                         "redirectURL, but a null redirectURL was given");
}

OIDTokenRequest OIDTokenRequest::withScopes(
    OIDServiceConfiguration configuration, std::string grantType,
    std::optional<std::string> authorizationCode, std::optional<URL> redirectURL,
    std::string clientID, std::optional<std::string> clientSecret,
    const std::vector<std::string>& scopes, std::optional<std::string> refreshToken,
    std::optional<std::string> codeVerifier, OIDParameters additionalParameters,
    OIDParameters additionalHeaders) {
  return OIDTokenRequest(std::move(configuration), std::move(grantType),
                         std::move(authorizationCode), std::move(redirectURL), std::move(clientID),
                         std::move(clientSecret), OIDScopeUtilities::scopesWithArray(scopes),
                         std::move(refreshToken), std::move(codeVerifier),
                         std::move(additionalParameters), std::move(additionalHeaders));
}

OIDURLQueryComponent OIDTokenRequest::body(BodyOptions options) const {
  auto secret = [redacted = options.redacted](const std::optional<std::string>& text) {
    return redacted ? OIDTokenUtilities::redact(text) : text;
  };
  OIDURLQueryComponent query;
  auto add = [&query](const char* name, const std::optional<std::string>& value) {
    if (value) query.addParameter(name, *value);
  };
  query.addParameter("grant_type", grantType_);
  add("scope", scope_);
  if (redirectURL_) query.addParameter("redirect_uri", redirectURL_->absoluteString());
  add("refresh_token", secret(refreshToken_));
  add("code", secret(authorizationCode_));
  add("code_verifier", secret(codeVerifier_));
  query.addParameters(additionalParameters_);
  // Without a secret the client names itself in the body (RFC 6749 section 2.3.1).
  if (options.withClientID && !clientSecret_) query.addParameter("client_id", clientID_);
  return query;
}

OIDURLQueryComponent OIDTokenRequest::tokenRequestBody() const {
  return body({});
}

platform::HTTPRequest OIDTokenRequest::URLRequest() const {
  platform::HTTPRequest request(tokenRequestURL());
  request.httpMethod = "POST";
  request.setValue("application/x-www-form-urlencoded; charset=UTF-8", "Content-Type");
  if (clientSecret_) {
    // RFC 6749 section 2.3.1: both halves form-encoded before they are joined.
    std::string credentials = OIDTokenUtilities::formUrlEncode(clientID_) + ":" +
                              OIDTokenUtilities::formUrlEncode(*clientSecret_);
    request.setValue("Basic " + platform::Base64::encode(credentials), "Authorization");
  }
  std::string text = body({.withClientID = true}).URLEncodedParameters();
  request.httpBody = platform::Bytes(text.begin(), text.end());
  for (const auto& [name, value] : additionalHeaders_) request.setValue(value, name);
  return request;
}

Value OIDTokenRequest::archive() const {
  Value::Dictionary out;
  out.emplace("configuration", configuration_.archive());
  out.emplace("grant_type", grantType_);
  put(out, "code", authorizationCode_);
  out.emplace("client_id", clientID_);
  put(out, "client_secret", clientSecret_);
  put(out, "redirect_uri", redirectURL_);
  put(out, "scope", scope_);
  put(out, "refresh_token", refreshToken_);
  put(out, "code_verifier", codeVerifier_);
  put(out, "additionalParameters", additionalParameters_);
  put(out, "additionalHeaders", additionalHeaders_);
  return out;
}

std::optional<OIDTokenRequest> OIDTokenRequest::fromArchive(const Value& archived) {
  const Value::Dictionary* dictionary = archived.asDictionary();
  if (!dictionary) return std::nullopt;
  auto configuration = configurationIn(*dictionary);
  auto grantType = textIn(*dictionary, "grant_type");
  auto clientID = textIn(*dictionary, "client_id");
  auto redirectURL = urlIn(*dictionary, "redirect_uri");
  if (!configuration || !grantType || !clientID) return std::nullopt;
  // An archive is outside data: a code grant without its redirect reads as nothing rather
  // than as a programming error.
  if (*grantType == OIDGrantTypeAuthorizationCode && !redirectURL) return std::nullopt;
  return OIDTokenRequest(
      std::move(*configuration), std::move(*grantType), textIn(*dictionary, "code"),
      std::move(redirectURL), std::move(*clientID), textIn(*dictionary, "client_secret"),
      textIn(*dictionary, "scope"), textIn(*dictionary, "refresh_token"),
      textIn(*dictionary, "code_verifier"),
      parametersIn(*dictionary, "additionalParameters").value_or(OIDParameters{}),
      parametersIn(*dictionary, "additionalHeaders").value_or(OIDParameters{}));
}

std::string OIDTokenRequest::description() const {
  return "<OIDTokenRequest: " + OIDDescription::address(this) +
         ", request: <URL: " + tokenRequestURL().absoluteString() +
         ", HTTPBody: " + body({.redacted = true, .withClientID = true}).URLEncodedParameters() +
         ">>";
}

}  // namespace tarnwick
