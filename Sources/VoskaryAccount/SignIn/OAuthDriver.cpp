#include "VoskaryAccount/SignIn/OAuthDriver.h"

#include "Platform/Foundation/Environment.h"
#include "Tarnwick/OIDAuthorizationService.h"

namespace voskary {

using tarnwick::OIDAuthorizationRequest;
using tarnwick::OIDAuthorizationResponse;
using tarnwick::OIDError;
using tarnwick::OIDServiceConfiguration;

// One presented request. The driver holds the open one; its callback and its timeout refer to
// it weakly, so a late callback or timeout can only ever end or clear its own flow.
struct OAuthDriver::Flow {
  std::shared_ptr<tarnwick::OIDExternalUserAgentSession> session;
  std::shared_ptr<platform::WorkItem> timeout;
  bool finished = false;
};

namespace {

struct DiscoveryOutcome {
  std::optional<OIDServiceConfiguration> configuration;
  std::optional<OIDError> error;
};

}  // namespace

std::optional<OAuthDriver::ProviderHint> OAuthDriver::providerHint(std::string_view raw) {
  for (ProviderHint hint : {ProviderHint::apple, ProviderHint::google, ProviderHint::email})
    if (rawValue(hint) == raw) return hint;
  return std::nullopt;
}

std::string_view OAuthDriver::rawValue(ProviderHint hint) {
  switch (hint) {
    case ProviderHint::apple:
      return "apple";
    case ProviderHint::google:
      return "google";
    case ProviderHint::email:
      return "email";
  }
  return "";
}

OAuthDriver::OAuthDriver(VoskaryConfig config)
    : config_(std::move(config)), logger_(config_.logger()) {}

void OAuthDriver::log(VoskaryLogLevel level, const std::string& event,
                      const VoskaryLogFields& fields) const {
  if (logger_) logger_(level, event, fields);
}

tarnwick::OIDParameters OAuthDriver::authorizationAdditionalParameters(
    const VoskaryConfig& config, std::optional<ProviderHint> provider) {
  tarnwick::OIDParameters parameters = {{"voskary_app_slug", config.appSlug()},
                                        {"voskary_client_version", config.clientVersion()},
                                        {"voskary_lib_version", config.libVersion()}};
  if (provider) {
    parameters["provider"] = std::string(rawValue(*provider));
    if (*provider == ProviderHint::google) parameters["prompt"] = "select_account";
  }
  return parameters;
}

VoskaryError OAuthDriver::map(const OIDError& error) {
  if (error.is(tarnwick::OIDErrorCode::userCancelledAuthorizationFlow))
    return VoskaryError::authorizationCancelled();
  return VoskaryError::authorizationFailed(error.description());
}

VoskaryLogFields OAuthDriver::oauthFailureFields(const OIDError* error,
                                                 VoskaryRedaction::Classification classification,
                                                 std::optional<ProviderHint> provider) {
  VoskaryLogFields fields = {{"class", std::string(voskary::rawValue(classification))}};
  if (provider) fields["provider"] = std::string(rawValue(*provider));
  if (error) {
    fields["error_domain"] = error->domain();
    fields["error_code"] = std::to_string(error->code());
  }
  return fields;
}

// --- Discovery and the request ----------------------------------------------------------

platform::Task<OIDServiceConfiguration> OAuthDriver::discoverConfiguration() {
  std::weak_ptr<OAuthDriver> weak = weak_from_this();
  platform::URL issuer = config_.authorityURL();
  auto start = [issuer](platform::Continuation<DiscoveryOutcome> continuation) {
    tarnwick::OIDAuthorizationService::discoverServiceConfigurationForIssuer(
        issuer, [continuation](const std::optional<OIDServiceConfiguration>& configuration,
                               const std::optional<OIDError>& error) {
          continuation.resume(DiscoveryOutcome{configuration, error});
        });
  };
  DiscoveryOutcome outcome =
      co_await platform::withContinuation<DiscoveryOutcome>(std::move(start));
  auto driver = weak.lock();
  if (outcome.error) {
    if (driver) {
      driver->log(VoskaryLogLevel::warning, "oauth_discovery_failed",
                  oauthFailureFields(&*outcome.error, VoskaryRedaction::Classification::transport,
                                     std::nullopt));
    }
    throw map(*outcome.error);
  }
  if (outcome.configuration) co_return std::move(*outcome.configuration);
  if (driver) {
    driver->log(
        VoskaryLogLevel::warning, "oauth_discovery_failed",
        {{"class", std::string(voskary::rawValue(VoskaryRedaction::Classification::transport))}});
  }
  throw VoskaryError::authorizationFailed("discovery_empty");
}

OIDAuthorizationRequest OAuthDriver::makeAuthRequest(const OIDServiceConfiguration& configuration,
                                                     std::optional<ProviderHint> provider) const {
  return OIDAuthorizationRequest(configuration, config_.clientID(), config_.scopes(),
                                 config_.redirectURI(), std::string(tarnwick::OIDResponseTypeCode),
                                 authorizationAdditionalParameters(config_, provider));
}

// --- Presenting --------------------------------------------------------------------------

platform::Task<OAuthAuthorizationResult> OAuthDriver::authorize(
    std::shared_ptr<platform::Window> window, std::optional<ProviderHint> provider) {
  return authorizeIn(UserAgent::sheet, std::move(window), provider);
}

platform::Task<OAuthAuthorizationResult> OAuthDriver::authorizeViaSystemBrowser(
    std::optional<ProviderHint> provider) {
  return authorizeIn(UserAgent::systemBrowser, nullptr, provider);
}

platform::Task<OAuthAuthorizationResult> OAuthDriver::authorizeIn(
    UserAgent agent, std::shared_ptr<platform::Window> window,
    std::optional<ProviderHint> provider) {
  auto self = shared_from_this();
  OIDServiceConfiguration configuration = co_await discoverConfiguration();
  OIDAuthorizationRequest request = makeAuthRequest(configuration, provider);
  co_await platform::resumeOnMain();
  auto flow = std::make_shared<Flow>();
  auto start = [self, flow, agent, window, request, provider](Continuation continuation) {
    self->present(flow, window, request, provider, continuation, agent);
  };
  co_return co_await platform::withContinuation<OAuthAuthorizationResult>(std::move(start));
}

void OAuthDriver::present(const std::shared_ptr<Flow>& flow,
                          std::shared_ptr<platform::Window> window,
                          const OIDAuthorizationRequest& request,
                          std::optional<ProviderHint> provider, const Continuation& continuation,
                          UserAgent agent) {
  // One flow at a time: the older one ends as cancelled through its own callback.
  if (current_) {
    auto older = current_;
    older->session->cancel();
  }
  if (current_) {
    continuation.resumeThrowing(VoskaryError::authorizationFailed("sign_in_already_in_progress"));
    return;
  }

  std::weak_ptr<OAuthDriver> weakDriver = weak_from_this();
  std::weak_ptr<Flow> weakFlow = flow;
  VoskaryLogger logger = logger_;
  auto callback = [weakDriver, weakFlow, logger, continuation, request, provider](
                      const std::optional<OIDAuthorizationResponse>& response,
                      const std::optional<OIDError>& error) {
    if (auto ended = weakFlow.lock()) {
      ended->finished = true;
      if (ended->timeout) ended->timeout->cancel();
      if (auto driver = weakDriver.lock()) driver->flowEnded(ended);
    }
    finishAuthorize(logger, continuation, request, response, error, provider);
  };

  auto session =
      agent == UserAgent::systemBrowser || !window
          ? tarnwick::OIDAuthorizationService::presentAuthorizationRequest(request, callback)
          : tarnwick::OIDAuthorizationService::presentAuthorizationRequest(request, window,
                                                                           callback);
  // A flow that ended inside the presenting call (a browser that cannot be opened) is over:
  // keeping it would refuse every later sign-in as already in progress.
  if (flow->finished) return;
  flow->session = std::move(session);
  current_ = flow;
  // A sign-in whose task is cancelled ends its flow, on the main queue where flows live.
  continuation.onCancel([weakFlow](const Continuation&) {
    platform::env().mainLoop->post([weakFlow] {
      auto cancelled = weakFlow.lock();
      if (cancelled && !cancelled->finished && cancelled->session) cancelled->session->cancel();
    });
  });
  // On every road: the in-window one without a window takes the browser too, and a sheet
  // left open must not keep the sign-in waiting for ever either.
  flow->timeout = platform::env().mainLoop->postAfter(systemBrowserTimeout, [weakFlow] {
    auto timedOut = weakFlow.lock();
    if (timedOut && !timedOut->finished && timedOut->session) timedOut->session->cancel();
  });
}

void OAuthDriver::flowEnded(const std::shared_ptr<Flow>& flow) {
  if (current_ == flow) current_.reset();
}

bool OAuthDriver::resume(const platform::URL& url) {
  if (!current_) return false;
  auto flow = current_;
  return flow->session->resumeExternalUserAgentFlowWithURL(url);
}

bool OAuthDriver::cancelInFlight() {
  if (!current_) return false;
  auto flow = current_;
  flow->session->cancel();
  return true;
}

// --- Finishing ---------------------------------------------------------------------------

void OAuthDriver::finishAuthorize(const VoskaryLogger& logger, const Continuation& continuation,
                                  const OIDAuthorizationRequest& request,
                                  const std::optional<OIDAuthorizationResponse>& response,
                                  const std::optional<OIDError>& error,
                                  std::optional<ProviderHint> provider) {
  if (error) {
    VoskaryError mapped = map(*error);
    const bool cancelled = mapped == VoskaryError::authorizationCancelled();
    if (logger) {
      logger(cancelled ? VoskaryLogLevel::info : VoskaryLogLevel::warning, "oauth_authorize_failed",
             oauthFailureFields(&*error,
                                cancelled ? VoskaryRedaction::Classification::cancelled
                                          : VoskaryRedaction::Classification::auth,
                                provider));
    }
    continuation.resumeThrowing(std::move(mapped));
    return;
  }
  if (response && response->authorizationCode()) {
    continuation.resume(OAuthAuthorizationResult{*response->authorizationCode(),
                                                 request.codeVerifier(), response->state()});
    return;
  }
  if (logger) {
    logger(VoskaryLogLevel::warning, "oauth_authorize_failed",
           oauthFailureFields(nullptr, VoskaryRedaction::Classification::auth, provider));
  }
  continuation.resumeThrowing(VoskaryError::authorizationFailed("empty_response"));
}

}  // namespace voskary
