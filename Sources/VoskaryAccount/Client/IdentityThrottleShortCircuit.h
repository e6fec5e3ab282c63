#pragma once

#include <string_view>

#include "Platform/Foundation/URL.h"
#include "VoskaryAccount/Client/IdentityThrottle.h"

namespace voskary {

// The local answer with which the throttle refuses a request: the given status, a
// "Retry-After" of at least one whole second, and the body
// {"error":"client_throttled","reason":"<reason>"}.
struct IdentityThrottleShortCircuit {
  static IdentityThrottle::SendResult response(const platform::URL& url, int status,
                                               std::string_view reason, double retryAfter);
};

}  // namespace voskary
