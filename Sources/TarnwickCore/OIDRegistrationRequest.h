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

namespace tarnwick {

inline constexpr std::string_view OIDApplicationTypeNative = "native";
inline constexpr std::string_view OIDRedirectURIsParam = "redirect_uris";
inline constexpr std::string_view OIDApplicationTypeParam = "application_type";
inline constexpr std::string_view OIDResponseTypesParam = "response_types";
inline constexpr std::string_view OIDGrantTypesParam = "grant_types";
inline constexpr std::string_view OIDSubjectTypeParam = "subject_type";
inline constexpr std::string_view OIDTokenEndpointAuthenticationMethodParam =
    "token_endpoint_auth_method";

// A dynamic client registration (OpenID Connect Dynamic Client Registration 1.0) of a native
// application. An immutable value.
class OIDRegistrationRequest {
 public:
  OIDRegistrationRequest() = delete;
  OIDRegistrationRequest(OIDServiceConfiguration configuration,
                         std::vector<platform::URL> redirectURIs,
                         std::optional<std::vector<std::string>> responseTypes,
                         std::optional<std::vector<std::string>> grantTypes,
                         std::optional<std::string> subjectType,
                         std::optional<std::string> tokenEndpointAuthMethod,
                         std::optional<std::string> initialAccessToken,
                         OIDParameters additionalParameters = {});

  const OIDServiceConfiguration& configuration() const { return configuration_; }
  const std::optional<std::string>& initialAccessToken() const { return initialAccessToken_; }
  std::string_view applicationType() const { return OIDApplicationTypeNative; }
  const std::vector<platform::URL>& redirectURIs() const { return redirectURIs_; }
  const std::optional<std::vector<std::string>>& responseTypes() const { return responseTypes_; }
  const std::optional<std::vector<std::string>>& grantTypes() const { return grantTypes_; }
  const std::optional<std::string>& subjectType() const { return subjectType_; }
  const std::optional<std::string>& tokenEndpointAuthenticationMethod() const {
    return tokenEndpointAuthenticationMethod_;
  }
  const OIDParameters& additionalParameters() const { return additionalParameters_; }

  // The compact JSON body: "redirect_uris", "application_type", the additional parameters, then
  // the request's own optional members, each replacing an earlier one of the same name.
  std::optional<std::string> JSONString() const;
  // A JSON POST to the registration endpoint, with the initial access token as a bearer token.
  // Nothing when the configuration has no registration endpoint or the body cannot be written.
  std::optional<platform::HTTPRequest> URLRequest() const;

  platform::Value archive() const;
  static std::optional<OIDRegistrationRequest> fromArchive(const platform::Value& archive);

  // The endpoint and the JSON body (the initial access token travels in a header only).
  std::string description() const;

  bool operator==(const OIDRegistrationRequest&) const = default;

 private:
  OIDServiceConfiguration configuration_;
  std::vector<platform::URL> redirectURIs_;
  std::optional<std::vector<std::string>> responseTypes_;
  std::optional<std::vector<std::string>> grantTypes_;
  std::optional<std::string> subjectType_;
  std::optional<std::string> tokenEndpointAuthenticationMethod_;
  std::optional<std::string> initialAccessToken_;
  OIDParameters additionalParameters_;
};

}  // namespace tarnwick
