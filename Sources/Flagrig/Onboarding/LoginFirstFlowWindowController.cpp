#include "Flagrig/Onboarding/LoginFirstFlowWindowController.h"

#include <algorithm>
#include <cmath>
#include <tuple>

#include "Flagrig/Account/SignInService.h"
#include "Flagrig/Account/VoskaryAccountBridge.h"
#include "Flagrig/Analytics/Analytics.h"
#include "Flagrig/Shell/ActivationPolicyController.h"
#include "Flagrig/Shell/AppDelegate.h"
#include "Flagrig/Shell/WindowActivation.h"
#include "Platform/Desktop/Application.h"
#include "Platform/Desktop/Desktop.h"
#include "Platform/Desktop/Screen.h"
#include "Platform/Desktop/Window.h"
#include "Platform/Forms/FormHost.h"
#include "Platform/Foundation/Environment.h"
#include "Platform/Foundation/RunLoop.h"
#include "Platform/Foundation/UserDefaults.h"

namespace flagrig {

using namespace platform;

LoginFirstFlowWindowController::LoginFirstFlowWindowController(std::weak_ptr<AppDelegate> delegate)
    : delegate_(std::move(delegate)) {}

LoginFirstFlowWindowController::~LoginFirstFlowWindowController() {
  removeCloseObserver();
}

void LoginFirstFlowWindowController::install() {
  AppScreens::shared().makeLoginFirstFlow = [](AppDelegate& delegate) {
    return std::make_shared<LoginFirstFlowWindowController>(delegate.weak_from_this());
  };
}

std::string_view LoginFirstFlowWindowController::title(LoginFirstStep step) {
  switch (step) {
    case LoginFirstStep::signIn:
      return "Sign in to Flagrig";
    case LoginFirstStep::consentConfirm:
      return "Finish creating your account";
    case LoginFirstStep::permissions:
      return "Set up Flagrig";
  }
  return "Set up Flagrig";
}

// --- Geometry ------------------------------------------------------------------------------

Size LoginFirstFlowWindowController::preferredContentSize(const Screen* screen) {
  if (!screen) return fallbackContentSize;
  const Rect visible = screen->visibleFrame();
  const double w = visible.width(), h = visible.height();
  // Also refuses NaN.
  if (!(w > 0) || !(h > 0)) return fallbackContentSize;
  return {std::min(screenShare * w, fallbackContentSize.width),
          std::min(screenShare * h, fallbackContentSize.height)};
}

std::shared_ptr<Screen> LoginFirstFlowWindowController::presentationScreen() {
  if (auto main = Screen::main()) return main;
  auto screens = Screen::screens();
  if (!screens.empty()) return screens.front();
  return screenUnderCursor();
}

std::shared_ptr<Screen> LoginFirstFlowWindowController::screenUnderCursor() {
  if (!env().desktop) return nullptr;
  const Point mouse = env().desktop->mouseLocation();
  for (const auto& screen : Screen::screens()) {
    if (screen->frame().contains(mouse)) return screen;
  }
  return nullptr;
}

Rect LoginFirstFlowWindowController::centeredFrame(Size contentSize, const Screen& screen,
                                                   const Window& window) {
  const Rect frame =
      window.frameRectForContentRect(Rect(0, 0, contentSize.width, contentSize.height));
  const double fw = frame.width(), fh = frame.height();
  const Rect v = screen.visibleFrame();
  double x = v.minX();
  if (v.width() > fw) x = std::min(std::max(v.minX(), v.midX() - fw / 2), v.maxX() - fw);
  double y = v.minY();
  if (v.height() > fh) y = std::min(std::max(v.minY(), v.midY() - fh / 2), v.maxY() - fh);
  // std::round takes halves away from zero.
  return Rect(std::round(x), std::round(y), fw, fh);
}

void LoginFirstFlowWindowController::resizeFlowWindow(Window& window, LoginFirstStep step) {
  auto screen = window.screen();
  if (!screen) screen = Screen::main();
  const Size target = preferredContentSize(screen.get());
  window.setContentMinSize(target);
  window.setTitle(std::string(title(step)));
  const Size current = window.contentRect().size;
  if (std::abs(current.width - target.width) < 1 && std::abs(current.height - target.height) < 1)
    return;
  if (screen) window.setFrame(centeredFrame(target, *screen, window));
}

// --- Opening -------------------------------------------------------------------------------

void LoginFirstFlowWindowController::present(LoginFirstStep step) {
  auto delegate = delegate_.lock();
  if (window_ && window_->isVisible()) {
    if (delegate) delegate->activationPolicy().promoteForWindow();
    if (model_ && model_->step() != step) {
      model_->setStep(step);
      if (model_->errorMessage()) model_->clearErrorMessage();
    }
    WindowActivation::bringToFront(window_);
    return;
  }
  // A window that exists but is hidden is dropped with everything it showed.
  if (window_) {
    removeCloseObserver();
    std::ignore = std::make_tuple(std::move(presentation_), std::move(host_), std::move(view_),
                                  std::move(model_), std::move(window_));
  }

  auto screen = presentationScreen();
  const Size size = screen ? preferredContentSize(screen.get()) : fallbackContentSize;
  auto window = std::make_shared<Window>(Rect(0, 0, size.width, size.height), styleMask);
  window->setTitle(std::string(title(step)));
  window->setContentMinSize(size);
  window->setReleasedWhenClosed(false);
  window->setAppearance(Appearance::darkAqua);
  window->setBackgroundColor(LoginFirstFlowView::backdropBottom());

  model_ = std::make_shared<LoginFirstFlowModel>(step);
  std::weak_ptr<LoginFirstFlowWindowController> weakSelf = weak_from_this();
  std::weak_ptr<Window> weakWindow = window;
  LoginFirstFlowView::Configuration configuration;
  configuration.subscription = SignInService::sharedPointer();
  configuration.bridge = VoskaryAccountBridge::sharedPointer();
  configuration.model = model_;
  configuration.onComplete = [weakSelf] {
    if (auto self = weakSelf.lock()) self->complete();
  };
  configuration.resizeHostWindow = [weakWindow](LoginFirstStep next) {
    if (auto w = weakWindow.lock()) resizeFlowWindow(*w, next);
  };
  configuration.hostWindow = [weakWindow] { return weakWindow.lock(); };
  configuration.appName = "Flagrig";
  configuration.appSlug = "flagrig";
  configuration.accent = LoginFirstFlowView::defaultAccent();
  view_ = LoginFirstFlowView::make(std::move(configuration));
  host_ = view_->makeHost();
  presentation_ = env().desktop ? env().desktop->presentForm(*window, host_) : nullptr;

  if (screen)
    window->setFrame(centeredFrame(size, *screen, *window));
  else
    window->center();
  window_ = window;

  if (delegate) {
    delegate->activationPolicy().promoteForWindow();
    delegate->activationPolicy().observeClose(window);
  }
  removeCloseObserver();
  closeObserver_ = env().notificationCenter->addObserver(std::string(Window::willCloseNotification),
                                                         window.get(), env().mainLoop,
                                                         [weakSelf](const Notification&) {
                                                           if (auto self = weakSelf.lock())
                                                             self->didClose();
                                                         });
  WindowActivation::bringToFront(window);
  Analytics::track("onboarding_started");
}

// --- Ending --------------------------------------------------------------------------------

void LoginFirstFlowWindowController::removeCloseObserver() {
  if (closeObserver_ && hasEnvironment()) env().notificationCenter->removeObserver(*closeObserver_);
  closeObserver_.reset();
}

void LoginFirstFlowWindowController::didClose() {
  removeCloseObserver();
  // Released on the next turn: this runs inside the window's and the flow's own calls.
  env().mainLoop->post(
      [keep = std::make_tuple(std::move(presentation_), std::move(host_), std::move(view_),
                              std::move(model_), std::move(window_))] {});
}

void LoginFirstFlowWindowController::complete() {
  env().defaults->set(onboardingCompleteKey, Value(true));
  removeCloseObserver();
  auto window = window_;
  if (window) window->close();
  env().mainLoop->post(
      [keep = std::make_tuple(std::move(presentation_), std::move(host_), std::move(view_),
                              std::move(model_), std::move(window_))] {});
  if (auto delegate = delegate_.lock()) delegate->loginFirstFlowDidComplete();
}

}  // namespace flagrig
