#pragma once

#include <memory>
#include <string>
#include <vector>

#include "../Diagnostics/DiagnosticLogLines.h"
#include "../Tagging/TaggingTest.h"
#include "Flagrig/Diagnostics/DiagnosticLogBuffer.h"
#include "Flagrig/Shell/AppDelegate.h"
#include "Flagrig/Shell/AppScreens.h"
#include "Flagrig/Shell/ServiceAddresses.h"
#include "Platform/Desktop/Window.h"
#include "Platform/Foundation/URL.h"

namespace flagrig::testing {

// Every call the shell makes into the screens and services of other folders, in order.
struct CallLog {
  std::vector<std::string> calls;
  int count(std::string_view call) const {
    int n = 0;
    for (const auto& c : calls) n += c == call;
    return n;
  }
};

// A titled window standing in for a screen's own window.
inline std::shared_ptr<platform::Window> makeScreenWindow() {
  auto window = std::make_shared<platform::Window>(
      platform::Rect(100, 100, 400, 300),
      platform::StyleMask::titled | platform::StyleMask::closable);
  window->setReleasedWhenClosed(false);
  return window;
}

// The window a recording screen opens on its first showing and brings forward on each.
class StandInWindow {
 public:
  void show() {
    if (!window_) window_ = makeScreenWindow();
    window_->makeKeyAndOrderFront();
  }
  const std::shared_ptr<platform::Window>& window() const { return window_; }

 private:
  std::shared_ptr<platform::Window> window_;
};

class RecordingSettings : public SettingsWindowScreen {
 public:
  explicit RecordingSettings(std::shared_ptr<CallLog> log) : log_(std::move(log)) {}
  void showWindow() override {
    log_->calls.push_back("settings.showWindow");
    window_.show();
  }
  std::shared_ptr<platform::Window> window() override { return window_.window(); }

 private:
  std::shared_ptr<CallLog> log_;
  StandInWindow window_;
};

class RecordingTagDemo : public TagDemoScreen {
 public:
  explicit RecordingTagDemo(std::shared_ptr<CallLog> log) : log_(std::move(log)) {}
  void present(std::function<void()> onTagAWindow, std::function<void()> onFinished) override {
    log_->calls.push_back("tagDemo.present");
    this->onTagAWindow = std::move(onTagAWindow);
    this->onFinished = std::move(onFinished);
  }
  void setReviewMode(bool on) override {
    log_->calls.push_back(on ? "tagDemo.reviewMode=true" : "tagDemo.reviewMode=false");
  }
  void show(Stage stage) override {
    log_->calls.push_back(stage == Stage::success ? "tagDemo.show(success)"
                                                  : "tagDemo.show(intro)");
    window_.show();
  }
  std::shared_ptr<platform::Window> window() override { return window_.window(); }

  std::function<void()> onTagAWindow;
  std::function<void()> onFinished;

 private:
  std::shared_ptr<CallLog> log_;
  StandInWindow window_;
};

class RecordingFlow : public LoginFirstFlowWindow {
 public:
  explicit RecordingFlow(std::shared_ptr<CallLog> log) : log_(std::move(log)) {}
  void present(LoginFirstStep step) override {
    const char* name = step == LoginFirstStep::signIn        ? "signIn"
                       : step == LoginFirstStep::permissions ? "permissions"
                                                             : "consentConfirm";
    log_->calls.push_back(std::string("flow.present(") + name + ")");
    window_.show();
  }
  std::shared_ptr<platform::Window> window() override { return window_.window(); }

 private:
  std::shared_ptr<CallLog> log_;
  StandInWindow window_;
};

class RecordingUpdater : public UpdaterScreen {
 public:
  explicit RecordingUpdater(std::shared_ptr<CallLog> log) : log_(std::move(log)) {}
  void create() override { log_->calls.push_back("updater.create"); }
  bool canCheckForUpdates() override { return canCheck; }
  void checkForUpdates() override { log_->calls.push_back("updater.checkForUpdates"); }
  bool canCheck = true;

