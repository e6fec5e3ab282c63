#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "Platform/Foundation/Value.h"
#include "TarnwickCore/OIDError.h"
#include "TarnwickCore/OIDExternalUserAgent.h"

namespace tarnwick::userAgentFlow {

// What the flows that run in a user agent (authorization, end session) share.

// The error of a redirect whose state is not the request's.
OIDError stateMismatch(const std::optional<std::string>& expected,
                       const std::optional<std::string>& received,
                       const std::string& responseDescription,
                       platform::Value::Dictionary parameters);

// Runs `finish` once the user agent is gone: in its dismissal, or at once without one.
void dismissThen(const std::shared_ptr<OIDExternalUserAgent>& externalUserAgent,
                 std::function<void()> finish);

// Ends a flow by cancelling: dismisses the user agent, then `finishCancelled` and `completion`
// run. A flow that already ended (no user agent) only runs `completion`, so that nobody waits
// for it for ever.
void cancel(const std::shared_ptr<OIDExternalUserAgent>& externalUserAgent,
            std::function<void()> finishCancelled, std::function<void()> completion);

// Anyone can open the app's URL scheme: a redirect after its flow ended is logged and ignored.
void logLateRedirect(std::string_view category);

}  // namespace tarnwick::userAgentFlow
