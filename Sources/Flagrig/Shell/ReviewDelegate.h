#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Platform/Desktop/Application.h"
#include "Platform/Desktop/Window.h"
#include "Platform/Foundation/NotificationCenter.h"

namespace flagrig {

class AppDelegate;

// The review flags, the only command-line options the app knows. Each opens one screen by
// itself so that it can be looked at alone; every other argument is ignored.
struct ReviewFlags {
  enum class Screen { tagDemo, onboarding, settings };
  static constexpr std::string_view onboarding = "--show-onboarding";
  static constexpr std::string_view settings = "--show-settings";
  static constexpr std::string_view permissions = "--show-permissions";
  // Any argument beginning with it.
  static constexpr std::string_view demoPrefix = "--show-demo";
  static constexpr std::string_view demoSuccess = "--show-demo-success";

  static bool isReviewRun(const std::vector<std::string>& args);
  // The one screen a review run opens: the tag demo wins over the first-run flow, which wins
  // over the settings window.
  static std::optional<Screen> screen(const std::vector<std::string>& args);
  static bool showsDemoSuccess(const std::vector<std::string>& args);
};

// The application's delegate in a review run: it opens the one screen the flags ask for in
// the regular policy, and ends the process when that screen's window closes. It creates no
// status item, URL handler, menu sanitizer or telemetry.
class ReviewDelegate : public platform::ApplicationDelegate,
                       public platform::WindowDelegate,
                       public std::enable_shared_from_this<ReviewDelegate> {
 public:
  explicit ReviewDelegate(std::vector<std::string> args);
  ~ReviewDelegate() override;

  void applicationDidFinishLaunching(platform::Application& app) override;
  void windowWillClose(platform::Window&) override;

  // Only used to open the first-run flow window; it is not the application's delegate.
  const std::shared_ptr<AppDelegate>& loginFirstHost() const { return loginFirstHost_; }

 private:
  std::vector<std::string> args_;
  std::shared_ptr<AppDelegate> loginFirstHost_;
  std::optional<platform::NotificationCenter::Token> flowCloseObserver_;
};

}  // namespace flagrig
