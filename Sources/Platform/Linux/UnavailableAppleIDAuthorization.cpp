#include "Platform/Linux/UnavailableAppleIDAuthorization.h"

#include "Platform/Foundation/Environment.h"
#include "Platform/Foundation/RunLoop.h"

namespace platform::linuxbackend {

void UnavailableAppleIDAuthorization::performRequest(const std::vector<AppleIDScope>&,
                                                     std::shared_ptr<Window>,
                                                     Completion completion) {
  if (!completion) return;
  Outcome outcome{std::nullopt,
                  std::make_shared<AuthorizationError>(AuthorizationError::notHandled, message)};
  // On the main queue, as the real sheet reports, never inside this call.
  env().mainLoop->post([completion = std::move(completion), outcome] { completion(outcome); });
}

}  // namespace platform::linuxbackend
