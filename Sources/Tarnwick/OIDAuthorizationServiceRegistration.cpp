#include <utility>

#include "Platform/Foundation/Task.h"
#include "Tarnwick/OIDAuthorizationService.h"
#include "Tarnwick/OIDHTTPExchange.h"
#include "TarnwickCore/OIDErrorUtilities.h"

namespace tarnwick {

namespace {

using Outcome = std::pair<std::optional<OIDRegistrationResponse>, std::optional<OIDError>>;

Outcome registrationOutcome(const OIDHTTPExchange& exchange, const OIDRegistrationRequest& request,
                            const std::string& url) {
  std::optional<OIDError> failure;
  auto body = exchange.successBody({.kind = "registration",
                                    .url = url,
                                    .success = {200, 201},
                                    .oauthErrorStatuses = {400, 400},
                                    .oauthErrorDomain = OIDOAuthRegistrationErrorDomain},
                                   failure);
  if (failure) return {std::nullopt, std::move(failure)};
  std::optional<OIDRegistrationResponse> response;
  if (const auto* object = body->asDictionary()) {
    response = OIDRegistrationResponse::make(request, *object);
  }
  if (!response) {
    return {std::nullopt,
            OIDErrorUtilities::errorWithCode(OIDErrorCode::registrationResponseConstruction,
                                             nullptr, "Registration response invalid.")};
  }
  return {std::move(response), std::nullopt};
}

platform::Task<void> sendRegistration(OIDRegistrationRequest request, platform::HTTPRequest http,
                                      OIDRegistrationCompletion completion) {
  std::string url = http.url.absoluteString();
  auto exchange = co_await OIDHTTPExchange::perform(std::move(http));
  auto [response, error] = registrationOutcome(exchange, request, url);
  if (completion) completion(response, error);
}

// Reports a failure found before anything was sent, on the main queue like every answer.
platform::Task<void> reportFailure(OIDError error, OIDRegistrationCompletion completion) {
  if (completion) completion(std::nullopt, error);
  co_return;
}

}  // namespace

void OIDAuthorizationService::performRegistrationRequest(const OIDRegistrationRequest& request,
                                                         OIDRegistrationCompletion completion) {
  if (!request.configuration().registrationEndpoint()) {
    // Discovered configurations come from the provider: a missing endpoint is its fault, not
    // a broken precondition of ours.
    platform::spawn(reportFailure(
        OIDErrorUtilities::errorWithCode(OIDErrorCode::invalidDiscoveryDocument, nullptr,
                                         "Missing field: registration_endpoint"),
        std::move(completion)));
    return;
  }
  auto http = request.URLRequest();
  if (!http) {
    platform::spawn(reportFailure(
        OIDErrorUtilities::errorWithCode(OIDErrorCode::jsonSerialization, nullptr,
                                         "The registration request could not be serialized as "
                                         "JSON."),
        std::move(completion)));
    return;
  }
  platform::spawn(sendRegistration(request, std::move(*http), std::move(completion)));
}

}  // namespace tarnwick
