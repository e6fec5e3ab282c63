#include <gtest/gtest.h>

#include "Flagrig/Onboarding/LoginFirstFlowWindowController.h"
#include "Flagrig/Onboarding/TagDemoWindowController.h"
#include "Flagrig/Shell/AppDelegate.h"
#include "Flagrig/Shell/AppStartup.h"
#include "Flagrig/Shell/Constants.h"
#include "Flagrig/Shell/ReviewDelegate.h"
#include "Flagrig/Shell/ServiceAddresses.h"
#include "Platform/Desktop/StatusBar.h"
#include "Platform/Foundation/ProcessInfo.h"
#include "Platform/Security/Keychain.h"
#include "Platform/Security/KeychainKeyStore.h"
#include "ShellTest.h"
#include "VoskaryAccount/Client/VoskaryInstallMetrics.h"
#include "VoskaryAccount/Telemetry/ErrorFirehoseClient.h"

namespace flagrig {
namespace {

using namespace platform;

class RecordingServices : public AppStartup::Services {
 public:
  void installCrashCapture() override { calls.push_back("crash"); }
  void configureErrorTelemetry(const AppStartup::TelemetrySettings& s) override {
    calls.push_back("configure");
    settings = s;
  }
  void startErrorTelemetry() override { calls.push_back("start"); }
  void startRegionProbe(const URL& url) override {
    calls.push_back("probe " + url.absoluteString());
  }
  // The recording screens stay.
  void installScreens() override {}
  std::vector<std::string> calls;
  AppStartup::TelemetrySettings settings;
};

// The real start-up steps, but no signal handlers in the test process.
class RealServicesButCrashCapture : public AppStartup::Services {
 public:
  void installCrashCapture() override {}
};

// The simulated keychain, noting for every call whether the status item was already up.
class WatchedKeychain final : public Keychain {
 public:
  explicit WatchedKeychain(std::shared_ptr<Keychain> inner) : inner_(std::move(inner)) {}
  OSStatus add(const GenericPasswordQuery& item, const Bytes& data) override {
    note();
    return inner_->add(item, data);
  }
  OSStatus update(const GenericPasswordQuery& query, const Bytes& data) override {
    note();
    return inner_->update(query, data);
  }
  KeychainCopyResult copyMatching(const GenericPasswordQuery& query) override {
    note();
    return inner_->copyMatching(query);
  }
  OSStatus remove(const GenericPasswordQuery& query) override {
    note();
    return inner_->remove(query);
  }
  OSStatus addKey(const KeyItem& key) override {
    note();
    return inner_->addKey(key);
  }
  KeyCopyResult copyKey(const std::string& tag) override {
    note();
    return inner_->copyKey(tag);
  }
  OSStatus removeKey(const std::string& tag) override {
    note();
    return inner_->removeKey(tag);
  }
  std::vector<bool> statusItemUp;

