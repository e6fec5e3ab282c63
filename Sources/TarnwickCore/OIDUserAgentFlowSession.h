#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <utility>

#include "Platform/Foundation/Error.h"
#include "Platform/Foundation/URL.h"
#include "TarnwickCore/OIDError.h"
#include "TarnwickCore/OIDErrorUtilities.h"
#include "TarnwickCore/OIDExternalUserAgent.h"
#include "TarnwickCore/OIDExternalUserAgentSession.h"
#include "TarnwickCore/OIDURLQueryComponent.h"
#include "TarnwickCore/OIDUserAgentFlow.h"

namespace tarnwick {

// One flow that runs in a user agent (an authorization, an end session), from its start to its
// one callback, along the three roads that end it: the awaited redirect, a failure the user
// agent reports, or the caller's cancel. `Flow` says what differs:
//
//   static constexpr const char* ownershipMessage;   // the precondition's text
//   static constexpr std::string_view lateRedirectCategory;
//   const Request& request() const;
//   std::optional<OIDError> unusableEndpointError() const;  // the request cannot be opened
//   OIDError cancelledError() const;
//   bool shouldHandleURL(const platform::URL& url) const;
//   // The response or the error that a redirect's query parameters make.
//   std::pair<std::optional<Response>, std::optional<OIDError>> finishWith(
//       const platform::Value::Dictionary& parameters) const;
//
// The callback runs inside the call that ends the flow and may drop the caller's last reference.
template <class Flow, class Response>
class OIDUserAgentFlowSession : public OIDExternalUserAgentSession,
                                public std::enable_shared_from_this<Flow> {
 public:
  // Called once per flow with exactly one of the two set.
  using Callback = std::function<void(const std::optional<Response>& response,
                                      const std::optional<OIDError>& error)>;

  // A request that cannot be opened fails at once with the flow's error; a user agent that
  // refuses fails it with general error -9. Either way the callback may have run on return.
  void presentAuthorizationWithExternalUserAgent(
      std::shared_ptr<OIDExternalUserAgent> externalUserAgent, Callback callback) {
    platform::precondition(externalUserAgent != nullptr,
                           "Parameter: |externalUserAgent| must be non-nil.");
    auto self = strongSelf();
    externalUserAgent_ = externalUserAgent;
    pendingCallback_ = std::move(callback);
    if (auto error = flow().unusableEndpointError()) {
      didFinishWithResponse(std::nullopt, std::move(error));
      return;
    }
    if (!externalUserAgent->presentExternalUserAgentRequest(flow().request(), self)) {
      // Finds nothing to finish when the user agent has already reported its own failure.
      didFinishWithResponse(
          std::nullopt, OIDErrorUtilities::errorWithCode(OIDErrorCode::userAgentRefused, nullptr,
                                                         "Unable to open Safari."));
    }
  }

  void cancel() override { cancelWithCompletion(nullptr); }
  // Ends a running flow with the flow's cancel error and then runs `completion`; after the
  // flow has ended, runs `completion` at once.
  void cancelWithCompletion(std::function<void()> completion) override {
    auto self = strongSelf();
    userAgentFlow::cancel(
        externalUserAgent_,
        [self] { self->didFinishWithResponse(std::nullopt, self->flow().cancelledError()); },
        std::move(completion));
  }

  // False for a URL that is not the redirect, and for a redirect that arrives after the flow
  // ended (which is logged and otherwise ignored: anyone can open the app's URL scheme).
  bool resumeExternalUserAgentFlowWithURL(const platform::URL& url) override {
    if (!flow().shouldHandleURL(url)) return false;
    auto self = strongSelf();
    if (!pendingCallback_) {
      userAgentFlow::logLateRedirect(Flow::lateRedirectCategory);
      return false;
    }
    auto [response, error] = flow().finishWith(OIDURLQueryComponent(url).dictionaryValue());
    auto finish = [self, response = std::move(response), error = std::move(error)] {
      self->didFinishWithResponse(response, error);
    };
    userAgentFlow::dismissThen(externalUserAgent_, std::move(finish));
    return true;
  }

  void failExternalUserAgentFlowWithError(const OIDError& error) override {
    auto self = strongSelf();
    didFinishWithResponse(std::nullopt, error);
  }

  bool isRunning() const { return static_cast<bool>(pendingCallback_); }

 protected:
  OIDUserAgentFlowSession() = default;

 private:
  Flow& flow() { return static_cast<Flow&>(*this); }
  const Flow& flow() const { return static_cast<const Flow&>(*this); }

  std::shared_ptr<Flow> strongSelf() {
    auto self = this->weak_from_this().lock();
    platform::precondition(self != nullptr, Flow::ownershipMessage);
    return self;
  }

  void didFinishWithResponse(std::optional<Response> response, std::optional<OIDError> error) {
    auto callback = std::exchange(pendingCallback_, nullptr);
    // Kept until the callback has returned: it may release the session and with it the user
    // agent that is still on the stack.
    auto externalUserAgent = std::exchange(externalUserAgent_, nullptr);
    if (callback) callback(response, error);
  }

  std::shared_ptr<OIDExternalUserAgent> externalUserAgent_;
  Callback pendingCallback_;
};

}  // namespace tarnwick
