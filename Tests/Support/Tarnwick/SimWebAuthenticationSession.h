#pragma once

#include <memory>
#include <optional>
#include <string>

#include "Platform/Foundation/URL.h"
#include "Tarnwick/WebAuthenticationSession.h"

namespace tarnwick::testing {

// A simulated web-authentication sheet. Tests drive what the user does: the page navigates to
// a URL (the sheet ends with it when it has the callback scheme) or the user closes the sheet.
// The completion handler runs at most once; `cancel` closes the sheet without running it.
class SimWebAuthenticationSession final : public WebAuthenticationSession {
 public:
  SimWebAuthenticationSession(platform::URL url, std::optional<std::string> callbackURLScheme,
                              CompletionHandler completionHandler, bool startSucceeds);

  void setPresentationContextProvider(
      std::weak_ptr<WebAuthenticationPresentationContextProviding> provider) override;
  void setPrefersEphemeralWebBrowserSession(bool prefersEphemeral) override {
    prefersEphemeral_ = prefersEphemeral;
  }
  // Fails when starting is refused, without a window to attach to, or a second time.
  bool start() override;
  void cancel() override;

  const platform::URL& url() const { return url_; }
  const std::optional<std::string>& callbackURLScheme() const { return callbackURLScheme_; }
  bool prefersEphemeral() const { return prefersEphemeral_; }
  bool isShowing() const { return started_ && !ended_; }
  bool wasCancelled() const { return cancelled_; }
  // The window the sheet was attached to when it started.
  const std::shared_ptr<platform::Window>& anchor() const { return anchor_; }

  // The page went to `url`; true when that ended the sheet.
  bool navigate(const platform::URL& url);
  void closeByUser();

 private:
  void finish(const std::optional<platform::URL>& callbackURL,
              std::shared_ptr<const platform::Error> error);

  platform::URL url_;
  std::optional<std::string> callbackURLScheme_;
  CompletionHandler completionHandler_;
  bool startSucceeds_;
  std::weak_ptr<WebAuthenticationPresentationContextProviding> provider_;
  std::shared_ptr<platform::Window> anchor_;
  bool prefersEphemeral_ = false;
  bool started_ = false;
  bool ended_ = false;
  bool cancelled_ = false;
};

}  // namespace tarnwick::testing
