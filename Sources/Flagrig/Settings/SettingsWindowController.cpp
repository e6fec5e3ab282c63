#include "Flagrig/Settings/SettingsWindowController.h"

#include "Flagrig/Analytics/Analytics.h"
#include "Flagrig/Settings/FlagrigSettingsView.h"
#include "Flagrig/Shell/WindowActivation.h"
#include "Platform/Desktop/Desktop.h"
#include "Platform/Forms/FormHost.h"
#include "Platform/Foundation/Environment.h"
#include "Platform/Foundation/NotificationCenter.h"
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

SettingsWindowController::~SettingsWindowController() {
  if (hasEnvironment() && window_) env().notificationCenter->removeObserver(closeObserver_);
}

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
  std::weak_ptr<Window> weakWindow = window_;
  view_->setIsOnScreen([weakWindow] {
    auto window = weakWindow.lock();
    return window && window->isVisible();
  });
  presentation_ = env().desktop->presentForm(*window_, view_->host());
  // Observed rather than delegated: a review run makes itself the window's delegate. An alert
  // of the hidden window would otherwise hold a modal session nobody can see.
  std::weak_ptr<FlagrigSettingsView> weakView = view_;
  closeObserver_ = env().notificationCenter->addObserver(std::string(Window::willCloseNotification),
                                                         window_.get(), nullptr,
                                                         [weakView](const Notification&) {
                                                           if (auto view = weakView.lock())
                                                             view->disappear();
                                                         });
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
