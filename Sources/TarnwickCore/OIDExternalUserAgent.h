#pragma once

#include <functional>
#include <memory>

#include "TarnwickCore/OIDExternalUserAgentRequest.h"
#include "TarnwickCore/OIDExternalUserAgentSession.h"

namespace tarnwick {

// What shows a request to the user (a browser, a web-authentication sheet) and takes it away
// again when the flow ends.
class OIDExternalUserAgent {
 public:
  virtual ~OIDExternalUserAgent() = default;

  // True when the request was handed over. The user agent refers to `session` weakly: the
  // session owns the user agent.
  virtual bool presentExternalUserAgentRequest(
      const OIDExternalUserAgentRequest& request,
      const std::shared_ptr<OIDExternalUserAgentSession>& session) = 0;
  // `completion` runs before this returns.
  virtual void dismissExternalUserAgent(std::function<void()> completion) = 0;
};

// Whether a sheet's browser session shares the browser's cookies and data, or starts with none
// and keeps none.
enum class BrowserSession { shared, ephemeral };

}  // namespace tarnwick
