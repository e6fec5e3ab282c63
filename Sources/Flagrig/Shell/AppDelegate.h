#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "Flagrig/Onboarding/LoginFirstStep.h"
#include "Platform/Desktop/Application.h"
#include "Platform/Desktop/Menu.h"

namespace platform {
class AppleEventDescriptor;
class MenuItem;
class StatusItem;
class URL;
class View;
class Window;
}  // namespace platform

namespace flagrig {

class ActivationPolicyController;
class LoginFirstFlowWindow;

// The application's delegate in a normal run. It makes the process a menu-bar item without a
// Dock icon, owns the status item and its menu, routes URLs of the app's scheme, and decides
// where the user lands: at launch, when the app is opened again while it runs, and after the
// first-run flow or the tag demo. Create it with std::make_shared (the application, the menu
// and delayed steps hold it weakly). Main thread only.
class AppDelegate : public platform::ApplicationDelegate,
                    public platform::MenuDelegate,
                    public std::enable_shared_from_this<AppDelegate> {
 public:
  // The pause between the end of the first-run flow or the tag demo and the next screen.
  static constexpr double afterOnboardingDelay = 0.45;
  static constexpr std::string_view tagDemoCompleteKey = "dev.voskary.flagrig.tagDemoComplete.v1";
  static constexpr double statusImageSide = 18;

  AppDelegate();
  ~AppDelegate() override;

  // Launch ---------------------------------------------------------------------------------
  void applicationWillFinishLaunching(platform::Application&) override;
  void applicationDidFinishLaunching(platform::Application&) override;
  bool applicationShouldHandleReopen(platform::Application&, bool hasVisibleWindows) override;
  bool applicationShouldTerminateAfterLastWindowClosed(platform::Application&) override {
    return false;
  }

  // Routes ---------------------------------------------------------------------------------
  // Opens the app's own status menu through Accessibility, with the settings window as the
  // fallback.
  void openStatusMenuAfterOnboarding();
  void presentTagDemo();
  // Opens the first-run flow window at a step, or moves the open one there.
  void presentLoginFirstFlow(LoginFirstStep step);
  // The flow window calls this once the flow completed and its window closed: after the pause,
  // the tag demo when it is due, else the status menu.
  void loginFirstFlowDidComplete();

  // Status menu ----------------------------------------------------------------------------
  void menuNeedsUpdate(platform::Menu& menu) override;
  void startTagging();
  void removeAll();
  void openSettings();
  void checkForUpdates();
  void openDocumentation();
  void openReportIssue();
  void openFeedback();
  void openPrivacyPolicy();
  void openTerms();
  void openTipJar();
  void focusTaggedWindow(const platform::MenuItem& item);
  static void restoreAndRaiseWindow(std::uint32_t windowNumber, std::int32_t ownerPID);

  // URL scheme -----------------------------------------------------------------------------
  void handleGetURL(const platform::AppleEventDescriptor& event,
                    platform::AppleEventDescriptor& reply);

  // State ----------------------------------------------------------------------------------
  const std::shared_ptr<platform::StatusItem>& statusItem() const { return statusItem_; }
  ActivationPolicyController& activationPolicy() const { return *activationPolicy_; }
  // The first-run flow window while it exists.
  std::shared_ptr<platform::Window> loginFirstWindow() const;
  const std::shared_ptr<LoginFirstFlowWindow>& loginFirstFlow() const { return loginFirstFlow_; }

  // The addresses of the status menu's links.
  static platform::URL documentationURL();
  static platform::URL reportIssueURL();
  static platform::URL feedbackURL();
  static platform::URL tipJarURL();

 private:
  // The launch route, then the hotkey.
  void runLaunchRoute();
  void takeLaunchRoute();
  void makeStatusItem();
  void routeSignInReturn(const platform::URL& url, const std::string& host);
  static void openLink(const platform::URL& url);

  std::shared_ptr<platform::StatusItem> statusItem_;
  std::shared_ptr<ActivationPolicyController> activationPolicy_;
  std::shared_ptr<LoginFirstFlowWindow> loginFirstFlow_;
  std::shared_ptr<platform::View> hexAccessory_;
};

}  // namespace flagrig
