#pragma once

#include <optional>
#include <string>

#include "Platform/Foundation/Date.h"
#include "Platform/Foundation/Value.h"
#include "TarnwickCore/OIDFieldMapping.h"
#include "TarnwickCore/OIDMappedFields.h"
#include "TarnwickCore/OIDTokenRequest.h"

namespace tarnwick {

// What the token endpoint answered to a request: the tokens, their lifetime and scope, and
// every other parameter. An immutable value.
class OIDTokenResponse {
 public:
  OIDTokenResponse() = delete;
  OIDTokenResponse(OIDTokenRequest request, const platform::Value::Dictionary& parameters);

  const OIDTokenRequest& request() const { return request_; }
  const std::optional<std::string>& accessToken() const { return accessToken_; }
  const std::optional<platform::Date>& accessTokenExpirationDate() const {
    return accessTokenExpirationDate_;
  }
  const std::optional<std::string>& tokenType() const { return tokenType_; }
  const std::optional<std::string>& idToken() const { return idToken_; }
  const std::optional<std::string>& refreshToken() const { return refreshToken_; }
  const std::optional<std::string>& scope() const { return scope_; }
  const platform::Value::Dictionary& additionalParameters() const { return additionalParameters_; }

  // "access_token", "expires_in", "token_type", "id_token", "refresh_token", "scope".
  static const OIDFieldMapping::Map& fieldMap();

  platform::Value archive() const;
  static std::optional<OIDTokenResponse> fromArchive(const platform::Value& archive);

  // Access, ID and refresh tokens redacted.
  std::string description() const;

  bool operator==(const OIDTokenResponse&) const = default;

 private:
  friend struct OIDMappedFields<OIDTokenResponse>;
  static const OIDMappedFields<OIDTokenResponse>& fields();
  void setField(const std::string& field, const platform::Value& value);
  std::optional<platform::Value> field(const std::string& field) const;

  OIDTokenRequest request_;
  std::optional<std::string> accessToken_;
  std::optional<platform::Date> accessTokenExpirationDate_;
  std::optional<std::string> tokenType_;
  std::optional<std::string> idToken_;
  std::optional<std::string> refreshToken_;
  std::optional<std::string> scope_;
  platform::Value::Dictionary additionalParameters_;
};

}  // namespace tarnwick
