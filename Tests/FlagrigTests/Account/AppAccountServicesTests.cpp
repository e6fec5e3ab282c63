#include <gtest/gtest.h>

#include "AccountTest.h"
#include "Flagrig/Account/AppAccountServices.h"
#include "Flagrig/Shell/AppDelegate.h"
#include "Flagrig/Shell/AppScreens.h"
#include "Flagrig/Shell/AppStartup.h"
#include "Platform/Desktop/Application.h"
#include "Platform/Desktop/StatusBar.h"

namespace flagrig::testing {
namespace {

using voskary::testing::FakeAccountService;

// The shell with the real account services: launch, URL routing and start-up.
class AppAccountServicesTest : public AccountTest {
 protected:
  std::shared_ptr<AppDelegate> launch() {
    AppScreens::shared().account = std::make_shared<AppAccountServices>();
    auto delegate = std::make_shared<AppDelegate>();
    auto& app = platform::Application::shared();
    app.setDelegate(delegate);
    app.finishLaunching();
    return delegate;
  }
};

TEST_F(AppAccountServicesTest, TheLaunchRestoresTheStoredSessionWithoutWaitingForIt) {
  // An expired session: restoring it needs a refresh, which the service holds.
  storeSession(-60);
  service->setHolding(FakeAccountService::refreshPath, true);
  auto delegate = launch();
  runUntilIdle();
  EXPECT_EQ(platform::StatusBar::system().items().size(), 1u) << "the launch went on";
  auto& subscription = SignInService::shared();
  EXPECT_FALSE(subscription.isSignedIn());
  EXPECT_EQ(SignInState::current().get(), &subscription) << "analytics reads the service";

  ASSERT_TRUE(sim().http->releaseHeld());
  runUntilIdle();
  EXPECT_TRUE(subscription.isSignedIn());
  EXPECT_EQ(subscription.voskaryAccountID(), kAccountID);

  // A second attach (another delegate) restores nothing again.
  AppScreens::shared().account->attachSignInService();
  runUntilIdle();
  EXPECT_EQ(service->requestCount(FakeAccountService::refreshPath), 1);
}

TEST_F(AppAccountServicesTest, ARelaunchWithAValidSessionShowsTheUserSignedIn) {
  storeSession();
  auto delegate = launch();
  runUntilIdle();
  EXPECT_TRUE(SignInService::shared().isSignedIn());
  EXPECT_EQ(SignInService::shared().accountEmail(), kEmail);
  EXPECT_TRUE(sim().http->requests().size() > 0);
  EXPECT_EQ(service->requestCount(FakeAccountService::refreshPath), 0);
}

TEST_F(AppAccountServicesTest, ASignInReturnThroughTheURLSchemeCompletesTheSignIn) {
  auto delegate = launch();
  runUntilIdle();
  auto out = start(SignInService::shared().beginSignIn(nullptr, std::nullopt));
  runUntilIdle();
  auto redirect = browser->finishSignIn();
  ASSERT_TRUE(redirect);
  tarnwick::OIDURLQueryComponent query(*redirect);
  service->addAuthorizationCode(query.valuesForParameter("code")->front(), kAccountID, kEmail);

  // A URL that is not the flow's redirect is not taken.
  EXPECT_FALSE(AppScreens::shared().account->resumeSignIn(platform::URL("flagrig://auth/other")));
  sim().desktop->deliverURL(redirect->absoluteString());
  runUntilIdle();
  ASSERT_TRUE(out->done);
  EXPECT_TRUE(out->value == SignInService::SignInResult::success());
  EXPECT_TRUE(SignInService::shared().isSignedIn());
  EXPECT_EQ(platform::Application::shared().activationPolicy(), platform::ActivationPolicy::regular)
      << "the app came forward";
}

class NoServices : public AppStartup::Services {
 public:
  void installCrashCapture() override {}
  void configureErrorTelemetry(const AppStartup::TelemetrySettings& s) override { settings = s; }
  void startErrorTelemetry() override {}
  void startRegionProbe(const platform::URL&) override {}
  AppStartup::TelemetrySettings settings;
};

TEST_F(AppAccountServicesTest, StartUpInstallsTheAccountServicesAndSeedsTheInstallID) {
  NoServices services;
  auto delegate = AppStartup::prepare(services);
  ASSERT_TRUE(delegate);
  EXPECT_TRUE(std::dynamic_pointer_cast<AppAccountServices>(AppScreens::shared().account));
  runUntilIdle();
  // Telemetry, analytics and the account library agree on the device id from the start.
  EXPECT_EQ(services.settings.installId, kDeviceId);
  EXPECT_EQ(manager().config().installID(), kDeviceId);
}

}  // namespace
}  // namespace flagrig::testing
