#pragma once

#include <memory>

namespace platform {
class Window;
}

namespace tarnwick {

class WebAuthenticationSession;

// Tells a web-authentication sheet which window to attach to.
class WebAuthenticationPresentationContextProviding {
 public:
  virtual ~WebAuthenticationPresentationContextProviding() = default;
  virtual std::shared_ptr<platform::Window> presentationAnchorForWebAuthenticationSession(
      const WebAuthenticationSession& session) = 0;
};

}  // namespace tarnwick
