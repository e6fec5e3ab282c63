#pragma once

#include <functional>

#include "Platform/Foundation/URL.h"
#include "TarnwickCore/OIDError.h"

namespace tarnwick {

// A running flow in a user agent, as its caller and its user agent see it: a redirect comes in,
// the user agent fails, or the caller stops it.
class OIDExternalUserAgentSession {
 public:
  virtual ~OIDExternalUserAgentSession() = default;

  virtual void cancel() = 0;
  // `completion` runs once the flow has ended, also when it had already ended.
  virtual void cancelWithCompletion(std::function<void()> completion) = 0;
  // True when `url` was the awaited redirect and finished the flow.
  virtual bool resumeExternalUserAgentFlowWithURL(const platform::URL& url) = 0;
  virtual void failExternalUserAgentFlowWithError(const OIDError& error) = 0;
};

}  // namespace tarnwick
