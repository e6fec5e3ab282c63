#include "TarnwickCore/OIDUserAgentFlow.h"

#include <utility>

#include "Platform/Foundation/SystemLogger.h"
#include "TarnwickCore/OIDDescription.h"

namespace tarnwick::userAgentFlow {

OIDError stateMismatch(const std::optional<std::string>& expected,
                       const std::optional<std::string>& received,
                       const std::string& responseDescription,
                       platform::Value::Dictionary parameters) {
  std::string description = "State mismatch, expecting " + OIDDescription::of(expected) +
                            " but got " + OIDDescription::of(received) +
                            " in authorization response " + responseDescription;
  return OIDError(std::string(OIDOAuthAuthorizationErrorDomain),
                  static_cast<long>(OIDErrorCodeOAuth::clientError), std::move(description),
                  nullptr, std::move(parameters));
}

void dismissThen(const std::shared_ptr<OIDExternalUserAgent>& externalUserAgent,
                 std::function<void()> finish) {
  if (externalUserAgent) {
    externalUserAgent->dismissExternalUserAgent(std::move(finish));
  } else {
    finish();
  }
}

void cancel(const std::shared_ptr<OIDExternalUserAgent>& externalUserAgent,
            std::function<void()> finishCancelled, std::function<void()> completion) {
  if (!externalUserAgent) {
    if (completion) completion();
    return;
  }
  externalUserAgent->dismissExternalUserAgent(
      [finishCancelled = std::move(finishCancelled), completion = std::move(completion)] {
        finishCancelled();
        if (completion) completion();
      });
}

void logLateRedirect(std::string_view category) {
  platform::SystemLogger("dev.voskary.tarnwick", std::string(category))
      .log(platform::SystemLogType::error,
           "An OAuth redirect was sent to a OIDExternalUserAgentSession after it already "
           "completed.");
}

}  // namespace tarnwick::userAgentFlow
