#include "Flagrig/Shell/AppDelegate.h"

#include "Flagrig/Analytics/Analytics.h"
#include "Flagrig/Diagnostics/DiagnosticLogBuffer.h"
#include "Flagrig/Diagnostics/Log.h"
#include "Flagrig/Shell/ActivationPolicyController.h"
#include "Flagrig/Shell/AppScreens.h"
#include "Flagrig/Shell/AppTranslocation.h"
#include "Flagrig/Shell/BrandMark.h"
#include "Flagrig/Shell/Constants.h"
#include "Flagrig/Shell/VoskaryMenuChrome.h"
#include "Flagrig/Shell/WindowActivation.h"
#include "Flagrig/Tagging/HexAccessoryView.h"
#include "Flagrig/Tagging/TagHotkey.h"
#include "Flagrig/Tagging/TagManager.h"
#include "Platform/Accessibility/Accessibility.h"
#include "Platform/Desktop/AppleEventManager.h"
#include "Platform/Desktop/ColorPanel.h"
#include "Platform/Desktop/Desktop.h"
#include "Platform/Desktop/Image.h"
#include "Platform/Desktop/StatusBar.h"
#include "Platform/Desktop/StatusItem.h"
#include "Platform/Desktop/Window.h"
#include "Platform/Foundation/Environment.h"
#include "Platform/Foundation/MainThread.h"
#include "Platform/Foundation/ProcessInfo.h"
#include "Platform/Foundation/RunLoop.h"
#include "Platform/Foundation/UserDefaults.h"

