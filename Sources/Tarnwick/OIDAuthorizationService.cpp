#include "Tarnwick/OIDAuthorizationService.h"

#include "Platform/Foundation/Task.h"
#include "Platform/Network/HTTPSession.h"
#include "Tarnwick/OIDExternalUserAgentMac.h"
#include "TarnwickCore/OIDErrorUtilities.h"
#include "TarnwickCore/OIDURLSessionProvider.h"

namespace tarnwick {

namespace {

OIDError fetchError(std::shared_ptr<const platform::Error> cause, std::string description) {
  return OIDErrorUtilities::errorWithCode(OIDErrorCode::network, std::move(cause),
                                          std::move(description));
}

OIDError connectionError(std::shared_ptr<const platform::Error> cause, const platform::URL& url) {
  std::string description = "Connection error fetching discovery document '" +
                            url.absoluteString() + "': " + cause->description() + ".";
  return fetchError(std::move(cause), std::move(description));
}

// What the fetched answer makes of the discovery: a configuration or the -5 that says why not.
std::pair<std::optional<OIDServiceConfiguration>, std::optional<OIDError>> discoveryOutcome(
    const platform::HTTPResult& result, const platform::URL& url) {
  const platform::HTTPURLResponse* http = result.response ? result.response->asHTTP() : nullptr;
  if (!http) {
    return {std::nullopt, connectionError(std::make_shared<platform::URLError>(
                                              platform::URLError::badServerResponse, url),
                                          url)};
  }
  std::string body(result.data.begin(), result.data.end());
  if (http->statusCode() != 200) {
    auto httpError = std::make_shared<OIDError>(
        OIDErrorUtilities::HTTPErrorWithHTTPResponse(http->statusCode(), body));
    return {std::nullopt,
            fetchError(std::move(httpError),
                       "Non-200 HTTP response (" + std::to_string(http->statusCode()) +
                           ") fetching discovery document '" + url.absoluteString() + "'.")};
  }
  std::optional<OIDError> parseError;
  auto discovery = OIDServiceDiscovery::fromJSON(body, &parseError);
  if (!discovery) {
    std::string reason = parseError->description();
    return {std::nullopt,
            fetchError(std::make_shared<OIDError>(std::move(*parseError)),
                       "JSON error parsing document at '" + url.absoluteString() + "': " + reason)};
  }
  return {OIDServiceConfiguration(*discovery), std::nullopt};
}

platform::Task<void> fetchDiscovery(std::shared_ptr<platform::HTTPSession> session,
                                    platform::URL url, OIDDiscoveryCallback completion) {
  std::optional<OIDServiceConfiguration> configuration;
  std::optional<OIDError> error;
  try {
    auto result = co_await session->data(platform::HTTPRequest(url));
    std::tie(configuration, error) = discoveryOutcome(result, url);
  } catch (const platform::URLError& transferError) {
    error = connectionError(std::make_shared<platform::URLError>(transferError), url);
  } catch (const platform::CancellationError& cancelled) {
    error = connectionError(std::make_shared<platform::CancellationError>(cancelled), url);
  }
  if (completion) completion(configuration, error);
}

// A new flow of `Session` for `request`, presented in the user agent; the caller keeps it to
// resume or cancel the flow.
template <class Session, class Request, class Callback>
std::shared_ptr<OIDExternalUserAgentSession> presentFlow(
    const Request& request, std::shared_ptr<OIDExternalUserAgent> externalUserAgent,
    Callback callback) {
  auto session = std::make_shared<Session>(request);
  session->presentAuthorizationWithExternalUserAgent(std::move(externalUserAgent),
                                                     std::move(callback));
  return session;
}

}  // namespace

void OIDAuthorizationService::discoverServiceConfigurationForIssuer(
    const platform::URL& issuer, OIDDiscoveryCallback completion) {
  discoverServiceConfigurationForDiscoveryURL(
      issuer.appendingPathComponent(".well-known/openid-configuration"), std::move(completion));
}

void OIDAuthorizationService::discoverServiceConfigurationForDiscoveryURL(
    const platform::URL& discoveryURL, OIDDiscoveryCallback completion) {
  auto session = OIDURLSessionProvider::session();
  platform::precondition(session != nullptr, "Parameter: |session| must be non-nil.");
  // A task on the main queue: the completion runs there, and never inside this call.
  platform::spawn(fetchDiscovery(std::move(session), discoveryURL, std::move(completion)));
}

std::shared_ptr<OIDExternalUserAgentSession> OIDAuthorizationService::presentAuthorizationRequest(
    const OIDAuthorizationRequest& request, std::shared_ptr<OIDExternalUserAgent> externalUserAgent,
    OIDAuthorizationCallback callback) {
  return presentFlow<OIDAuthorizationSession>(request, std::move(externalUserAgent),
                                              std::move(callback));
}

std::shared_ptr<OIDExternalUserAgentSession> OIDAuthorizationService::presentAuthorizationRequest(
    const OIDAuthorizationRequest& request, std::shared_ptr<platform::Window> presentingWindow,
    OIDAuthorizationCallback callback) {
  return presentAuthorizationRequest(request, std::move(presentingWindow), BrowserSession::shared,
                                     std::move(callback));
}

std::shared_ptr<OIDExternalUserAgentSession> OIDAuthorizationService::presentAuthorizationRequest(
    const OIDAuthorizationRequest& request, std::shared_ptr<platform::Window> presentingWindow,
    BrowserSession session, OIDAuthorizationCallback callback) {
  auto externalUserAgent =
      std::make_shared<OIDExternalUserAgentMac>(std::move(presentingWindow), session);
  return presentAuthorizationRequest(request, std::move(externalUserAgent), std::move(callback));
}

std::shared_ptr<OIDExternalUserAgentSession> OIDAuthorizationService::presentAuthorizationRequest(
    const OIDAuthorizationRequest& request, OIDAuthorizationCallback callback) {
  return presentAuthorizationRequest(request, std::make_shared<OIDExternalUserAgentMac>(),
                                     std::move(callback));
}

std::shared_ptr<OIDExternalUserAgentSession> OIDAuthorizationService::presentEndSessionRequest(
    const OIDEndSessionRequest& request, std::shared_ptr<OIDExternalUserAgent> externalUserAgent,
    OIDEndSessionCallback callback) {
  return presentFlow<OIDEndSessionImplementation>(request, std::move(externalUserAgent),
                                                  std::move(callback));
}

}  // namespace tarnwick
