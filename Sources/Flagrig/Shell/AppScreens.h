#pragma once

#include <functional>
#include <memory>

#include "Flagrig/Onboarding/LoginFirstStep.h"

namespace platform {
class URL;
class Window;
}  // namespace platform

namespace flagrig {

class AppDelegate;

// The screens and services that the shell opens but that live in their own folders: the
// settings window, the tag demo, the first-run flow window, the updater and the account bridge
// with the app's sign-in service. The shell reaches each through one of these small interfaces,
// whose defaults do nothing, so that it stands (and is tested) on its own; each real screen
// installs itself in `AppScreens` at start-up.

// The settings window.
class SettingsWindowScreen {
 public:
  virtual ~SettingsWindowScreen() = default;
  virtual void showWindow() {}
  // The settings window once it was created.
  virtual std::shared_ptr<platform::Window> window() { return nullptr; }
};

// The interactive tag demo.
class TagDemoScreen {
 public:
  enum class Stage { intro, success };
  virtual ~TagDemoScreen() = default;
  // Opens the demo. Its "Tag a Window" calls `onTagAWindow`; `onFinished` runs once it ends.
  virtual void present(std::function<void()> /*onTagAWindow*/,
                       std::function<void()> /*onFinished*/) {}
  // A review run shows one stage by itself.
  virtual void setReviewMode(bool) {}
  virtual void show(Stage) {}
  virtual std::shared_ptr<platform::Window> window() { return nullptr; }
};

// The first-run flow window of one application delegate.
class LoginFirstFlowWindow {
 public:
  virtual ~LoginFirstFlowWindow() = default;
  // Opens the window at `step`, or moves the open one there and brings it forward.
  virtual void present(LoginFirstStep) {}
  // The flow window while it exists.
  virtual std::shared_ptr<platform::Window> window() { return nullptr; }
};

// The updater.
class UpdaterScreen {
 public:
  virtual ~UpdaterScreen() = default;
  // Creates the updater, which starts itself when the build is configured for updates.
  virtual void create() {}
  virtual bool canCheckForUpdates() { return false; }
  virtual void checkForUpdates() {}
};

// The account bridge, its account manager and the app's sign-in service.
class AccountServices {
 public:
  virtual ~AccountServices() = default;
  // The sign-in service starts following the account manager's state.
  virtual void attachSignInService() {}
  // Hands a sign-in return to the account manager; whether a waiting sign-in took it.
  virtual bool resumeSignIn(const platform::URL&) { return false; }
  // Brings the app forward for a sign-in return, with `window` when there is one.
  virtual void activateForAuthReturn(std::shared_ptr<platform::Window> /*window*/) {}
};

struct AppScreens {
  using LoginFirstFlowFactory = std::function<std::shared_ptr<LoginFirstFlowWindow>(AppDelegate&)>;

  std::shared_ptr<SettingsWindowScreen> settings = std::make_shared<SettingsWindowScreen>();
  std::shared_ptr<TagDemoScreen> tagDemo = std::make_shared<TagDemoScreen>();
  std::shared_ptr<UpdaterScreen> updater = std::make_shared<UpdaterScreen>();
  std::shared_ptr<AccountServices> account = std::make_shared<AccountServices>();
  // Makes the flow window of a delegate; called once per delegate, when the delegate is made.
  LoginFirstFlowFactory makeLoginFirstFlow = [](AppDelegate&) {
    return std::make_shared<LoginFirstFlowWindow>();
  };

  static AppScreens& shared();
};

}  // namespace flagrig
