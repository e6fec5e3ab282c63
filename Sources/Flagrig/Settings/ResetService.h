#pragma once

#include <array>
#include <string_view>

#include "Platform/Foundation/Task.h"

namespace flagrig {

// Signs the user out, wipes the account items and first-run flags this machine holds, and
// starts the app again, so that it comes back as on its first launch. The install identity,
// the device key and every other preference stay, so analytics and error telemetry keep
// identifying the install. The settings window's confirmed "Reset & clear local data…" is the
// only caller.
struct ResetService {
  static constexpr std::string_view keychainService = "com.voskary.account.flagrig";
  // Deleted in this order.
  static constexpr std::array<std::string_view, 3> keychainAccounts = {
      "voskary_session", "voskary_oidc_authstate", "voskary_dpop_jkt"};
  static constexpr std::array<std::string_view, 2> defaultsKeys = {
      "dev.voskary.flagrig.onboardingComplete.v2", "dev.voskary.flagrig.tagDemoComplete.v1"};
  // A sign-out that waits longer on the network than this is left behind; the wipe goes on.
  static constexpr double signOutTimeout = 10;

  // Main loop; never fails to its caller. Returns once the relaunch has been started; this
  // process terminates when the workspace reports back.
  static platform::Task<void> resetAndClearLocalData();

 private:
  static platform::Task<void> signOutBounded();
  static void relaunch();
};

}  // namespace flagrig
