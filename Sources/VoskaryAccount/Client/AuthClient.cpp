#include "VoskaryAccount/Client/AuthClient.h"

#include "Platform/Foundation/Clock.h"
#include "Platform/Foundation/DecodingError.h"
#include "Platform/Foundation/Environment.h"
#include "Platform/Foundation/Error.h"
#include "Platform/Network/HTTPRequest.h"
#include "Platform/Network/HTTPSession.h"
#include "VoskaryAccount/Client/Semver.h"
#include "VoskaryAccount/Client/VoskaryAccountLibrary.h"
#include "VoskaryAccount/Client/VoskaryDeprecationParser.h"
#include "VoskaryAccount/Client/VoskaryError.h"
#include "VoskaryAccount/Client/VoskaryJSON.h"
#include "VoskaryAccount/Client/VoskaryRedaction.h"

namespace voskary {
namespace {

constexpr std::string_view kRefreshPath = "/api/app-sessions/refresh";
constexpr std::string_view kRevokePath = "/api/sessions/revoke";
constexpr std::string_view kAppleAuthcodePath = "/api/integrations/apple/authcode";
constexpr std::string_view kAppDataTokenPath = "/api/app-data-token";
constexpr double kRequestTimeout = 60.0;

struct RefreshBody {
  std::string appSlug;
  std::string refreshToken;
  std::optional<std::string> clientVersion;
  void encode(platform::JSONWriter& json) const {
    json.encode("app_slug", appSlug);
    json.encode("refresh_token", refreshToken);
    json.encodeIfPresent("client_version", clientVersion);
  }
};

struct AppleAuthcodeBody {
  std::string appSlug;
  std::string authorizationCode;
  std::optional<std::string> identityToken;
  std::optional<std::string> installId;
  void encode(platform::JSONWriter& json) const {
    json.encode("app_slug", appSlug);
    json.encode("authorization_code", authorizationCode);
    json.encodeIfPresent("identity_token", identityToken);
    json.encodeIfPresent("install_id", installId);
  }
};

struct AppDataTokenBody {
  std::string appSlug;
  void encode(platform::JSONWriter& json) const { json.encode("app_slug", appSlug); }
};

// The service's machine-readable code of an error answer.
struct ErrorPayload {
  std::optional<std::string> error;
  static ErrorPayload decode(const platform::JSONReader& json) {
    return {json.decodeIfPresent<std::string>("error")};
  }
};

template <class Body>
platform::Bytes encoded(const Body& body) {
  std::string text = VoskaryJSON::encoder().encode(body);
  return platform::Bytes(text.begin(), text.end());
}

bool isSuccess(int status) {
  return status >= 200 && status <= 299;
}

}  // namespace

void AuthClient::ExchangeBody::encode(platform::JSONWriter& json) const {
  json.encode("app_slug", appSlug);
  json.encode("code", code);
  json.encodeIfPresent("code_verifier", codeVerifier);
  json.encode("redirect_uri", redirectURI);
  json.encode("client_version", clientVersion);
  json.encodeIfPresent("install_id", installID);
}

AuthClient::AuthClient(VoskaryConfig config, std::shared_ptr<const DPoPSigner> dpopSigner,
                       std::shared_ptr<IdentityThrottle> throttle)
    : config_(std::move(config)),
      session_(config_.urlSession() ? config_.urlSession() : platform::env().httpSession),
      dpopSigner_(std::move(dpopSigner)),
      logger_(config_.logger()),
      throttle_(throttle ? std::move(throttle)
                         : std::make_shared<IdentityThrottle>(IdentityThrottleOptions{}, logger_)) {
}

void AuthClient::log(VoskaryLogLevel level, const std::string& event,
                     const VoskaryLogFields& fields) const {
  if (logger_) logger_(level, event, fields);
}

platform::URL AuthClient::resolve(std::string_view path) const {
  auto url = platform::URL::parse(path, config_.identityURL());
  if (!url) throw VoskaryError::malformedResponse("url");
  return *url;
}

// --- One transfer --------------------------------------------------------------------------

platform::Task<AuthClient::SendResult> AuthClient::transfer(
    std::shared_ptr<const AuthClient> client, platform::URL url, std::string method,
    std::optional<platform::Bytes> bodyData, std::optional<std::string> sessionToken,
    std::string endpoint) {
  const VoskaryConfig& config = client->config_;
  platform::HTTPRequest request(url);
  request.httpMethod = method;
  request.timeoutInterval = kRequestTimeout;
  request.cachePolicy = platform::URLRequestCachePolicy::useProtocolCachePolicy;
  request.setValue("application/json", "Content-Type");
  request.setValue("application/json", "Accept");
  request.setValue(VoskaryAccountLibrary::versionLine(config.clientVersion()), "User-Agent");
  request.setValue(config.libVersion(), "Voskary-Lib-Version");
  request.setValue(config.clientVersion(), "Voskary-Client-Version");
  if (sessionToken) {
    request.setValue("Bearer " + *sessionToken, "Authorization");
    if (client->dpopSigner_) {
      // A proof that cannot be made only leaves the header out.
      try {
        request.setValue(client->dpopSigner_->generateProof(url, method, sessionToken), "DPoP");
      } catch (const platform::Error&) {
      }
    }
  }
  request.httpBody = std::move(bodyData);

  platform::HTTPResult result;
  try {
    result = co_await client->session_->data(std::move(request));
  } catch (const platform::Error& error) {
    // Also a transfer that the caller's cancellation stopped; the throttle tells that case
    // apart and does not count it against the breaker.
    client->log(VoskaryLogLevel::warning, "request_transport_failed",
                VoskaryRedaction::transportFailure(endpoint, error));
    throw VoskaryError::networkUnavailable();
  }

  auto http = result.response ? result.response->asHTTP() : nullptr;
  if (!http) {
    client->log(VoskaryLogLevel::error, "request_decode_failed",
                VoskaryRedaction::decodeFailure(endpoint, "response"));
    throw VoskaryError::malformedResponse("response");
  }
  // The response object lives as long as the shared pointer that owns it.
  co_return SendResult{std::move(result.data),
                       std::shared_ptr<const platform::HTTPURLResponse>(result.response, http)};
}

platform::Task<AuthClient::SendResult> AuthClient::perform(platform::URL url, std::string method,
                                                           std::optional<platform::Bytes> bodyData,
                                                           std::optional<std::string> sessionToken,
                                                           std::string endpoint) {
  std::shared_ptr<const AuthClient> self = shared_from_this();
  IdentityThrottle::Send send = [self, url, method, bodyData, sessionToken, endpoint] {
    return transfer(self, url, method, bodyData, sessionToken, endpoint);
  };
  try {
    co_return co_await throttle_->run(url, method, std::move(send));
  } catch (const platform::CancellationError&) {
  }
  throw VoskaryError::networkUnavailable();
}

// --- Deprecation and status mapping --------------------------------------------------------

void AuthClient::handleDeprecationHeaders(const platform::HTTPURLResponse& response,
                                          std::string_view endpoint) const {
  const std::vector<VoskaryDeprecationNotice> notices = voskaryDeprecationNotices(response);
  if (!notices.empty() && onDeprecationNotice_) onDeprecationNotice_(notices);

  const int status = response.statusCode();
  const std::string redacted = VoskaryRedaction::endpoint(endpoint);
  if (status == 426) {
    std::optional<platform::URL> replacement;
    for (const auto& notice : notices) {
      if (auto retired = notice.asEndpoint(); retired && retired->replacement) {
        replacement = retired->replacement;
        break;
      }
    }
    log(VoskaryLogLevel::error, "client_killed",
        {{"endpoint", redacted},
         {"status", "426"},
         {"class", std::string(rawValue(VoskaryRedaction::Classification::clientKilled))}});
    throw VoskaryError::clientKilled(replacement);
  }
  for (const auto& notice : notices) {
    auto client = notice.asClient();
    if (!client || Semver::compare(config_.clientVersion(), client->minVersion) >= 0) continue;
    log(VoskaryLogLevel::warning, "requires_upgrade",
        {{"endpoint", redacted},
         {"status", std::to_string(status)},
         {"class", std::string(rawValue(VoskaryRedaction::Classification::requiresUpgrade))}});
    throw VoskaryError::requiresUpgrade(client->minVersion);
  }
}

void AuthClient::mapStatusError(const platform::HTTPURLResponse& http, const platform::Bytes& data,
                                std::string_view endpoint) const {
  const int status = http.statusCode();
  if (isSuccess(status)) return;
  std::optional<std::string> code;
  try {
    code = VoskaryJSON::decoder().decode<ErrorPayload>(data).error;
  } catch (const platform::DecodingError&) {
    // An unreadable error body only means there is no code.
  }
  VoskaryLogFields fields = {{"endpoint", VoskaryRedaction::endpoint(endpoint)},
                             {"status", std::to_string(status)}};
  if (code && !code->empty()) fields["code"] = *code;
  if (status == 401) {
    fields["class"] = rawValue(VoskaryRedaction::Classification::auth);
    log(VoskaryLogLevel::warning, "request_auth_failed", fields);
    throw VoskaryError::sessionExpired();
  }
  fields["class"] = rawValue(VoskaryRedaction::Classification::server);
  log(VoskaryLogLevel::error, "request_server_failed", fields);
  throw VoskaryError::serverError(status, code);
}

template <class T>
T AuthClient::decodeAnswer(const platform::Bytes& data, std::string_view endpoint,
                           const char* field) const {
  try {
    return VoskaryJSON::decoder().decode<T>(data);
  } catch (const platform::DecodingError&) {
    log(VoskaryLogLevel::error, "request_decode_failed",
        VoskaryRedaction::decodeFailure(endpoint, std::string(field)));
  }
  throw VoskaryError::malformedResponse(field);
}

// --- The recovery road ---------------------------------------------------------------------

std::optional<std::string> AuthClient::storedRefreshToken(RefreshTokenWanted wanted) const {
  if (!currentSessionProvider_) return std::nullopt;
  auto stored = currentSessionProvider_();
  if (!stored || !stored->refreshToken) return std::nullopt;
  if (wanted == RefreshTokenWanted::onlyWhenExpiring &&
      stored->expiresAt.timeIntervalSince(platform::env().clock->now()) >= refreshAheadSeconds)
    return std::nullopt;
  return stored->refreshToken;
}

platform::Task<AuthClient::SendResult> AuthClient::performWithAuthRecovery(
    std::string path, std::string method, std::optional<platform::Bytes> bodyData,
    std::optional<std::string> sessionToken, AuthRecoveryOptions options) {
  auto self = shared_from_this();
  const platform::URL url = resolve(path);

  if (options.allowAuthRecovery && sessionToken) {
    if (auto refreshToken = storedRefreshToken(RefreshTokenWanted::onlyWhenExpiring)) {
      // A failed refresh ahead of expiry is no reason not to try the old token.
      try {
        sessionToken = (co_await refreshSerialized(*refreshToken)).vas;
      } catch (const platform::Error&) {
      }
    }
  }

  SendResult answer = co_await perform(url, method, bodyData, sessionToken, path);
  try {
    handleDeprecationHeaders(*answer.response, path);
  } catch (const VoskaryError& error) {
    if (!options.keepIssuedOnUpgrade || !error.as<VoskaryError::RequiresUpgrade>() ||
        !isSuccess(answer.response->statusCode()))
      throw;
    throw IssuedDespiteUpgrade<SendResult>(std::move(answer), error);
  }
  if (answer.response->statusCode() != 401 || !options.allowAuthRecovery || !sessionToken)
    co_return answer;

  auto refreshToken = storedRefreshToken(RefreshTokenWanted::always);
  if (!refreshToken) co_return answer;
  std::optional<std::string> repaired;
  try {
    repaired = (co_await refreshSerialized(*refreshToken)).vas;
  } catch (const platform::Error&) {
  }
  if (!repaired) co_return answer;

  SendResult retried = co_await perform(url, method, bodyData, repaired, path);
  handleDeprecationHeaders(*retried.response, path);
  co_return retried;
}

// --- Refresh -------------------------------------------------------------------------------

platform::Task<VasResponse> AuthClient::refreshSerialized(std::string refreshToken) {
  // Not a coroutine: the hook is read now, and the refresh holds the client only weakly.
  std::weak_ptr<AuthClient> weak = weak_from_this();
  TokenRefresher::Perform perform = [weak, refreshToken] {
    return refreshIfAlive(weak, refreshToken);
  };
  return tokenRefresher_.refresh(std::move(refreshToken), std::move(perform), onSessionRefreshed_);
}

void AuthClient::forgetRefreshes() {
  tokenRefresher_.reset();
}

platform::Task<VasResponse> AuthClient::refreshIfAlive(std::weak_ptr<AuthClient> client,
                                                       std::string refreshToken) {
  auto alive = client.lock();
  if (!alive) throw VoskaryError::networkUnavailable();
  co_return co_await alive->refresh(std::move(refreshToken));
}

platform::Task<VasResponse> AuthClient::refresh(std::string refreshToken) {
  auto self = shared_from_this();
  platform::Bytes body =
      encoded(RefreshBody{config_.appSlug(), refreshToken, config_.clientVersion()});
  const platform::URL url = resolve(kRefreshPath);
  SendResult answer = co_await perform(url, "POST", body, std::nullopt, std::string(kRefreshPath));
  try {
    handleDeprecationHeaders(*answer.response, kRefreshPath);
  } catch (const VoskaryError& error) {
    // The service has already rotated the token: keep the session it issued, then fail.
    if (!error.as<VoskaryError::RequiresUpgrade>() || !isSuccess(answer.response->statusCode()))
      throw;
    std::optional<VasResponse> issued;
    try {
      issued = VoskaryJSON::decoder().decode<VasResponse>(answer.data);
    } catch (const platform::DecodingError&) {
    }
    if (!issued) throw;
    throw TokenRefresher::IssuedWithError(std::move(*issued), std::current_exception());
  }
  mapStatusError(*answer.response, answer.data, kRefreshPath);
  co_return decodeAnswer<VasResponse>(answer.data, kRefreshPath, "VasResponse");
}

// --- Endpoints -----------------------------------------------------------------------------

platform::Task<void> AuthClient::revokeSession(std::string sessionToken) {
  auto self = shared_from_this();
  // The session ends here whatever the service answers: nothing learnt while it lived may be
  // handed to the next one.
  forgetRefreshes();
  const platform::URL url = resolve(kRevokePath);
  SendResult answer =
      co_await perform(url, "POST", std::nullopt, sessionToken, std::string(kRevokePath));
  handleDeprecationHeaders(*answer.response, kRevokePath);
  mapStatusError(*answer.response, answer.data, kRevokePath);
}

platform::Task<AppleAuthcodeResponse> AuthClient::exchangeAppleAuthCode(
    std::string authorizationCode, std::optional<std::string> identityToken,
    std::optional<std::string> installID) {
  auto self = shared_from_this();
  platform::Bytes body = encoded(AppleAuthcodeBody{config_.appSlug(), std::move(authorizationCode),
                                                   std::move(identityToken),
                                                   installID ? installID : config_.installID()});
  SendResult answer;
  try {
    answer =
        co_await performWithAuthRecovery(std::string(kAppleAuthcodePath), "POST", std::move(body),
                                         std::nullopt, {.keepIssuedOnUpgrade = true});
  } catch (const IssuedDespiteUpgrade<SendResult>& issued) {
    std::optional<AppleAuthcodeResponse> decoded;
    try {
      decoded = VoskaryJSON::decoder().decode<AppleAuthcodeResponse>(issued.answer().data);
    } catch (const platform::DecodingError&) {
    }
    if (!decoded) throw issued.error();
    throw IssuedDespiteUpgrade<AppleAuthcodeResponse>(std::move(*decoded), issued.error());
  }
  mapStatusError(*answer.response, answer.data, kAppleAuthcodePath);
  co_return decodeAnswer<AppleAuthcodeResponse>(answer.data, kAppleAuthcodePath,
                                                "AppleAuthcodeResponse");
}

platform::Task<std::string> AuthClient::getAppDataToken(std::string sessionToken) {
  auto self = shared_from_this();
  platform::Bytes body = encoded(AppDataTokenBody{config_.appSlug()});
  SendResult answer = co_await performWithAuthRecovery(std::string(kAppDataTokenPath), "POST",
                                                       std::move(body), std::move(sessionToken));
  mapStatusError(*answer.response, answer.data, kAppDataTokenPath);
  co_return decodeAnswer<AppDataTokenResponse>(answer.data, kAppDataTokenPath,
                                               "AppDataTokenResponse")
      .appDataToken;
}

}  // namespace voskary
