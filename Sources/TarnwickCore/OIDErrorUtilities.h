#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "Platform/Foundation/Value.h"
#include "TarnwickCore/OIDError.h"

namespace tarnwick {

// Makes the client's errors, so that every Part words and codes them the same way.
struct OIDErrorUtilities {
  // An error of the general domain; the underlying error and the description only when given.
  static OIDError errorWithCode(OIDErrorCode code,
                                std::shared_ptr<const platform::Error> underlyingError = nullptr,
                                std::optional<std::string> description = std::nullopt);

  // The authorization, token and registration domains.
  static bool isOAuthErrorDomain(std::string_view domain);

  // The OAuth error that an error answer describes, in `domain`. Without an OAuth domain, an
  // answer or a text "error" in it: general error -5 carrying the underlying error.
  static OIDError OAuthErrorWithDomain(std::string_view domain,
                                       const platform::Value::Dictionary* oauthResponse,
                                       std::shared_ptr<const platform::Error> underlyingError);

  static OIDError resourceServerAuthorizationErrorWithCode(
      long code, const platform::Value::Dictionary* errorResponse,
      std::shared_ptr<const platform::Error> underlyingError);

  // An error of the remote-HTTP domain: the status as code, the body as description when it is
  // UTF-8.
  static OIDError HTTPErrorWithHTTPResponse(int statusCode, const std::optional<std::string>& body);

  static long OAuthErrorCodeFromString(std::string_view errorCode);

  // Stops the operation with a programming error.
  [[noreturn]] static void raiseException(std::string_view name);
  [[noreturn]] static void raiseException(std::string_view name, std::string_view message);
};

}  // namespace tarnwick
