#include "Flagrig/Onboarding/PermissionsGate.h"

#include <map>
#include <memory>

#include "Platform/Accessibility/Accessibility.h"
#include "Platform/Desktop/Alert.h"
#include "Platform/Desktop/Application.h"
#include "Platform/Desktop/Desktop.h"
#include "Platform/Desktop/Workspace.h"
#include "Platform/Foundation/Environment.h"
#include "Platform/Foundation/RunLoop.h"
#include "Platform/Foundation/SharedInstance.h"
#include "Platform/Foundation/URL.h"
#include "Platform/WindowServer/WindowServer.h"

namespace flagrig {

using namespace platform;

namespace {

using Permission = PermissionsGate::Permission;

// The completions waiting for each permission's alert. An entry exists from the moment an
// alert is scheduled until it has ended, so a second click in between adds no second alert.
struct PendingAlerts {
  std::map<Permission, std::vector<PermissionsGate::Completion>> waiting;
};

PendingAlerts& pending() {
  static SharedInstance<PendingAlerts> instance;
  return instance.get();
}

void request(Permission permission) {
  if (permission == Permission::accessibility) {
    Accessibility::shared().isProcessTrustedWithOptions(Accessibility::TrustPrompt::silent);
  } else {
    env().desktop->windowServer().requestScreenCaptureAccess();
  }
}

const std::vector<std::string>& settingsURLs(Permission permission) {
  return permission == Permission::accessibility ? PermissionsGate::accessibilitySettingsURLs()
                                                 : PermissionsGate::screenRecordingSettingsURLs();
}

// Invalidates the poll whichever way the alert's modal session ends, so that a late tick can
// never abort a modal session that is not this alert's.
struct TimerGuard {
  std::shared_ptr<Timer> timer;
  ~TimerGuard() {
    if (timer) timer->invalidate();
  }
};

}  // namespace

const std::vector<std::string>& PermissionsGate::accessibilitySettingsURLs() {
  static const std::vector<std::string> urls{
      "x-apple.systempreferences:com.apple.settings.PrivacySecurity.extension?Privacy_"
      "Accessibility",
      "x-apple.systempreferences:com.apple.preference.security?Privacy_Accessibility"};
  return urls;
}

const std::vector<std::string>& PermissionsGate::screenRecordingSettingsURLs() {
  static const std::vector<std::string> urls{
      "x-apple.systempreferences:com.apple.settings.PrivacySecurity.extension?Privacy_"
      "ScreenCapture",
      "x-apple.systempreferences:com.apple.preference.security?Privacy_ScreenCapture"};
  return urls;
}

bool PermissionsGate::isGranted(Permission permission) {
  if (permission == Permission::accessibility) return Accessibility::shared().isProcessTrusted();
  return env().desktop->windowServer().preflightScreenCaptureAccess();
}

void PermissionsGate::openSettings(Permission permission) {
  request(permission);
  openSystemSettings(settingsURLs(permission));
}

bool PermissionsGate::isPending(Permission permission) {
  return pending().waiting.contains(permission);
}

void PermissionsGate::ensureAccessibility(std::string reason, Completion completion) {
  ensure(Permission::accessibility, std::move(reason), std::move(completion));
}

void PermissionsGate::ensureScreenRecording(std::string reason, Completion completion) {
  ensure(Permission::screenRecording, std::move(reason), std::move(completion));
}

void PermissionsGate::ensure(Permission permission, std::string reason, Completion completion) {
  if (isGranted(permission)) {
    env().mainLoop->post([completion = std::move(completion)] {
      if (completion) completion(true);
    });
    return;
  }
  auto& waiting = pending().waiting;
  if (auto it = waiting.find(permission); it != waiting.end()) {
    it->second.push_back(std::move(completion));
    return;
  }
  waiting[permission].push_back(std::move(completion));
  request(permission);

  const bool accessibility = permission == Permission::accessibility;
  std::string title(accessibility ? accessibilityTitle : screenRecordingTitle);
  std::string body = reason + "\n\n" +
                     std::string(accessibility ? accessibilityParagraph : screenRecordingParagraph);
  env().mainLoop->post([permission, title = std::move(title), body = std::move(body)] {
    presentAlert(
        title, body, [permission] { openSettings(permission); },
        [permission] { return isGranted(permission); },
        [permission](bool granted) {
          // Taken out first: a completion may well ask for the permission again.
          auto node = pending().waiting.extract(permission);
          if (node.empty()) return;
          for (auto& waiter : node.mapped()) {
            if (waiter) waiter(granted);
          }
        });
  });
}

void PermissionsGate::presentAlert(std::string title, std::string body,
                                   std::function<void()> openSettings, std::function<bool()> check,
                                   Completion completion) {
  Alert alert;
  alert.setAlertStyle(AlertStyle::informational);
  alert.setMessageText(std::move(title));
  alert.setInformativeText(std::move(body));
  alert.addButton(std::string(openSettingsTitle));
  alert.addButton(std::string(cancelTitle));

  auto grantedDuringAlert = std::make_shared<bool>(false);
  std::weak_ptr<Panel> alertWindow = alert.window();
  TimerGuard poll;
  poll.timer = env().mainLoop->scheduleTimer(
      pollInterval, TimerKind::repeating,
      [grantedDuringAlert, alertWindow, check](Timer& timer) {
        if (!check()) return;
        auto window = alertWindow.lock();
        auto& app = Application::shared();
        // Only this alert's own session is ended; one opened above it is left alone and the
        // next tick tries again.
        if (!window || app.modalWindow() != window) return;
        timer.invalidate();
        *grantedDuringAlert = true;
        app.abortModal();
        window->orderOut();
      },
      RunLoopModes::common());

  Application::shared().activate();
  long response = alert.runModal();
  poll.timer->invalidate();

  if (*grantedDuringAlert || check()) {
    completion(true);
    return;
  }
  if (response == ModalResponse::firstButton) openSettings();
  completion(false);
}

void PermissionsGate::openSystemSettings(const std::vector<std::string>& addresses) {
  auto& workspace = env().desktop->workspace();
  for (const auto& address : addresses) {
    auto url = URL::parse(address);
    if (!url) continue;
    if (workspace.openURL(*url)) return;
  }
  if (auto root = URL::parse(settingsRoot)) workspace.openURL(*root);
}

}  // namespace flagrig
