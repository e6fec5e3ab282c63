#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "Platform/Foundation/URL.h"
#include "TarnwickCore/OIDAuthorizationRequest.h"
#include "TarnwickCore/OIDAuthorizationSession.h"
#include "TarnwickCore/OIDExternalUserAgent.h"
#include "TarnwickCore/OIDServiceConfiguration.h"
#include "TarnwickCore/OIDURLQueryComponent.h"

namespace tarnwick::testing {

inline OIDServiceConfiguration testConfiguration(
    platform::URL authorizationEndpoint = platform::URL("https://id.example.test/authorize")) {
  return OIDServiceConfiguration(std::move(authorizationEndpoint),
                                 platform::URL("https://id.example.test/token"));
}

// The request the app makes: generated secrets, "code", the app's client and redirect.
inline OIDAuthorizationRequest testRequest(
    OIDServiceConfiguration configuration = testConfiguration(),
    std::optional<OIDParameters> additional = std::nullopt) {
  return OIDAuthorizationRequest(std::move(configuration), "flagrig", {"voskary.account"},
                                 platform::URL("flagrig://auth/callback"),
                                 std::string(OIDResponseTypeCode), std::move(additional));
}

// The query of a URL as name to values.
inline std::map<std::string, std::vector<std::string>> queryOf(const platform::URL& url) {
  std::map<std::string, std::vector<std::string>> out;
  OIDURLQueryComponent query(url);
  for (const auto& name : query.parameters()) out[name] = *query.valuesForParameter(name);
  return out;
}

// What one call of a flow's callback brought.
struct FlowOutcome {
  std::optional<OIDAuthorizationResponse> response;
  std::optional<OIDError> error;
};

// A callback that appends each call to `outcomes`.
inline OIDAuthorizationCallback recordInto(std::vector<FlowOutcome>& outcomes) {
  return [&outcomes](const auto& response, const auto& error) {
    outcomes.push_back({response, error});
  };
}

// A user agent that takes every request and dismisses at once, counting both.
class RecordingUserAgent final : public OIDExternalUserAgent {
 public:
  bool presentExternalUserAgentRequest(
      const OIDExternalUserAgentRequest& request,
      const std::shared_ptr<OIDExternalUserAgentSession>& session) override {
    ++presented;
    url = request.externalUserAgentRequestURL();
    this->session = session;
    return accepts;
  }
  void dismissExternalUserAgent(std::function<void()> completion) override {
    ++dismissed;
    if (completion) completion();
  }

  bool accepts = true;
  int presented = 0;
  int dismissed = 0;
  std::optional<platform::URL> url;
  std::weak_ptr<OIDExternalUserAgentSession> session;
};

}  // namespace tarnwick::testing
