#include "TarnwickCore/OIDErrorUtilities.h"

#include <array>
#include <utility>

#include "Platform/Foundation/UnicodeText.h"
#include "TarnwickCore/OIDJSONValue.h"

namespace tarnwick {

namespace {
constexpr std::string_view kOAuthErrorReference = "https://tools.ietf.org/html/rfc6749#section-5.2";
}

OIDError OIDErrorUtilities::errorWithCode(OIDErrorCode code,
                                          std::shared_ptr<const platform::Error> underlyingError,
                                          std::optional<std::string> description) {
  return OIDError(std::string(OIDGeneralErrorDomain), static_cast<long>(code),
                  std::move(description), std::move(underlyingError));
}

bool OIDErrorUtilities::isOAuthErrorDomain(std::string_view domain) {
  return domain == OIDOAuthAuthorizationErrorDomain || domain == OIDOAuthTokenErrorDomain ||
         domain == OIDOAuthRegistrationErrorDomain;
}

OIDError OIDErrorUtilities::OAuthErrorWithDomain(
    std::string_view domain, const platform::Value::Dictionary* oauthResponse,
    std::shared_ptr<const platform::Error> underlyingError) {
  const std::string* errorText = nullptr;
  if (oauthResponse) {
    auto found = oauthResponse->find(OIDOAuthErrorFieldError);
    if (found != oauthResponse->end()) errorText = found->second.asString();
  }
  if (!isOAuthErrorDomain(domain) || !errorText) {
    std::optional<std::string> description;
    if (underlyingError) description = underlyingError->description();
    return errorWithCode(OIDErrorCode::network, std::move(underlyingError), std::move(description));
  }

  std::string message = *errorText;
  if (auto found = oauthResponse->find(OIDOAuthErrorFieldErrorDescription);
      found != oauthResponse->end()) {
    message += ": " + OIDJSONValue::describe(found->second);
  }
  if (auto found = oauthResponse->find(OIDOAuthErrorFieldErrorURI); found != oauthResponse->end()) {
    if (!message.empty()) message += " - ";
    message += OIDJSONValue::describe(found->second);
  }
  if (message.empty()) {
    message = "OAuth error: " + *errorText + " - " + std::string(kOAuthErrorReference);
  }

  platform::Value::Dictionary userInfo;
  userInfo.emplace(OIDOAuthErrorResponseErrorKey, *oauthResponse);
  return OIDError(std::string(domain), OAuthErrorCodeFromString(*errorText), std::move(message),
                  std::move(underlyingError), std::move(userInfo));
}

OIDError OIDErrorUtilities::resourceServerAuthorizationErrorWithCode(
    long code, const platform::Value::Dictionary* errorResponse,
    std::shared_ptr<const platform::Error> underlyingError) {
  platform::Value::Dictionary userInfo;
  if (errorResponse) userInfo.emplace(OIDOAuthErrorResponseErrorKey, *errorResponse);
  return OIDError(std::string(OIDResourceServerAuthorizationErrorDomain), code, std::nullopt,
                  std::move(underlyingError), std::move(userInfo));
}

OIDError OIDErrorUtilities::HTTPErrorWithHTTPResponse(int statusCode,
                                                      const std::optional<std::string>& body) {
  std::optional<std::string> description;
  if (body && platform::UnicodeText::isValidUTF8(*body)) description = *body;
  return OIDError(std::string(OIDHTTPErrorDomain), statusCode, std::move(description));
}

long OIDErrorUtilities::OAuthErrorCodeFromString(std::string_view errorCode) {
  static constexpr std::array<std::pair<std::string_view, OIDErrorCodeOAuth>, 10> kCodes{{
      {"invalid_request", OIDErrorCodeOAuth::invalidRequest},
      {"unauthorized_client", OIDErrorCodeOAuth::unauthorizedClient},
      {"access_denied", OIDErrorCodeOAuth::accessDenied},
      {"unsupported_response_type", OIDErrorCodeOAuth::unsupportedResponseType},
      {"invalid_scope", OIDErrorCodeOAuth::invalidScope},
      {"server_error", OIDErrorCodeOAuth::serverError},
      {"temporarily_unavailable", OIDErrorCodeOAuth::temporarilyUnavailable},
      {"invalid_client", OIDErrorCodeOAuth::invalidClient},
      {"invalid_grant", OIDErrorCodeOAuth::invalidGrant},
      {"unsupported_grant_type", OIDErrorCodeOAuth::unsupportedGrantType},
  }};
  for (const auto& [text, code] : kCodes) {
    if (text == errorCode) return static_cast<long>(code);
  }
  return static_cast<long>(OIDErrorCodeOAuth::other);
}

void OIDErrorUtilities::raiseException(std::string_view name) {
  raiseException(name, name);
}

void OIDErrorUtilities::raiseException(std::string_view, std::string_view message) {
  throw platform::ProgrammingError(std::string(message));
}

}  // namespace tarnwick
