#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace flagrig {

// Checks one of the two privacy permissions the app uses, asks the system for it, and while it
// is missing holds an alert that points the user to the system settings and closes by itself
// once the permission is granted (a 2 s poll). Main thread only.
struct PermissionsGate {
  PermissionsGate() = delete;

  enum class Permission { accessibility, screenRecording };
  using Completion = std::function<void(bool granted)>;

  static constexpr double pollInterval = 2.0;
  static constexpr std::string_view openSettingsTitle = "Open System Settings";
  static constexpr std::string_view cancelTitle = "Cancel";
  static constexpr std::string_view accessibilityTitle = "Accessibility permission required";
  static constexpr std::string_view screenRecordingTitle = "Screen Recording access";
  static constexpr std::string_view accessibilityParagraph =
      "Flagrig uses Accessibility to bring a tagged window to the front when you click it. "
      "macOS requires Accessibility permission to raise another app's window.";
  static constexpr std::string_view screenRecordingParagraph =
      "Some Mac configurations require Screen Recording access for full window details. You "
      "can continue setup without it.";
  static constexpr std::string_view settingsRoot = "x-apple.systempreferences:";

  static const std::vector<std::string>& accessibilitySettingsURLs();
  static const std::vector<std::string>& screenRecordingSettingsURLs();

  // A granted permission completes on a later main-loop turn without an alert. While an alert
  // for the same permission is pending or open, a further call shows no second one: its
  // completion waits for that alert's answer.
  static void ensureAccessibility(std::string reason, Completion completion);
  static void ensureScreenRecording(std::string reason, Completion completion);

  // The permission's check, and its open action (the request, then the settings pane): what
  // the settings window's permission rows run directly.
  static bool isGranted(Permission permission);
  static void openSettings(Permission permission);

  // Opens the first address the workspace accepts, else the settings root.
  static void openSystemSettings(const std::vector<std::string>& addresses);

  // Whether an alert for the permission is waiting to run or running.
  static bool isPending(Permission permission);

 private:
  static void ensure(Permission permission, std::string reason, Completion completion);
  static void presentAlert(std::string title, std::string body, std::function<void()> openSettings,
                           std::function<bool()> check, Completion completion);
};

}  // namespace flagrig
