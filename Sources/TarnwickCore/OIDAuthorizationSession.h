#pragma once

#include <functional>
#include <memory>
#include <optional>

#include "Platform/Foundation/URL.h"
#include "TarnwickCore/OIDAuthorizationRequest.h"
#include "TarnwickCore/OIDAuthorizationResponse.h"
#include "TarnwickCore/OIDError.h"
#include "TarnwickCore/OIDExternalUserAgent.h"
#include "TarnwickCore/OIDExternalUserAgentSession.h"

namespace tarnwick {

// Called once per flow with exactly one of the two set.
using OIDAuthorizationCallback = std::function<void(
    const std::optional<OIDAuthorizationResponse>& response, const std::optional<OIDError>& error)>;

// Runs one authorization request: hands it to a user agent, checks the redirect that comes
// back against the request, and calls back once with the response or the error. Create it
// with std::make_shared; the caller keeps it while the flow runs, to pass the redirect in or
// to cancel. The callback runs inside the call that ends the flow and may drop the caller's
// last reference to the session.
class OIDAuthorizationSession final : public OIDExternalUserAgentSession,
                                      public std::enable_shared_from_this<OIDAuthorizationSession> {
 public:
  explicit OIDAuthorizationSession(OIDAuthorizationRequest request);

  // A request without a usable authorization endpoint fails at once with general error -2;
  // a user agent that refuses fails it with -9. Either way the callback may have run when this
  // returns.
  void presentAuthorizationWithExternalUserAgent(
      std::shared_ptr<OIDExternalUserAgent> externalUserAgent, OIDAuthorizationCallback callback);

  void cancel() override;
  // Ends a running flow with general error -3 and then runs `completion`; after the flow has
  // ended, runs `completion` at once.
  void cancelWithCompletion(std::function<void()> completion) override;

  bool shouldHandleURL(const platform::URL& url) const;
  // Same scheme (ignoring case), user, password, host, port and path once dot segments are
  // resolved; the query and the fragment do not count.
  static bool URLMatchesRedirectionURL(const platform::URL& url,
                                       const platform::URL& redirectionURL);

  // False for a URL that is not the redirect, and for a redirect that arrives after the flow
  // ended (which is logged and otherwise ignored: anyone can open the app's URL scheme).
  bool resumeExternalUserAgentFlowWithURL(const platform::URL& url) override;
  void failExternalUserAgentFlowWithError(const OIDError& error) override;

  bool isRunning() const { return static_cast<bool>(pendingAuthorizationFlowCallback_); }

 private:
  std::shared_ptr<OIDAuthorizationSession> strongSelf();
  void didFinishWithResponse(std::optional<OIDAuthorizationResponse> response,
                             std::optional<OIDError> error);

  OIDAuthorizationRequest request_;
  std::shared_ptr<OIDExternalUserAgent> externalUserAgent_;
  OIDAuthorizationCallback pendingAuthorizationFlowCallback_;
};

}  // namespace tarnwick
