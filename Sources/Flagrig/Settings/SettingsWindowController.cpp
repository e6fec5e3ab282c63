#include "Flagrig/Settings/SettingsWindowController.h"

#include "Flagrig/Analytics/Analytics.h"
#include "Flagrig/Settings/FlagrigSettingsView.h"
#include "Flagrig/Shell/WindowActivation.h"
#include "Platform/Desktop/Desktop.h"
#include "Platform/Forms/FormHost.h"
#include "Platform/Foundation/Environment.h"
#include "Platform/Foundation/SharedInstance.h"

namespace flagrig {

using namespace platform;

std::shared_ptr<SettingsWindowController> SettingsWindowController::shared() {
  static SharedInstance<std::shared_ptr<SettingsWindowController>> instance;
  auto& controller = instance.get();
  if (!controller) {
    controller = std::make_shared<SettingsWindowController>();
    controller->build();
  }
  return controller;
}

namespace {

// What the shell holds until the settings are first opened: the window is built then.
class SettingsScreenOnFirstUse final : public SettingsWindowScreen {
 public:
  void showWindow() override { SettingsWindowController::shared()->showWindow(); }
  std::shared_ptr<Window> window() override { return SettingsWindowController::shared()->window(); }
};

}  // namespace

void SettingsWindowController::install() {
  AppScreens::shared().settings = std::make_shared<SettingsScreenOnFirstUse>();
}

SettingsWindowController::SettingsWindowController() = default;

void SettingsWindowController::build() {
  window_ =
      std::make_shared<Window>(Rect(0, 0, width, height),
                               StyleMask::titled | StyleMask::closable | StyleMask::miniaturizable);
  window_->setTitle(title);
  window_->setReleasedWhenClosed(false);
  window_->setContentMinSize(
      Size(FlagrigSettingsView::minimumWidth, FlagrigSettingsView::minimumHeight));
  window_->setAppearance(Appearance::darkAqua);
  window_->setDelegate(shared_from_this());
  view_ = FlagrigSettingsView::make();
  presentation_ = env().desktop->presentForm(*window_, view_->host());
}

const std::shared_ptr<forms::FormHost>& SettingsWindowController::host() const {
  return view_->host();
}

void SettingsWindowController::showWindow() {
  window_->center();
  window_->makeKeyAndOrderFront();
  WindowActivation::bringToFront(window_);
  view_->appear();
  Analytics::track("settings_viewed");
}

}  // namespace flagrig
