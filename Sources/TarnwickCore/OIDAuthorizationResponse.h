#pragma once

#include <optional>
#include <string>

#include "Platform/Foundation/Date.h"
#include "Platform/Foundation/Value.h"
#include "TarnwickCore/OIDAuthorizationRequest.h"
#include "TarnwickCore/OIDFieldMapping.h"
#include "TarnwickCore/OIDMappedFields.h"
#include "TarnwickCore/OIDTokenRequest.h"

namespace tarnwick {

// What the provider sent back to the redirect URL for a request: the code and state, and the
// implicit-flow fields when a provider sends them. An immutable value.
class OIDAuthorizationResponse {
 public:
  OIDAuthorizationResponse() = delete;
  // Parameters of the response's field map fill their fields when their values have the
  // field's type; every other parameter lands in `additionalParameters`.
  OIDAuthorizationResponse(OIDAuthorizationRequest request,
                           const platform::Value::Dictionary& parameters);

  const OIDAuthorizationRequest& request() const { return request_; }
  const std::optional<std::string>& authorizationCode() const { return authorizationCode_; }
  const std::optional<std::string>& state() const { return state_; }
  const std::optional<std::string>& accessToken() const { return accessToken_; }
  const std::optional<platform::Date>& accessTokenExpirationDate() const {
    return accessTokenExpirationDate_;
  }
  const std::optional<std::string>& tokenType() const { return tokenType_; }
  const std::optional<std::string>& idToken() const { return idToken_; }
  const std::optional<std::string>& scope() const { return scope_; }
  const platform::Value::Dictionary& additionalParameters() const { return additionalParameters_; }

  // Parameter name to field: "code", "state", "access_token", "expires_in", "token_type",
  // "id_token", "scope". Built once.
  static const OIDFieldMapping::Map& fieldMap();

  // The request that exchanges this response's code for tokens: the request's configuration,
  // redirect URL, client and PKCE verifier, no scope and no refresh token. Throws
  // ProgrammingError when the response carries no code.
  OIDTokenRequest tokenExchangeRequest(OIDParameters additionalParameters = {},
                                       OIDParameters additionalHeaders = {}) const;

  platform::Value archive() const;
  static std::optional<OIDAuthorizationResponse> fromArchive(const platform::Value& archive);

  // Access and ID tokens redacted.
  std::string description() const;

  bool operator==(const OIDAuthorizationResponse& other) const;

 private:
  friend struct OIDMappedFields<OIDAuthorizationResponse>;
  static const OIDMappedFields<OIDAuthorizationResponse>& fields();
  void setField(const std::string& field, const platform::Value& value);
  std::optional<platform::Value> field(const std::string& field) const;

  OIDAuthorizationRequest request_;
  std::optional<std::string> authorizationCode_;
  std::optional<std::string> state_;
  std::optional<std::string> accessToken_;
  std::optional<platform::Date> accessTokenExpirationDate_;
  std::optional<std::string> tokenType_;
  std::optional<std::string> idToken_;
  std::optional<std::string> scope_;
  platform::Value::Dictionary additionalParameters_;
};

}  // namespace tarnwick
