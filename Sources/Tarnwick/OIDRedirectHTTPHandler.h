#pragma once

#include <memory>
#include <optional>

#include "Platform/Foundation/RunLoop.h"
#include "Platform/Foundation/URL.h"
#include "Tarnwick/HTTPServer.h"
#include "TarnwickCore/OIDError.h"
#include "TarnwickCore/OIDExternalUserAgentSession.h"

namespace tarnwick {

// Takes a loopback redirect (RFC 8252 section 7.3): listens on 127.0.0.1 and ::1, hands the
// URL of the browser's request to the waiting authorization flow and answers the browser.
// Create it with std::make_shared; destroying it cancels the listener and so fails a waiting
// flow with -4.
class OIDRedirectHTTPHandler final : public HTTPConnectionDelegate,
                                     public std::enable_shared_from_this<OIDRedirectHTTPHandler> {
 public:
  // The server runs on `loop` (the main loop when none is given).
  explicit OIDRedirectHTTPHandler(std::optional<platform::URL> successURL = std::nullopt,
                                  std::shared_ptr<platform::RunLoop> loop = nullptr);
  ~OIDRedirectHTTPHandler() override;

  // Cancels a running listener first, then listens on `port` (0: a free one). The redirect
  // base, "http://127.0.0.1:<port>/" or, with only IPv6, "http://[::1]:<port>/"; nothing and
  // the server's error when no socket could listen.
  std::optional<platform::URL> startHTTPListener(std::optional<OIDError>* error,
                                                 std::uint16_t port = 0);
  // Stops listening and fails the waiting flow with general error -4.
  void cancelHTTPListener();
  // Stops listening without touching the flow.
  void stopHTTPListener();

  const std::shared_ptr<OIDExternalUserAgentSession>& currentAuthorizationFlow() const {
    return currentAuthorizationFlow_;
  }
  void setCurrentAuthorizationFlow(std::shared_ptr<OIDExternalUserAgentSession> flow) {
    currentAuthorizationFlow_ = std::move(flow);
  }

  void connectionDidReceiveRequest(HTTPConnection& connection,
                                   const std::shared_ptr<HTTPServerRequest>& request) override;

 private:
  std::optional<platform::URL> successURL_;
  std::shared_ptr<platform::RunLoop> loop_;
  std::unique_ptr<HTTPServer> httpServer_;
  std::shared_ptr<OIDExternalUserAgentSession> currentAuthorizationFlow_;
};

}  // namespace tarnwick