 private:
  void note() { statusItemUp.push_back(!StatusBar::system().items().empty()); }
  std::shared_ptr<Keychain> inner_;
};

class StartupTest : public testing::ShellTest {
 protected:
  void setArguments(std::vector<std::string> args) {
    auto fields = env().processInfo->fields();
    args.insert(args.begin(), "/opt/flagrig/bin/flagrig");
    fields.arguments = std::move(args);
    env().processInfo->setFields(fields);
  }
  std::shared_ptr<ApplicationDelegate> start(std::vector<std::string> args) {
    setArguments(std::move(args));
    auto delegate = AppStartup::prepare(services);
    app().finishLaunching();
    runUntilIdle();
    return delegate;
  }
  RecordingServices services;
};

TEST_F(StartupTest, ReviewFlags) {
  using Screen = ReviewFlags::Screen;
  struct Case {
    std::vector<std::string> args;
    std::optional<Screen> screen;
  };
  for (const Case& c : std::initializer_list<Case>{
           {{}, std::nullopt},
           {{"--verbose"}, std::nullopt},
           {{"--show"}, std::nullopt},
           {{"-show-settings"}, std::nullopt},
           {{"--show-onboarding"}, Screen::onboarding},
           {{"--show-settings"}, Screen::settings},
           {{"--show-permissions"}, Screen::settings},
           {{"--show-settings", "--show-permissions"}, Screen::settings},
           {{"--show-demo"}, Screen::tagDemo},
           {{"--show-demo-anything"}, Screen::tagDemo},
           {{"--show-onboarding", "--show-demo-success"}, Screen::tagDemo},
           {{"--show-settings", "--show-onboarding"}, Screen::onboarding},
       }) {
    std::string name;
    for (const auto& a : c.args) name += a + " ";
    EXPECT_EQ(ReviewFlags::screen(c.args), c.screen) << name;
    EXPECT_EQ(ReviewFlags::isReviewRun(c.args), c.screen.has_value()) << name;
  }
  EXPECT_TRUE(ReviewFlags::showsDemoSuccess({"--show-demo-success"}));
  EXPECT_FALSE(ReviewFlags::showsDemoSuccess({"--show-demo-successful"}));
}

TEST_F(StartupTest, NormalRunConfiguresTelemetryBeforeStartingItThenHandsOverToTheDelegate) {
  auto fields = env().processInfo->fields();
  fields.operatingSystemVersion = {6, 1, 0};
  env().processInfo->setFields(fields);
  auto delegate = start({"--verbose"});

  auto identity = ServiceAddresses::active().accountService;
  EXPECT_EQ(services.calls, (std::vector<std::string>{"crash", "configure", "start",
                                                      "probe " + identity.absoluteString()}));
  AppStartup::TelemetrySettings expected{"flagrig",
                                         "macos",
                                         Constants::appVersion(),
                                         "6.1.0",
                                         voskary::VoskaryInstallMetrics("flagrig").installID(),
                                         identity};
  EXPECT_EQ(services.settings, expected);
  EXPECT_FALSE(AppStartup::isReviewRun());
  EXPECT_EQ(AppStartup::args().back(), "--verbose");
  ASSERT_TRUE(std::dynamic_pointer_cast<AppDelegate>(delegate));
  EXPECT_EQ(app().delegate(), delegate);
  EXPECT_EQ(StatusBar::system().items().size(), 1u);
}

// A keyring that does not answer holds the main loop until its deadline; the user sees the
// status item first.
TEST_F(StartupTest, TheStatusItemIsUpBeforeAnyKeychainCall) {
  auto watched = std::make_shared<WatchedKeychain>(env().keychain);
  env().keychain = watched;
  env().keyStore = std::make_shared<KeychainKeyStore>(watched);
  start({});
  EXPECT_EQ(services.calls.size(), 4u);
  ASSERT_FALSE(watched->statusItemUp.empty());
  for (bool up : watched->statusItemUp) EXPECT_TRUE(up);
}

TEST_F(StartupTest, TheRealStepsStartTheClientAndProbeTheRegionWithoutWaiting) {
  sim().http->respond(
      "GET",
      ServiceAddresses::join(ServiceAddresses::active().accountService, "api/geo").absoluteString(),
      sim::SimHTTPAnswer::json(200, R"({"eu":true})"));
  RealServicesButCrashCapture real;
  setArguments({});
  auto delegate = AppStartup::prepare(real);
  ASSERT_TRUE(delegate);
  runUntilIdle();
  EXPECT_TRUE(voskary::ErrorFirehoseClient::shared().isStarted());
  auto requests = sim().http->requests();
  ASSERT_FALSE(requests.empty());
  EXPECT_EQ(requests[0].request.url.path(), "/api/geo");
  EXPECT_TRUE(std::dynamic_pointer_cast<TagDemoWindowController>(AppScreens::shared().tagDemo));
  auto flowHost = std::make_shared<AppDelegate>();
  EXPECT_TRUE(std::dynamic_pointer_cast<LoginFirstFlowWindowController>(
      AppScreens::shared().makeLoginFirstFlow(*flowHost)));
}

TEST_F(StartupTest, ReviewRunsOpenOneScreenAndNothingElse) {
  struct Case {
    std::vector<std::string> args;
    std::vector<std::string> calls;
  };
  for (const Case& c : std::initializer_list<Case>{
           {{"--show-demo-x"}, {"tagDemo.reviewMode=true", "tagDemo.show(intro)"}},
           {{"--show-demo-success"}, {"tagDemo.reviewMode=true", "tagDemo.show(success)"}},
           {{"--show-demo", "--show-onboarding"},
            {"tagDemo.reviewMode=true", "tagDemo.show(intro)"}},
           {{"--show-onboarding"}, {"flow.present(signIn)"}},
           {{"--show-settings", "--show-permissions"}, {"settings.showWindow"}},
       }) {
    std::string name;
    for (const auto& a : c.args) name += a + " ";
    SCOPED_TRACE(name);
    // A fresh machine for each run.
    TearDown();
    SetUp();
    services.calls.clear();
    log->calls.clear();
    app().setActivationPolicy(ActivationPolicy::accessory);
    auto delegate = start(c.args);
    EXPECT_TRUE(AppStartup::isReviewRun());
    EXPECT_TRUE(std::dynamic_pointer_cast<ReviewDelegate>(delegate));
    EXPECT_EQ(services.calls, std::vector<std::string>{"crash"}) << "telemetry or probe started";
    EXPECT_EQ(calls(), c.calls);
    EXPECT_EQ(app().activationPolicy(), ActivationPolicy::regular);
    EXPECT_TRUE(app().isActive());
    EXPECT_TRUE(StatusBar::system().items().empty());
    EXPECT_FALSE(env().defaults->object("NSDisabledDictationMenuItem")) << "sanitizer installed";
    desktop().deliverURL("flagrig://auth/callback");
    runUntilIdle();
    EXPECT_EQ(calls(), c.calls) << "a URL handler is installed";

    // Closing the one window ends the run, whichever screen it is.
    auto window = app().keyWindow();
    ASSERT_TRUE(window);
    window->performClose();
    runUntilIdle();
    EXPECT_TRUE(desktop().hasTerminated());
  }
}

TEST_F(StartupTest, AReviewScreenThatOpensNoWindowEndsTheRun) {
  AppScreens::shared().settings = std::make_shared<SettingsWindowScreen>();
  start({"--show-settings"});
  EXPECT_TRUE(desktop().hasTerminated());
}

TEST_F(StartupTest, WithoutADesktopItSaysSoInOneLineAndFails) {
  sim().environment->desktop = nullptr;
  setArguments({});
  ::testing::internal::CaptureStderr();
  int status = AppStartup::run(services);
  std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(status, 1);
  EXPECT_EQ(err, std::string(AppStartup::noDesktopMessage) + "\n");
  EXPECT_EQ(services.calls, std::vector<std::string>{"crash"});
  sim().environment->desktop = sim().desktop;
}

}  // namespace
}  // namespace flagrig
