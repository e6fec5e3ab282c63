#pragma once

#include <functional>
#include <memory>
#include <optional>

#include "Platform/Foundation/URL.h"
#include "TarnwickCore/OIDEndSessionRequest.h"
#include "TarnwickCore/OIDEndSessionResponse.h"
#include "TarnwickCore/OIDError.h"
#include "TarnwickCore/OIDExternalUserAgent.h"
#include "TarnwickCore/OIDExternalUserAgentSession.h"

namespace tarnwick {

// Called once per flow with exactly one of the two set.
using OIDEndSessionCallback = std::function<void(
    const std::optional<OIDEndSessionResponse>& response, const std::optional<OIDError>& error)>;

// Runs one logout at the provider: opens the end-session request in a user agent and waits for
// the redirect to the post-logout address. Create it with std::make_shared; the callback runs
// inside the call that ends the flow and may drop the caller's last reference.
class OIDEndSessionImplementation final
    : public OIDExternalUserAgentSession,
      public std::enable_shared_from_this<OIDEndSessionImplementation> {
 public:
  explicit OIDEndSessionImplementation(OIDEndSessionRequest request);

  // A provider without an end-session endpoint fails the flow at once with general error -2;
  // a user agent that refuses fails it with -9.
  void presentAuthorizationWithExternalUserAgent(
      std::shared_ptr<OIDExternalUserAgent> externalUserAgent, OIDEndSessionCallback callback);

  void cancel() override;
  void cancelWithCompletion(std::function<void()> completion) override;
  bool shouldHandleURL(const platform::URL& url) const;
  // The redirect is not read for "error": whatever the provider sends back, with the right
  // state, is the response.
  bool resumeExternalUserAgentFlowWithURL(const platform::URL& url) override;
  void failExternalUserAgentFlowWithError(const OIDError& error) override;

  bool isRunning() const { return static_cast<bool>(pendingEndSessionCallback_); }

 private:
  std::shared_ptr<OIDEndSessionImplementation> strongSelf();
  void didFinishWithResponse(std::optional<OIDEndSessionResponse> response,
                             std::optional<OIDError> error);

  OIDEndSessionRequest request_;
  std::shared_ptr<OIDExternalUserAgent> externalUserAgent_;
  OIDEndSessionCallback pendingEndSessionCallback_;
};

}  // namespace tarnwick
