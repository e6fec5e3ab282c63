#include "Tarnwick/OIDRedirectHTTPHandler.h"

#include <utility>

#include "Platform/Foundation/Environment.h"
#include "TarnwickCore/OIDErrorUtilities.h"

namespace tarnwick {

namespace {

HTTPResponseMessage page(int status, std::string body) {
  HTTPResponseMessage response;
  response.status = status;
  response.headers.emplace_back("Content-Length", std::to_string(body.size()));
  response.body = std::move(body);
  return response;
}

// The URL the browser asked for, on the address it reached us at.
std::optional<platform::URL> requestURL(const HTTPRequestMessage& request) {
  if (auto absolute = platform::URL::parse(request.target); absolute && absolute->scheme()) {
    return absolute;
  }
  std::string host = request.header("Host").value_or("127.0.0.1");
  return platform::URL::parse("http://" + host + request.target);
}

}  // namespace

OIDRedirectHTTPHandler::OIDRedirectHTTPHandler(std::optional<platform::URL> successURL,
                                               std::shared_ptr<platform::RunLoop> loop)
    : successURL_(std::move(successURL)),
      loop_(loop ? std::move(loop) : platform::env().mainLoop) {}

OIDRedirectHTTPHandler::~OIDRedirectHTTPHandler() {
  cancelHTTPListener();
}

std::optional<platform::URL> OIDRedirectHTTPHandler::startHTTPListener(
    std::optional<OIDError>* error, std::uint16_t port) {
  cancelHTTPListener();
  auto server = std::make_unique<HTTPServer>(loop_);
  server->setPort(port);
  server->setDelegate(weak_from_this());
  if (!server->start(error)) return std::nullopt;
  std::string base = server->hasIPv4Socket() ? "http://127.0.0.1:" : "http://[::1]:";
  auto url = platform::URL::parse(base + std::to_string(server->port()) + "/");
  httpServer_ = std::move(server);
  return url;
}

void OIDRedirectHTTPHandler::cancelHTTPListener() {
  stopHTTPListener();
  if (auto flow = std::exchange(currentAuthorizationFlow_, nullptr)) {
    flow->failExternalUserAgentFlowWithError(
        OIDErrorUtilities::errorWithCode(OIDErrorCode::programCancelledAuthorizationFlow, nullptr,
                                         "The HTTP listener was cancelled programmatically."));
  }
}

void OIDRedirectHTTPHandler::stopHTTPListener() {
  if (!httpServer_) return;
  httpServer_->setDelegate({});
  httpServer_->stop();
  httpServer_.reset();
}

void OIDRedirectHTTPHandler::connectionDidReceiveRequest(
    HTTPConnection&, const std::shared_ptr<HTTPServerRequest>& request) {
  if (!currentAuthorizationFlow_) {
    request->setResponse(
        page(400,
             "<html><body>Tarnwick Error: No <code>currentAuthorizationFlow</code> is set on the "
             "<code>OIDRedirectHTTPHandler</code>. Cannot process redirect.</body></html>"));
    return;
  }
  auto url = requestURL(request->request());
  // The flow is kept while it runs: its callback may release this handler's owner.
  auto flow = currentAuthorizationFlow_;
  if (!url || !flow->resumeExternalUserAgentFlowWithURL(*url)) {
    request->setResponse(
        page(404, "<html><body>Tarnwick Error: Not a valid redirect.</body></html>"));
    return;
  }
  currentAuthorizationFlow_.reset();
  // Stopping only closes the listening sockets: this connection lives until its answer is out.
  stopHTTPListener();
  auto response = page(successURL_ ? 302 : 200,
                       "<html><body>Authorization complete.<br> Return to the app.</body></html>");
  if (successURL_) response.headers.emplace_back("Location", successURL_->absoluteString());
  // Nothing more is served here: the browser's connection ends with this answer.
  response.headers.emplace_back("Connection", "close");
  request->setResponse(std::move(response));
}

}  // namespace tarnwick
