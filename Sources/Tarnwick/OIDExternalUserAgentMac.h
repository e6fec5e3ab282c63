#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "Platform/Foundation/URL.h"
#include "Tarnwick/WebAuthenticationPresentationContextProviding.h"
#include "Tarnwick/WebAuthenticationSession.h"
#include "TarnwickCore/OIDExternalUserAgent.h"

namespace platform {
class Window;
}

namespace tarnwick {

// Shows a request in a web-authentication sheet on one of the app's windows, or in the user's
// default browser when there is no window or the platform has no sheet (Linux). One flow at a
// time. Create it with std::make_shared: the sheet's completion refers to it weakly.
class OIDExternalUserAgentMac final : public OIDExternalUserAgent,
                                      public WebAuthenticationPresentationContextProviding,
                                      public std::enable_shared_from_this<OIDExternalUserAgentMac> {
 public:
  // The default browser.
  OIDExternalUserAgentMac() = default;
  explicit OIDExternalUserAgentMac(std::shared_ptr<platform::Window> presentingWindow,
                                   BrowserSession session = BrowserSession::shared);

  // False while another flow runs. In the browser, true once the URL was handed over; when the
  // browser cannot be opened, reports general error -10 to the session and answers false, or,
  // when the opener learns that only later, reports -10 then and ends the flow. With the sheet,
  // what starting it answers.
  bool presentExternalUserAgentRequest(
      const OIDExternalUserAgentRequest& request,
      const std::shared_ptr<OIDExternalUserAgentSession>& session) override;
  // Ends the flow in progress (closing the sheet) and runs `completion`, flow or not.
  void dismissExternalUserAgent(std::function<void()> completion) override;

  std::shared_ptr<platform::Window> presentationAnchorForWebAuthenticationSession(
      const WebAuthenticationSession& session) override;

  bool isFlowInProgress() const { return externalUserAgentFlowInProgress_; }

 private:
  void cleanUp();
  // The browser did not take the request of flow `flow`: fails it, if it is still the one.
  void browserDidNotOpen(std::uint64_t flow);
  void webAuthenticationSessionDidComplete(const std::optional<platform::URL>& callbackURL,
                                           std::shared_ptr<const platform::Error> error);

  bool externalUserAgentFlowInProgress_ = false;
  std::uint64_t flow_ = 0;  // counts the flows, so that a late answer finds its own
  std::weak_ptr<OIDExternalUserAgentSession> session_;
  bool prefersEphemeralSession_ = false;
  std::shared_ptr<platform::Window> presentingWindow_;
  std::shared_ptr<WebAuthenticationSession> webAuthenticationSession_;
};

}  // namespace tarnwick
