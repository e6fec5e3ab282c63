#include "AppAccountServices.h"

#include "Flagrig/Account/SignInService.h"
#include "Flagrig/Account/VoskaryAccountBridge.h"
#include "Flagrig/Diagnostics/Log.h"
#include "Platform/Foundation/Task.h"

namespace flagrig {

namespace {

platform::Task<void> restoreSession(std::shared_ptr<VoskaryAccountBridge> bridge) {
  std::exception_ptr failure;
  try {
    co_await bridge->manager()->restore();
  } catch (const platform::Error&) {
    failure = std::current_exception();
  }
  if (!failure) co_return;
  try {
    std::rethrow_exception(failure);
  } catch (const platform::Error& error) {
    Log::warn("auth", "Session restore failed", &error);
  }
}

}  // namespace

void AppAccountServices::attachSignInService() {
  auto bridge = VoskaryAccountBridge::sharedPointer();
  SignInService::sharedPointer()->attach(bridge);
  // Without this every relaunch would show the user signed out.
  if (restoreStarted_) return;
  restoreStarted_ = true;
  platform::spawn(restoreSession(bridge));
}

bool AppAccountServices::resumeSignIn(const platform::URL& url) {
  return VoskaryAccountBridge::shared().manager()->resume(url);
}

void AppAccountServices::activateForAuthReturn(std::shared_ptr<platform::Window> window) {
  voskary::VoskaryAccountManager::activateForAuthReturn(std::move(window));
}

}  // namespace flagrig