 private:
  std::shared_ptr<CallLog> log_;
};

class RecordingAccount : public AccountServices {
 public:
  explicit RecordingAccount(std::shared_ptr<CallLog> log) : log_(std::move(log)) {}
  void attachSignInService() override { log_->calls.push_back("account.attach"); }
  bool resumeSignIn(const platform::URL& url) override {
    log_->calls.push_back("account.resume(" + url.absoluteString() + ")");
    return takesSignIn;
  }
  void activateForAuthReturn(std::shared_ptr<platform::Window> window) override {
    log_->calls.push_back(window ? "account.activateForAuthReturn(window)"
                                 : "account.activateForAuthReturn(none)");
  }
  bool takesSignIn = false;

 private:
  std::shared_ptr<CallLog> log_;
};

// The simulated desktop with recording stand-ins for the screens built elsewhere.
class ShellTest : public TaggingTest {
 protected:
  void SetUp() override {
    TaggingTest::SetUp();
    ServiceAddresses::setActiveForTesting(
        {platform::URL("https://account.test"), platform::URL("https://analytics.test"),
         platform::URL("https://web.test"), platform::URL("https://contacts.test")});
    sim().http->respond("POST", "https://analytics.test/capture/",
                        platform::sim::SimHTTPAnswer::json(200, "{}"));
    sim().http->respond("POST", "https://account.test/api/app-events",
                        platform::sim::SimHTTPAnswer::json(202, "{}"));
    auto& screens = AppScreens::shared();
    settings = std::make_shared<RecordingSettings>(log);
    tagDemo = std::make_shared<RecordingTagDemo>(log);
    updater = std::make_shared<RecordingUpdater>(log);
    account = std::make_shared<RecordingAccount>(log);
    screens.settings = settings;
    screens.tagDemo = tagDemo;
    screens.updater = updater;
    screens.account = account;
    auto calls = log;
    screens.makeLoginFirstFlow = [calls](AppDelegate&) {
      return std::make_shared<RecordingFlow>(calls);
    };
  }

  const std::vector<std::string>& calls() const { return log->calls; }
  platform::Application& app() { return desktop().application(); }
  platform::sim::SimAccessibility& ax() { return desktop().accessibility(); }

  // The diagnostic log's entries as "level category: message".
  std::vector<std::string> logLines() { return diagnosticLogLines(); }

  // The analytics events captured so far, in order, without their "flagrig_" prefix; with
  // `withProperties`, each followed by its capture's whole body.
  std::vector<std::string> trackedEvents() {
    runUntilIdle();
    bodies.clear();
    std::vector<std::string> events;
    for (const auto& recorded : sim().http->requests()) {
      if (recorded.request.url.absoluteString() != "https://analytics.test/capture/") continue;
      const auto& bytes = recorded.request.httpBody;
      std::string body = bytes ? std::string(bytes->begin(), bytes->end()) : std::string();
      static constexpr std::string_view marker = R"("event":"flagrig_)";
      auto at = body.find(marker);
      if (at == std::string::npos) continue;
      at += marker.size();
      events.push_back(body.substr(at, body.find('"', at) - at));
      bodies.push_back(body);
    }
    return events;
  }
  std::vector<std::string> bodies;

  // A delegate installed as the application's, launched as a normal run launches it.
  std::shared_ptr<AppDelegate> launch() {
    auto delegate = std::make_shared<AppDelegate>();
    app().setDelegate(delegate);
    app().finishLaunching();
    runUntilIdle();
    return delegate;
  }

  std::shared_ptr<CallLog> log = std::make_shared<CallLog>();
  std::shared_ptr<RecordingSettings> settings;
  std::shared_ptr<RecordingTagDemo> tagDemo;
  std::shared_ptr<RecordingUpdater> updater;
  std::shared_ptr<RecordingAccount> account;
};

}  // namespace flagrig::testing
