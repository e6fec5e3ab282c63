#pragma once

#include <memory>

#include "Flagrig/Shell/AppScreens.h"

namespace flagrig {

// The shell's way into the account: the launch attaches the sign-in service to the bridge and
// restores the stored session, and sign-in returns go to the account manager.
class AppAccountServices final : public AccountServices {
 public:
  // Attaches the sign-in service, then restores a stored session in a task of its own, so that
  // the launch does not wait for a refresh. The restore runs once per process.
  void attachSignInService() override;
  bool resumeSignIn(const platform::URL& url) override;
  void activateForAuthReturn(std::shared_ptr<platform::Window> window) override;

 private:
  bool restoreStarted_ = false;
};

}  // namespace flagrig
