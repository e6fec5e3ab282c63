#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "Platform/Foundation/Error.h"
#include "Platform/Foundation/Value.h"

namespace tarnwick {

// Error domains of the client.
inline constexpr std::string_view OIDGeneralErrorDomain = "tarnwick.general";
inline constexpr std::string_view OIDOAuthAuthorizationErrorDomain = "tarnwick.oauth_authorization";
inline constexpr std::string_view OIDOAuthTokenErrorDomain = "tarnwick.oauth_token";
inline constexpr std::string_view OIDOAuthRegistrationErrorDomain = "tarnwick.oauth_registration";
inline constexpr std::string_view OIDResourceServerAuthorizationErrorDomain =
    "tarnwick.resourceserver";
inline constexpr std::string_view OIDHTTPErrorDomain = "tarnwick.remote-http";

// The key of the error information under which an OAuth error keeps the whole error answer.
inline constexpr std::string_view OIDOAuthErrorResponseErrorKey = "OIDOAuthErrorResponseErrorKey";

// Field names of an OAuth error answer.
inline constexpr std::string_view OIDOAuthErrorFieldError = "error";
inline constexpr std::string_view OIDOAuthErrorFieldErrorDescription = "error_description";
inline constexpr std::string_view OIDOAuthErrorFieldErrorURI = "error_uri";

// Codes of the general domain.
enum class OIDErrorCode : long {
  invalidDiscoveryDocument = -2,
  userCancelledAuthorizationFlow = -3,
  programCancelledAuthorizationFlow = -4,
  network = -5,
  server = -6,
  jsonDeserialization = -7,
  tokenResponseConstruction = -8,
  userAgentRefused = -9,
  browserOpen = -10,
  tokenRefresh = -11,
  registrationResponseConstruction = -12,
  jsonSerialization = -13,
  idTokenParsing = -14,
  idTokenFailedValidation = -15,
};

// Codes of the three OAuth domains, from the "error" value of an error answer.
enum class OIDErrorCodeOAuth : long {
  invalidRequest = -2,
  unauthorizedClient = -3,
  accessDenied = -4,
  unsupportedResponseType = -5,
  invalidScope = -6,
  serverError = -7,
  temporarilyUnavailable = -8,
  invalidClient = -9,
  invalidGrant = -10,
  unsupportedGrantType = -11,
  // The redirect's state is not the request's (authorization domain only).
  clientError = -61439,
  // An "error" value outside the table.
  other = -61440,
};

// A run-time failure of the client: a domain, a code, an optional description, the error that
// caused it, and further information (the OAuth error answer, the redirect's parameters).
// Errors are values handed to callbacks; the client never throws them.
class OIDError : public platform::Error {
 public:
  OIDError(std::string domain, long code, std::optional<std::string> description = std::nullopt,
           std::shared_ptr<const platform::Error> underlyingError = nullptr,
           platform::Value::Dictionary userInfo = {});

  const std::string& domain() const { return domain_; }
  long code() const { return code_; }
  bool is(std::string_view domain, long code) const { return domain_ == domain && code_ == code; }
  bool is(OIDErrorCode code) const { return is(OIDGeneralErrorDomain, static_cast<long>(code)); }

  // The description given when the error was made, if any.
  const std::optional<std::string>& givenDescription() const { return description_; }
  // The given description, or a generic sentence naming the domain and code.
  std::string description() const override;

  const std::shared_ptr<const platform::Error>& underlyingError() const { return underlying_; }
  // Further information; the OAuth error answer lives under `OIDOAuthErrorResponseErrorKey`.
  const platform::Value::Dictionary& userInfo() const { return userInfo_; }
  // The OAuth error answer, when the error came from one.
  const platform::Value::Dictionary* oauthErrorResponse() const;

  // Underlying errors compare by their descriptions.
  bool operator==(const OIDError& other) const;

 private:
  std::string domain_;
  long code_;
  std::optional<std::string> description_;
  std::shared_ptr<const platform::Error> underlying_;
  platform::Value::Dictionary userInfo_;
};

}  // namespace tarnwick
