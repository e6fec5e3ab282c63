#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "Platform/Foundation/Error.h"
#include "Platform/Foundation/URL.h"
#include "Tarnwick/WebAuthenticationPresentationContextProviding.h"

namespace tarnwick {

// An in-app sheet in which the user signs in at a web page. It ends, and calls its completion
// handler once, when the page goes to a URL of the callback scheme (with that URL) or when the
// user closes it (with an error). `cancel` closes it without calling the handler.
class WebAuthenticationSession {
 public:
  using CompletionHandler = std::function<void(const std::optional<platform::URL>& callbackURL,
                                               std::shared_ptr<const platform::Error> error)>;

  virtual ~WebAuthenticationSession() = default;

  // Held weakly.
  virtual void setPresentationContextProvider(
      std::weak_ptr<WebAuthenticationPresentationContextProviding> provider) = 0;
  // A session that shares no cookies with the browser.
  virtual void setPrefersEphemeralWebBrowserSession(bool prefersEphemeral) = 0;
  // False when the sheet cannot be shown.
  virtual bool start() = 0;
  virtual void cancel() = 0;
};

}  // namespace tarnwick
