#include "Tarnwick/OIDExternalUserAgentMac.h"

#include "Tarnwick/UserAgentPlatform.h"
#include "TarnwickCore/OIDErrorUtilities.h"

namespace tarnwick {

OIDExternalUserAgentMac::OIDExternalUserAgentMac(std::shared_ptr<platform::Window> presentingWindow,
                                                 BrowserSession session)
    : prefersEphemeralSession_(session == BrowserSession::ephemeral),
      presentingWindow_(std::move(presentingWindow)) {}

bool OIDExternalUserAgentMac::presentExternalUserAgentRequest(
    const OIDExternalUserAgentRequest& request,
    const std::shared_ptr<OIDExternalUserAgentSession>& session) {
  if (externalUserAgentFlowInProgress_) return false;
  // Reporting a failure to the session may release the session and with it this user agent.
  auto self = weak_from_this().lock();
  externalUserAgentFlowInProgress_ = true;
  ++flow_;
  session_ = session;
  platform::URL url = request.externalUserAgentRequestURL();

  auto sheets = UserAgentPlatform::webAuthenticationSessionFactory();
  if (!presentingWindow_ || !sheets) {
    auto opener = UserAgentPlatform::urlOpener();
    if (!opener) {
      browserDidNotOpen(flow_);
      return false;
    }
    // The opener may answer inline or only later (xdg-open's exit status): a late "no" fails
    // the flow then, unless it has ended or another one started meanwhile.
    struct Answer {
      bool inCall = true;
      std::optional<bool> opened;
    };
    auto answer = std::make_shared<Answer>();
    std::weak_ptr<OIDExternalUserAgentMac> weakSelf = weak_from_this();
    std::uint64_t flow = flow_;
    opener->openURLWithCompletion(url, [answer, weakSelf, flow](bool opened) {
      if (answer->inCall) {
        answer->opened = opened;
        return;
      }
      if (opened) return;
      if (auto strong = weakSelf.lock()) strong->browserDidNotOpen(flow);
    });
    answer->inCall = false;
    if (answer->opened == false) {
      browserDidNotOpen(flow);
      return false;
    }
    return true;
  }

  std::weak_ptr<OIDExternalUserAgentMac> weakSelf = weak_from_this();
  auto completion = [weakSelf](const std::optional<platform::URL>& callbackURL,
                               std::shared_ptr<const platform::Error> error) {
    if (auto strong = weakSelf.lock()) {
      strong->webAuthenticationSessionDidComplete(callbackURL, std::move(error));
    }
  };
  auto sheet = sheets->makeSession(url, request.redirectScheme(), std::move(completion));
  if (!sheet) {
    cleanUp();
    return false;
  }
  sheet->setPresentationContextProvider(
      std::weak_ptr<WebAuthenticationPresentationContextProviding>(weakSelf));
  webAuthenticationSession_ = sheet;
  sheet->setPrefersEphemeralWebBrowserSession(prefersEphemeralSession_);
  if (!sheet->start()) {
    // Idle again, so that this user agent can present the next request.
    cleanUp();
    return false;
  }
  return true;
}

void OIDExternalUserAgentMac::dismissExternalUserAgent(std::function<void()> completion) {
  auto self = weak_from_this().lock();
  if (externalUserAgentFlowInProgress_) {
    auto sheet = webAuthenticationSession_;
    cleanUp();
    if (sheet) sheet->cancel();
  }
  if (completion) completion();
}

std::shared_ptr<platform::Window>
OIDExternalUserAgentMac::presentationAnchorForWebAuthenticationSession(
    const WebAuthenticationSession&) {
  return presentingWindow_;
}

void OIDExternalUserAgentMac::browserDidNotOpen(std::uint64_t flow) {
  if (flow != flow_ || !externalUserAgentFlowInProgress_) return;
  auto self = weak_from_this().lock();
  auto session = session_.lock();
  cleanUp();
  if (session) {
    session->failExternalUserAgentFlowWithError(OIDErrorUtilities::errorWithCode(
        OIDErrorCode::browserOpen, nullptr, "Unable to open the browser."));
  }
}

void OIDExternalUserAgentMac::cleanUp() {
  session_.reset();
  externalUserAgentFlowInProgress_ = false;
  webAuthenticationSession_.reset();
}

void OIDExternalUserAgentMac::webAuthenticationSessionDidComplete(
    const std::optional<platform::URL>& callbackURL, std::shared_ptr<const platform::Error> error) {
  auto self = weak_from_this().lock();
  webAuthenticationSession_.reset();
  auto session = session_.lock();
  if (!session) return;
  if (callbackURL) {
    if (!session->resumeExternalUserAgentFlowWithURL(*callbackURL)) {
      // The sheet has closed, so no other redirect can come: end the flow rather than leave it
      // waiting for ever.
      cleanUp();
      session->failExternalUserAgentFlowWithError(OIDErrorUtilities::errorWithCode(
          OIDErrorCode::network, nullptr,
          "The web authentication session returned to an address that is not the redirect URL."));
    }
    return;
  }
  // The sheet is gone, so this user agent is free for the next request.
  cleanUp();
  session->failExternalUserAgentFlowWithError(OIDErrorUtilities::errorWithCode(
      OIDErrorCode::userCancelledAuthorizationFlow, std::move(error)));
}

}  // namespace tarnwick
