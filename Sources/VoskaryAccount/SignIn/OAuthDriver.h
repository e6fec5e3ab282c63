#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "Platform/Foundation/RunLoop.h"
#include "Platform/Foundation/Task.h"
#include "Platform/Foundation/URL.h"
#include "TarnwickCore/OIDAuthorizationRequest.h"
#include "TarnwickCore/OIDAuthorizationResponse.h"
#include "TarnwickCore/OIDError.h"
#include "TarnwickCore/OIDExternalUserAgentSession.h"
#include "TarnwickCore/OIDServiceConfiguration.h"
#include "VoskaryAccount/Client/VoskaryConfig.h"
#include "VoskaryAccount/Client/VoskaryError.h"
#include "VoskaryAccount/Client/VoskaryRedaction.h"

namespace platform {
class Window;
}

namespace voskary {

// What a successful authorization hands to the code exchange.
struct OAuthAuthorizationResult {
  std::string authorizationCode;
  std::optional<std::string> codeVerifier;  // the request's PKCE verifier
  std::optional<std::string> state;         // as the redirect echoed it
  bool operator==(const OAuthAuthorizationResult&) const = default;
};

// The browser half of an account sign-in: discovers the authority, builds the authorization
// request with the library's parameters and shows it in a web-authentication sheet or the
// default browser, then hands back the code and its verifier. One flow at a time: a new
// sign-in cancels the one still open. Everything but discovery runs on the main queue.
//
// Create it with std::make_shared; flow callbacks and the timeout refer to it weakly.
class OAuthDriver : public std::enable_shared_from_this<OAuthDriver> {
 public:
  // The provider the user picked; none means the authority's own chooser page.
  enum class ProviderHint { apple, google, email };
  // Where the authorization page is shown.
  enum class UserAgent { sheet, systemBrowser };

  // How long a browser flow waits for its redirect before it ends as cancelled.
  static constexpr double systemBrowserTimeout = 300.0;

  // Exactly "apple", "google" or "email"; nothing for any other text.
  static std::optional<ProviderHint> providerHint(std::string_view raw);
  static std::string_view rawValue(ProviderHint hint);

  explicit OAuthDriver(VoskaryConfig config);

  // In a web-authentication sheet on `window` (the browser where the platform has no sheet).
  platform::Task<OAuthAuthorizationResult> authorize(std::shared_ptr<platform::Window> window,
                                                     std::optional<ProviderHint> provider);
  // In the default browser; the redirect comes back through `resume`.
  platform::Task<OAuthAuthorizationResult> authorizeViaSystemBrowser(
      std::optional<ProviderHint> provider);

  // Hands a redirect to the open flow; true when it was that flow's redirect.
  bool resume(const platform::URL& url);
  // Cancels the open flow; false when none is open.
  bool cancelInFlight();
  bool hasFlowInProgress() const { return current_ != nullptr; }

  // The library's parameters of the authorization request.
  static tarnwick::OIDParameters authorizationAdditionalParameters(
      const VoskaryConfig& config, std::optional<ProviderHint> provider);
  // A cancelled flow is `authorizationCancelled`; anything else fails with its description.
  static VoskaryError map(const tarnwick::OIDError& error);

 private:
  struct Flow;
  using Continuation = platform::Continuation<OAuthAuthorizationResult>;

  platform::Task<tarnwick::OIDServiceConfiguration> discoverConfiguration();
  tarnwick::OIDAuthorizationRequest makeAuthRequest(
      const tarnwick::OIDServiceConfiguration& configuration,
      std::optional<ProviderHint> provider) const;
  platform::Task<OAuthAuthorizationResult> authorizeIn(UserAgent agent,
                                                       std::shared_ptr<platform::Window> window,
                                                       std::optional<ProviderHint> provider);
  void present(const std::shared_ptr<Flow>& flow, std::shared_ptr<platform::Window> window,
               const tarnwick::OIDAuthorizationRequest& request,
               std::optional<ProviderHint> provider, const Continuation& continuation,
               UserAgent agent);
  void flowEnded(const std::shared_ptr<Flow>& flow);
  // Resumes the waiting operation; static, since the driver may be gone when a flow ends.
  static void finishAuthorize(const VoskaryLogger& logger, const Continuation& continuation,
                              const tarnwick::OIDAuthorizationRequest& request,
                              const std::optional<tarnwick::OIDAuthorizationResponse>& response,
                              const std::optional<tarnwick::OIDError>& error,
                              std::optional<ProviderHint> provider);
  static VoskaryLogFields oauthFailureFields(const tarnwick::OIDError* error,
                                             VoskaryRedaction::Classification classification,
                                             std::optional<ProviderHint> provider);
  void log(VoskaryLogLevel level, const std::string& event, const VoskaryLogFields& fields) const;

  VoskaryConfig config_;
  VoskaryLogger logger_;
  // The open flow; touched on the main queue only.
  std::shared_ptr<Flow> current_;
};

}  // namespace voskary
