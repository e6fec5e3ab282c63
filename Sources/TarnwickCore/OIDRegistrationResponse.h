#pragma once

#include <optional>
#include <string>

#include "Platform/Foundation/Date.h"
#include "Platform/Foundation/URL.h"
#include "Platform/Foundation/Value.h"
#include "TarnwickCore/OIDFieldMapping.h"
#include "TarnwickCore/OIDRegistrationRequest.h"

namespace tarnwick {

// The credentials a provider issued for a registration. An immutable value.
class OIDRegistrationResponse {
 public:
  OIDRegistrationResponse() = delete;
  // Nothing when the answer breaks the registration rules: a client secret without
  // "client_secret_expires_at", or only one of "registration_access_token" and
  // "registration_client_uri".
  static std::optional<OIDRegistrationResponse> make(OIDRegistrationRequest request,
                                                     const platform::Value::Dictionary& parameters);

  const OIDRegistrationRequest& request() const { return request_; }
  const std::optional<std::string>& clientID() const { return clientID_; }
  const std::optional<platform::Date>& clientIDIssuedAt() const { return clientIDIssuedAt_; }
  const std::optional<std::string>& clientSecret() const { return clientSecret_; }
  const std::optional<platform::Date>& clientSecretExpiresAt() const {
    return clientSecretExpiresAt_;
  }
  const std::optional<std::string>& registrationAccessToken() const {
    return registrationAccessToken_;
  }
  const std::optional<platform::URL>& registrationClientURI() const {
    return registrationClientURI_;
  }
  const std::optional<std::string>& tokenEndpointAuthenticationMethod() const {
    return tokenEndpointAuthenticationMethod_;
  }
  const platform::Value::Dictionary& additionalParameters() const { return additionalParameters_; }

  static const OIDFieldMapping::Map& fieldMap();

  platform::Value archive() const;
  static std::optional<OIDRegistrationResponse> fromArchive(const platform::Value& archive);

  // The client secret and the registration access token redacted.
  std::string description() const;

  bool operator==(const OIDRegistrationResponse&) const = default;

 private:
  explicit OIDRegistrationResponse(OIDRegistrationRequest request);
  void setField(const std::string& field, const platform::Value& value);
  std::optional<platform::Value> field(const std::string& field) const;
  bool followsTheRules() const;

  OIDRegistrationRequest request_;
  std::optional<std::string> clientID_;
  std::optional<platform::Date> clientIDIssuedAt_;
  std::optional<std::string> clientSecret_;
  std::optional<platform::Date> clientSecretExpiresAt_;
  std::optional<std::string> registrationAccessToken_;
  std::optional<platform::URL> registrationClientURI_;
  std::optional<std::string> tokenEndpointAuthenticationMethod_;
  platform::Value::Dictionary additionalParameters_;
};

}  // namespace tarnwick
