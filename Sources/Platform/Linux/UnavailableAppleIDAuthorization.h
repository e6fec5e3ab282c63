#pragma once

#include "Platform/Security/AppleIDAuthorization.h"

namespace platform::linuxbackend {

// Linux has no Sign in with Apple: every request ends at once with an error that is not a
// cancellation, so that callers fall back to the browser sign-in with the Apple hint.
class UnavailableAppleIDAuthorization final : public AppleIDAuthorization {
 public:
  static constexpr const char* message = "Sign in with Apple is not available on this system.";

  void performRequest(const std::vector<AppleIDScope>& scopes, std::shared_ptr<Window> anchor,
                      Completion completion) override;
};

}  // namespace platform::linuxbackend
