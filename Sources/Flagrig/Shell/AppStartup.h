#pragma once

#include <memory>
#include <string>
#include <vector>

#include "Platform/Foundation/URL.h"

namespace platform {
class ApplicationDelegate;
}

namespace flagrig {

// What `main` does once the Linux environment is installed: crash capture first, the command
// line kept, and without a desktop backend one line on stderr and an end. Then either a review
// run (its own delegate, no status item, no telemetry) or a normal run (error telemetry
// configured and started, the region probe launched without waiting for it, the account
// services and then the application delegate installed), and the run loop until the app
// terminates. The single-instance hand-over happens in `main`, before any of it.
class AppStartup {
 public:
  // What a normal run hands the error-telemetry client.
  struct TelemetrySettings {
    std::string appSlug;
    std::string platform;
    std::string appVersion;
    // "major.minor.patch" of the running system.
    std::string osVersion;
    std::string installId;
    platform::URL identityURL;
    bool operator==(const TelemetrySettings&) const = default;
  };

  // The steps of start-up that reach outside the shell. Tests record them.
  class Services {
   public:
    virtual ~Services() = default;
    virtual void installCrashCapture();
    virtual void configureErrorTelemetry(const TelemetrySettings& settings);
    virtual void startErrorTelemetry();
    // Starts the region probe in the background; nothing waits for it.
    virtual void startRegionProbe(const platform::URL& identityURL);
    // Puts the screens of the other folders into `AppScreens`, for review runs too.
    virtual void installScreens();
  };

  // An environment without a desktop backend has nothing to show.
  static constexpr std::string_view noDesktopMessage =
      "flagrig: no desktop backend is installed, so there is nothing to show; this build "
      "cannot run on a desktop yet.";

  // The process's command line, stored once before anything reads it, and whether it asked
  // for a review run.
  static const std::vector<std::string>& args();
  static bool isReviewRun();

  // Everything up to the run loop: answers the application's delegate, which the caller keeps
  // alive for the run (the application holds it weakly); null, after the one-line message on
  // stderr, when no desktop backend is installed. Error telemetry is configured on the main
  // loop's first turn, so `services` must outlive it.
  static std::shared_ptr<platform::ApplicationDelegate> prepare(Services& services);
  // `prepare`, then the run loop; the process's exit status.
  static int run(Services& services);
  static int run();
};

}  // namespace flagrig
