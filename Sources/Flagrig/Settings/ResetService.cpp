#include "Flagrig/Settings/ResetService.h"

#include <exception>
#include <memory>
#include <optional>
#include <string>

#include "Flagrig/Account/VoskaryAccountBridge.h"
#include "Flagrig/Analytics/Analytics.h"
#include "Flagrig/Diagnostics/Log.h"
#include "Platform/Desktop/Application.h"
#include "Platform/Desktop/Workspace.h"
#include "Platform/Foundation/Bundle.h"
#include "Platform/Foundation/Environment.h"
#include "Platform/Foundation/Error.h"
#include "Platform/Foundation/RunLoop.h"
#include "Platform/Foundation/UserDefaults.h"
#include "Platform/Security/Keychain.h"

namespace flagrig {

using namespace platform;

namespace {

// How a bounded sign-out ended: finished (with its error, if any) or still waiting.
struct SignOutOutcome {
  bool finished = false;
  std::exception_ptr error;
};

Task<void> runSignOut(Continuation<SignOutOutcome> done, std::shared_ptr<WorkItem> timer) {
  SignOutOutcome outcome{true, nullptr};
  try {
    co_await VoskaryAccountBridge::shared().manager()->signOut();
  } catch (...) {
    outcome.error = std::current_exception();
  }
  if (timer) timer->cancel();
  done.resume(outcome);
}

void warnSignOutFailed(const std::exception_ptr& error) {
  constexpr std::string_view message = "signOut failed during reset — continuing with local wipe";
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    Log::warn("auth", message, &e);
  } catch (...) {
    Log::warn("auth", message);
  }
}

}  // namespace

Task<void> ResetService::signOutBounded() {
  auto start = [](Continuation<SignOutOutcome> done) {
    auto timer = env().mainLoop->postAfter(signOutTimeout, [done]() mutable {
      done.resume(SignOutOutcome{false, nullptr});
    });
    spawn(runSignOut(done, timer));
  };
  SignOutOutcome outcome = co_await withContinuation<SignOutOutcome>(std::move(start));
  if (!outcome.finished) {
    // The sign-out goes on by itself; the keychain wipe below removes the session anyway.
    Log::warn("auth", "signOut did not finish within " +
                          std::to_string(static_cast<int>(signOutTimeout)) +
                          " s during reset — continuing with local wipe");
  } else if (outcome.error) {
    warnSignOutFailed(outcome.error);
  }
}

Task<void> ResetService::resetAndClearLocalData() {
  Analytics::track("reset_local_data", {{"app_slug", Value("flagrig")}});
  co_await signOutBounded();

  auto& keychain = *env().keychain;
  for (auto account : keychainAccounts) {
    OSStatus status = keychain.remove({std::string(keychainService), std::string(account)});
    // Anything but "not there" would leave the user signed in after the relaunch.
    if (status != KeychainStatus::success && status != KeychainStatus::itemNotFound)
      Log::warn("auth", "Reset could not delete the keychain item " + std::string(account) +
                            " (status " + std::to_string(status) + ")");
  }

  auto& defaults = *env().defaults;
  for (auto key : defaultsKeys) defaults.removeObject(key);
  if (!defaults.synchronize())
    Log::warn("settings", "Reset could not save the preferences before relaunching");

  relaunch();
}

void ResetService::relaunch() {
  std::string path = env().bundle->bundlePath().string();
  Workspace::shared().openApplication(
      path, WorkspaceOpenConfiguration{true, true},
      [](std::shared_ptr<RunningApplication>, std::optional<std::string> error) {
        if (error) Log::error("lifecycle", "Relaunch after reset failed: " + *error);
        // Terminate in a turn of its own, as a main-actor task would.
        env().mainLoop->post([] { Application::shared().terminate(); });
      });
}

}  // namespace flagrig
