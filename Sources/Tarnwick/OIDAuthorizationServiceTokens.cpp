#include <cmath>
#include <utility>

#include "Platform/Foundation/Clock.h"
#include "Platform/Foundation/DecodingError.h"
#include "Platform/Foundation/Environment.h"
#include "Platform/Foundation/JSONSerialization.h"
#include "Platform/Foundation/Task.h"
#include "Platform/Network/HTTPSession.h"
#include "Platform/Network/URLError.h"
#include "Tarnwick/OIDAuthorizationService.h"
#include "Tarnwick/OIDHTTPExchange.h"
#include "TarnwickCore/OIDErrorUtilities.h"
#include "TarnwickCore/OIDIDToken.h"
#include "TarnwickCore/OIDJSONValue.h"
#include "TarnwickCore/OIDURLSessionProvider.h"

namespace tarnwick {

namespace {

using platform::Value;

// How far an ID token's issue time may lie from our clock.
constexpr int kIssuedAtTolerance = 600;

OIDError validationError(std::string description) {
  return OIDErrorUtilities::errorWithCode(OIDErrorCode::idTokenFailedValidation, nullptr,
                                          std::move(description));
}

// The checks of OpenID Connect Core section 3.1.3.7 that need no keys.
std::optional<OIDError> checkIDToken(
    std::string_view idToken, const OIDTokenRequest& request,
    const std::optional<OIDAuthorizationResponse>& originalAuthorizationResponse) {
  auto token = OIDIDToken::parse(idToken);
  if (!token) {
    return OIDErrorUtilities::errorWithCode(OIDErrorCode::idTokenParsing, nullptr,
                                            "ID Token parsing failed");
  }
  const auto& issuer = request.configuration().issuer();
  if (issuer && !(token->issuer() == *issuer)) return validationError("Issuer mismatch");
  // The client must be among the audiences; "azp" alone does not make it one.
  const auto& audience = token->audience();
  if (std::find(audience.begin(), audience.end(), request.clientID()) == audience.end()) {
    return validationError("Audience mismatch");
  }
  platform::Date now = platform::env().clock->now();
  if (token->expiresAt() < now) return validationError("ID Token expired");
  if (std::fabs(now.timeIntervalSince(token->issuedAt())) > kIssuedAtTolerance) {
    return validationError("Issued at time is more than " + std::to_string(kIssuedAtTolerance) +
                           " seconds before or after the current time");
  }
  if (request.grantType() == OIDGrantTypeAuthorizationCode && originalAuthorizationResponse) {
    const auto& nonce = originalAuthorizationResponse->request().nonce();
    if (nonce && token->nonce() != nonce) return validationError("Nonce mismatch");
  }
  return std::nullopt;
}

using Outcome = std::pair<std::optional<OIDTokenResponse>, std::optional<OIDError>>;

Outcome tokenOutcome(const OIDHTTPExchange& exchange, const OIDTokenRequest& request,
                     const std::optional<OIDAuthorizationResponse>& original) {
  const std::string url = request.tokenRequestURL().absoluteString();
  std::optional<OIDError> failure;
  auto body = exchange.successBody({.kind = "token",
                                    .url = url,
                                    .success = {200},
                                    .oauthErrorStatuses = {400, 499},
                                    .oauthErrorDomain = OIDOAuthTokenErrorDomain},
                                   failure);
  if (failure) return {std::nullopt, std::move(failure)};
  const Value::Dictionary* object = body->asDictionary();
  OIDError invalid = OIDErrorUtilities::errorWithCode(OIDErrorCode::tokenResponseConstruction,
                                                      nullptr, "Token response invalid.");
  if (!object) return {std::nullopt, invalid};
  OIDTokenResponse response(request, *object);
  // RFC 6749 section 5.1: a successful answer always names the token and its type.
  if (!response.accessToken() || !response.tokenType()) return {std::nullopt, invalid};
  if (response.idToken()) {
    if (auto error = checkIDToken(*response.idToken(), request, original)) {
      return {std::nullopt, std::move(error)};
    }
  }
  return {std::move(response), std::nullopt};
}

platform::Task<void> sendTokenRequest(OIDTokenRequest request,
                                      std::optional<OIDAuthorizationResponse> original,
                                      OIDTokenCallback callback) {
  auto exchange = co_await OIDHTTPExchange::perform(request.URLRequest());
  auto [response, error] = tokenOutcome(exchange, request, original);
  if (callback) callback(response, error);
}

}  // namespace

void OIDAuthorizationService::performTokenRequest(const OIDTokenRequest& request,
                                                  OIDTokenCallback callback) {
  performTokenRequest(request, std::nullopt, std::move(callback));
}

void OIDAuthorizationService::performTokenRequest(
    const OIDTokenRequest& request,
    const std::optional<OIDAuthorizationResponse>& originalAuthorizationResponse,
    OIDTokenCallback callback) {
  platform::spawn(sendTokenRequest(request, originalAuthorizationResponse, std::move(callback)));
}

}  // namespace tarnwick
