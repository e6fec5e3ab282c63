#include "Flagrig/Shell/ReviewDelegate.h"

#include <algorithm>

#include "Flagrig/Diagnostics/Log.h"
#include "Flagrig/Shell/AppDelegate.h"
#include "Flagrig/Shell/AppScreens.h"
#include "Platform/Foundation/Environment.h"

namespace flagrig {

using namespace platform;

namespace {

bool contains(const std::vector<std::string>& args, std::string_view flag) {
  return std::find(args.begin(), args.end(), flag) != args.end();
}

bool hasDemoFlag(const std::vector<std::string>& args) {
  return std::any_of(args.begin(), args.end(),
                     [](const std::string& a) { return a.starts_with(ReviewFlags::demoPrefix); });
}

}  // namespace

bool ReviewFlags::isReviewRun(const std::vector<std::string>& args) {
  return screen(args).has_value();
}

std::optional<ReviewFlags::Screen> ReviewFlags::screen(const std::vector<std::string>& args) {
  if (hasDemoFlag(args)) return Screen::tagDemo;
  if (contains(args, onboarding)) return Screen::onboarding;
  if (contains(args, permissions) || contains(args, settings)) return Screen::settings;
  return std::nullopt;
}

bool ReviewFlags::showsDemoSuccess(const std::vector<std::string>& args) {
  return contains(args, demoSuccess);
}

ReviewDelegate::ReviewDelegate(std::vector<std::string> args)
    : args_(std::move(args)), loginFirstHost_(std::make_shared<AppDelegate>()) {}

ReviewDelegate::~ReviewDelegate() {
  if (flowCloseObserver_ && hasEnvironment())
    env().notificationCenter->removeObserver(*flowCloseObserver_);
}

void ReviewDelegate::applicationDidFinishLaunching(Application& app) {
  auto& screens = AppScreens::shared();
  std::shared_ptr<Window> shown;
  switch (ReviewFlags::screen(args_).value_or(ReviewFlags::Screen::settings)) {
    case ReviewFlags::Screen::tagDemo: {
      auto& demo = *screens.tagDemo;
      demo.setReviewMode(true);
      demo.show(ReviewFlags::showsDemoSuccess(args_) ? TagDemoScreen::Stage::success
                                                     : TagDemoScreen::Stage::intro);
      shown = demo.window();
      if (shown) shown->setDelegate(shared_from_this());
      break;
    }
    case ReviewFlags::Screen::onboarding: {
      loginFirstHost_->presentLoginFirstFlow(LoginFirstStep::signIn);
      // The flow window keeps its own delegate; its closing ends the run like any review
      // window's, rather than leaving a process with no window and no status item.
      shown = loginFirstHost_->loginFirstWindow();
      if (shown) {
        std::weak_ptr<ReviewDelegate> weak = weak_from_this();
        flowCloseObserver_ = env().notificationCenter->addObserver(
            std::string(Window::willCloseNotification), shown.get(), nullptr,
            [weak](const Notification&) {
              if (weak.lock()) Application::shared().terminate();
            });
      }
      break;
    }
    case ReviewFlags::Screen::settings: {
      auto& settings = *screens.settings;
      settings.showWindow();
      shown = settings.window();
      if (shown) shown->setDelegate(shared_from_this());
      break;
    }
  }
  app.activate();
  // A screen this build does not have opens no window; nothing could ever end the run.
  if (!shown) {
    Log::warn("lifecycle", "Review screen did not open a window; quitting");
    app.terminate();
  }
}

void ReviewDelegate::windowWillClose(Window&) {
  Application::shared().terminate();
}

}  // namespace flagrig