namespace flagrig {

using namespace platform;

namespace {

bool isTrusted() {
  return Accessibility::shared().isProcessTrusted();
}

void logLifecycle(std::string_view message) {
  DiagnosticLogBuffer::shared().add("info", "lifecycle", message);
}

}  // namespace

AppDelegate::AppDelegate() : activationPolicy_(std::make_shared<ActivationPolicyController>()) {}

AppDelegate::~AppDelegate() = default;

void AppDelegate::applicationWillFinishLaunching(Application&) {
  platform::assertMainThread("AppDelegate::applicationWillFinishLaunching");
  // Before launching finishes, so that a URL that started the app is delivered too.
  std::weak_ptr<AppDelegate> weak = weak_from_this();
  AppleEventManager::shared().setEventHandler(
      AppleEventCode::internetEventClass, AppleEventCode::getURL,
      [weak](const AppleEventDescriptor& event, AppleEventDescriptor& reply) {
        if (auto self = weak.lock()) self->handleGetURL(event, reply);
      });
}

void AppDelegate::applicationDidFinishLaunching(Application& app) {
  platform::assertMainThread("AppDelegate::applicationDidFinishLaunching");
  logLifecycle("App launched (v" + Constants::appVersion() + ")");
  AppTranslocation::nudgeIfNeeded();
  VoskaryMenuChrome::installSanitizer();
  if (app.activationPolicy() != ActivationPolicy::accessory)
    app.setActivationPolicy(ActivationPolicy::accessory);

  ColorPanel::setPickerMask(ColorPanelMask::wheel);
  auto& panel = ColorPanel::shared();
  panel.setShowsAlpha(false);
  hexAccessory_ = std::make_shared<HexAccessoryView>();
  panel.setAccessoryView(hexAccessory_);

  auto& screens = AppScreens::shared();
  // Up before anything that reads the keychain: a keyring that does not answer holds the main
  // loop until its deadline, and the user should see the app meanwhile.
  makeStatusItem();
  screens.account->attachSignInService();
  Analytics::emitAppFirstOpenedIfNeeded();
  Analytics::track("app_relaunched",
                   Value::Dictionary{{"version", Value(Constants::appVersion())}});
  screens.updater->create();

  std::weak_ptr<AppDelegate> weak = weak_from_this();
  env().mainLoop->post([weak] {
    // The route runs as its own main-actor task, a turn later.
    env().mainLoop->post([weak] {
      if (auto self = weak.lock()) self->runLaunchRoute();
    });
  });
}

void AppDelegate::makeStatusItem() {
  statusItem_ = StatusBar::system().statusItem(StatusItem::variableLength);
  std::shared_ptr<Image> image;
  if (auto brand = BrandMark::nsImage()) {
    image = brand->copy();
    image->setSize({statusImageSide, statusImageSide});
    image->setTemplate(false);
    image->setAccessibilityDescription("Flagrig");
  } else {
    image = Image::systemSymbol("tag.fill", "Flagrig");
  }
  statusItem_->button()->setImage(image);
  auto menu = std::make_shared<Menu>();
  menu->setDelegate(shared_from_this());
  statusItem_->setMenu(menu);
  env().desktop->showStatusItemsNow();
}

void AppDelegate::runLaunchRoute() {
  takeLaunchRoute();
  // The advertised hotkey works from launch on, whichever route ran; the tag manager itself
  // may still wait for its first use.
  TagHotkey::shared().load();
}

void AppDelegate::takeLaunchRoute() {
  if (!isTrusted()) {
    logLifecycle("Launch route requires permissions setup");
    presentLoginFirstFlow(LoginFirstStep::permissions);
    return;
  }
  if (env().defaults->boolForKey(tagDemoCompleteKey)) return;
  // Creates the tag manager (and with it the poll) on a launch that gets here.
  if (!TagManager::shared().tags().empty()) return;
  presentTagDemo();
}

void AppDelegate::presentTagDemo() {
  platform::assertMainThread("AppDelegate::presentTagDemo");
  std::weak_ptr<AppDelegate> weak = weak_from_this();
  AppScreens::shared().tagDemo->present(
      [weak] {
        if (auto self = weak.lock()) self->startTagging();
      },
      [weak] {
        env().mainLoop->postAfter(afterOnboardingDelay, [weak] {
          if (auto self = weak.lock()) self->openStatusMenuAfterOnboarding();
        });
      });
}

void AppDelegate::presentLoginFirstFlow(LoginFirstStep step) {
  platform::assertMainThread("AppDelegate::presentLoginFirstFlow");
  if (!loginFirstFlow_) loginFirstFlow_ = AppScreens::shared().makeLoginFirstFlow(*this);
  loginFirstFlow_->present(step);
}

std::shared_ptr<Window> AppDelegate::loginFirstWindow() const {
  return loginFirstFlow_ ? loginFirstFlow_->window() : nullptr;
}

void AppDelegate::loginFirstFlowDidComplete() {
  platform::assertMainThread("AppDelegate::loginFirstFlowDidComplete");
  std::weak_ptr<AppDelegate> weak = weak_from_this();
  env().mainLoop->postAfter(afterOnboardingDelay, [weak] {
    auto self = weak.lock();
    if (!self) return;
    if (isTrusted() && !env().defaults->boolForKey(tagDemoCompleteKey) &&
        TagManager::shared().tags().empty()) {
      self->presentTagDemo();
    } else {
      self->openStatusMenuAfterOnboarding();
    }
  });
}

void AppDelegate::openStatusMenuAfterOnboarding() {
  platform::assertMainThread("AppDelegate::openStatusMenuAfterOnboarding");
  if (!isTrusted()) {
    logLifecycle("Status menu request redirected to permissions setup");
    presentLoginFirstFlow(LoginFirstStep::permissions);
    return;
  }
  auto& ax = Accessibility::shared();
  AXElement app = ax.createApplication(env().processInfo->processIdentifier());
  AXValue extras;
  AXError error = ax.copyAttributeValue(app, AXAttribute::extrasMenuBar, extras);
  AXElement bar = error == AXError::success ? extras.asElement() : nullptr;
  if (!bar) {
    Log::warn("lifecycle", "Could not locate Flagrig menu bar extra; opening Settings fallback");
    openSettings();
    return;
  }
  AXValue children;
  error = ax.copyAttributeValue(bar, AXAttribute::children, children);
  auto items = error == AXError::success ? children.asElementArray() : std::nullopt;
  if (!items || items->empty()) {
    Log::warn("lifecycle",
              "Flagrig menu bar extra had no actionable item; opening Settings fallback");
    openSettings();
    return;
  }
  AXError result = ax.performAction(items->front(), AXAction::press);
  if (result != AXError::success) {
    Log::warn("lifecycle", "Could not open Flagrig status menu via AX result=" +
                               std::to_string(static_cast<std::int32_t>(result)) +
                               "; opening Settings fallback");
    openSettings();
  }
}

bool AppDelegate::applicationShouldHandleReopen(Application&, bool) {
  platform::assertMainThread("AppDelegate::applicationShouldHandleReopen");
  if (auto window = loginFirstWindow(); window && window->isVisible()) {
    activationPolicy_->promoteForWindow();
    WindowActivation::bringToFront(window);
    return false;
  }
  if (isTrusted()) {
    openStatusMenuAfterOnboarding();
    return false;
  }
  logLifecycle("Reopen route requires permissions setup");
  presentLoginFirstFlow(LoginFirstStep::permissions);
  return false;
}

}  // namespace flagrig
