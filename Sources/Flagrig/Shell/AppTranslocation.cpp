#include "Flagrig/Shell/AppTranslocation.h"

#include "Platform/Desktop/Alert.h"
#include "Platform/Desktop/Application.h"
#include "Platform/Desktop/Workspace.h"
#include "Platform/Foundation/Bundle.h"
#include "Platform/Foundation/Environment.h"
#include "Platform/Foundation/RunLoop.h"
#include "Platform/Foundation/UserDefaults.h"

namespace flagrig {

using namespace platform;

bool AppTranslocation::isActive() {
  return env().bundle->bundlePath().string().find(marker) != std::string::npos;
}

void AppTranslocation::nudgeIfNeeded() {
  if (!isActive()) return;
  auto& defaults = *env().defaults;
  if (defaults.boolForKey(warningShownKey)) return;
  // Before the alert shows: a crash or quit before it still counts as warned.
  defaults.set(warningShownKey, Value(true));
  env().mainLoop->postAfter(alertDelay, [] {
    Alert alert;
    alert.setAlertStyle(AlertStyle::warning);
    alert.setMessageText("Move Flagrig to Applications");
    alert.setInformativeText(
        "Flagrig is running from a quarantined location. Automatic updates and permissions "
        "won't work reliably until you drag Flagrig to your Applications folder, then reopen.");
    alert.addButton("Reveal in Finder");
    alert.addButton("Later");

    // A menu-bar app's alert comes to the front only as a regular app.
    auto& app = Application::shared();
    ActivationPolicy previous = app.activationPolicy();
    app.setActivationPolicy(ActivationPolicy::regular);
    app.activate();
    if (alert.runModal() == ModalResponse::firstButton)
      Workspace::shared().activateFileViewerSelecting({env().bundle->bundlePath().string()});
    if (previous == ActivationPolicy::accessory)
      app.setActivationPolicy(ActivationPolicy::accessory);
  });
}

}  // namespace flagrig
