#pragma once

#include <optional>
#include <string>

#include "Platform/Foundation/URL.h"

namespace tarnwick {

// What a user agent can open: the URL to show and the scheme the provider returns to.
class OIDExternalUserAgentRequest {
 public:
  virtual ~OIDExternalUserAgentRequest() = default;
  virtual platform::URL externalUserAgentRequestURL() const = 0;
  virtual std::optional<std::string> redirectScheme() const = 0;

 protected:
  OIDExternalUserAgentRequest() = default;
  OIDExternalUserAgentRequest(const OIDExternalUserAgentRequest&) = default;
  OIDExternalUserAgentRequest& operator=(const OIDExternalUserAgentRequest&) = default;
};

}  // namespace tarnwick
