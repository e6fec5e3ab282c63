#pragma once

#include <string_view>

namespace flagrig {

// Tells the user, once per installation, that the app runs from a translocated (randomised,
// read-only) copy where updates and permission grants do not stick, and offers to reveal it
// so that it can be moved to the Applications folder. On Linux the app is never translocated.
struct AppTranslocation {
  static constexpr std::string_view warningShownKey =
      "dev.voskary.flagrig.appTranslocationWarningShown";
  static constexpr std::string_view marker = "/AppTranslocation/";
  static constexpr double alertDelay = 0.6;

  static bool isActive();
  // At launch: schedules the alert when translocated and not warned before.
  static void nudgeIfNeeded();
};

}  // namespace flagrig
