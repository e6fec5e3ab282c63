#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string_view>
#include <utility>

#include "Platform/Foundation/URL.h"
#include "TarnwickCore/OIDEndSessionRequest.h"
#include "TarnwickCore/OIDEndSessionResponse.h"
#include "TarnwickCore/OIDError.h"
#include "TarnwickCore/OIDExternalUserAgent.h"
#include "TarnwickCore/OIDExternalUserAgentSession.h"
#include "TarnwickCore/OIDUserAgentFlowSession.h"

namespace tarnwick {

// Called once per flow with exactly one of the two set.
using OIDEndSessionCallback = std::function<void(
    const std::optional<OIDEndSessionResponse>& response, const std::optional<OIDError>& error)>;

// Runs one logout at the provider: opens the end-session request in a user agent and waits for
// the redirect to the post-logout address. Create it with std::make_shared. A provider without
// an end-session endpoint fails the flow at once with general error -2. The redirect is not
// read for "error": whatever the provider sends back, with the right state, is the response.
class OIDEndSessionImplementation final
    : public OIDUserAgentFlowSession<OIDEndSessionImplementation, OIDEndSessionResponse> {
 public:
  explicit OIDEndSessionImplementation(OIDEndSessionRequest request);

  bool shouldHandleURL(const platform::URL& url) const;

 private:
  friend class OIDUserAgentFlowSession<OIDEndSessionImplementation, OIDEndSessionResponse>;
  static constexpr const char* ownershipMessage =
      "OIDEndSessionImplementation must be owned by a shared_ptr.";
  static constexpr std::string_view lateRedirectCategory = "end-session";
  const OIDEndSessionRequest& request() const { return request_; }
  std::optional<OIDError> unusableEndpointError() const;
  OIDError cancelledError() const;
  std::pair<std::optional<OIDEndSessionResponse>, std::optional<OIDError>> finishWith(
      const platform::Value::Dictionary& parameters) const;

  OIDEndSessionRequest request_;
};

}  // namespace tarnwick
