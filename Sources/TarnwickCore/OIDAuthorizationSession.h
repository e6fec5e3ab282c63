#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string_view>
#include <utility>

#include "Platform/Foundation/URL.h"
#include "TarnwickCore/OIDAuthorizationRequest.h"
#include "TarnwickCore/OIDAuthorizationResponse.h"
#include "TarnwickCore/OIDError.h"
#include "TarnwickCore/OIDExternalUserAgent.h"
#include "TarnwickCore/OIDExternalUserAgentSession.h"
#include "TarnwickCore/OIDUserAgentFlowSession.h"

namespace tarnwick {

// Called once per flow with exactly one of the two set.
using OIDAuthorizationCallback = std::function<void(
    const std::optional<OIDAuthorizationResponse>& response, const std::optional<OIDError>& error)>;

// Runs one authorization request: hands it to a user agent, checks the redirect that comes
// back against the request, and calls back once with the response or the error. Create it
// with std::make_shared; the caller keeps it while the flow runs, to pass the redirect in or
// to cancel. A request without a usable authorization endpoint fails at once with general
// error -2; a cancel ends the flow with -3.
class OIDAuthorizationSession final
    : public OIDUserAgentFlowSession<OIDAuthorizationSession, OIDAuthorizationResponse> {
 public:
  explicit OIDAuthorizationSession(OIDAuthorizationRequest request);

  bool shouldHandleURL(const platform::URL& url) const;
  // Same scheme (ignoring case), user, password, host, port and path once dot segments are
  // resolved; the query and the fragment do not count.
  static bool URLMatchesRedirectionURL(const platform::URL& url,
                                       const platform::URL& redirectionURL);

 private:
  friend class OIDUserAgentFlowSession<OIDAuthorizationSession, OIDAuthorizationResponse>;
  static constexpr const char* ownershipMessage =
      "OIDAuthorizationSession must be owned by a shared_ptr.";
  static constexpr std::string_view lateRedirectCategory = "authorization";
  const OIDAuthorizationRequest& request() const { return request_; }
  std::optional<OIDError> unusableEndpointError() const;
  OIDError cancelledError() const;
  std::pair<std::optional<OIDAuthorizationResponse>, std::optional<OIDError>> finishWith(
      const platform::Value::Dictionary& parameters) const;

  OIDAuthorizationRequest request_;
};

}  // namespace tarnwick
