// The first-run flow's routes after sign-in and its sign-in step, on the simulated machine.
#include <gtest/gtest.h>

#include "OnboardingTest.h"
#include "VoskaryAccount/Client/KeychainStorage.h"

namespace flagrig::testing {
namespace {

using platform::NetworkPathStatus;
namespace forms = platform::forms;

class LoginFirstFlowTest : public OnboardingTest {};

TEST_F(LoginFirstFlowTest, AnAppleSignInRoutesByNewUserAndTrust) {
  struct Case {
    std::optional<bool> isNewUser;
    bool trusted;
    LoginFirstStep step;
    int completions;
  };
  const Case cases[] = {
      {true, true, LoginFirstStep::consentConfirm, 0},
      {true, false, LoginFirstStep::consentConfirm, 0},
      {false, true, LoginFirstStep::signIn, 1},
      {false, false, LoginFirstStep::permissions, 0},
      {std::nullopt, true, LoginFirstStep::signIn, 1},
      {std::nullopt, false, LoginFirstStep::permissions, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message()
                 << "new=" << (c.isNewUser ? int(*c.isNewUser) : -1) << " trusted=" << c.trusted);
    TearDown();
    SetUp();
    setTrusted(c.trusted);
    openFlow();
    ASSERT_TRUE(tap("Sign in with Apple"));
    EXPECT_EQ(view->signInPhase(), Phase::busy());
    answerApple(c.isNewUser);
    EXPECT_EQ(model->step(), c.step);
    EXPECT_EQ(*completions, c.completions);
    EXPECT_FALSE(model->isWorking());
    auto completed = lastEvent("auth_completed");
    ASSERT_TRUE(completed);
    EXPECT_EQ(completed->properties.contains("is_new_user"), c.isNewUser.has_value());
    EXPECT_EQ(count("sign_in_completed"), 1);
    EXPECT_EQ(count("onboarding_completed"), c.completions);
  }
}

TEST_F(LoginFirstFlowTest, TheNewAppleUserFlagCountsOnlyForTheNativeAppleSignInThatSetIt) {
  // A new Apple account goes through the consent step; the user then picks another account.
  setTrusted(true);
  openFlow();
  ASSERT_TRUE(tap("Sign in with Apple"));
  answerApple(true);
  ASSERT_EQ(model->step(), LoginFirstStep::consentConfirm);
  view->signOutToSignIn();
  runUntilIdle();
  ASSERT_EQ(model->step(), LoginFirstStep::signIn);
  ASSERT_EQ(manager().lastAppleSignInIsNewUser(), true) << "the manager keeps its last value";

  // Google signs in an existing account: no consent step, the flow completes.
  ASSERT_TRUE(tap("Sign in with Google"));
  finishBrowserSignIn();
  EXPECT_EQ(model->step(), LoginFirstStep::signIn);
  EXPECT_EQ(*completions, 1);

  // Nor does the browser road with the Apple hint after a failed native sign-in.
  TearDown();
  SetUp();
  setTrusted(false);
  openFlow();
  ASSERT_TRUE(tap("Sign in with Apple"));
  answerApple(true);
  view->signOutToSignIn();
  runUntilIdle();
  ASSERT_TRUE(tap("Sign in with Apple"));
  ASSERT_TRUE(sim().appleID->fail(platform::AuthorizationError::Code::failed, "no sheet"));
  finishBrowserSignIn();
  EXPECT_EQ(model->step(), LoginFirstStep::permissions);
}

TEST_F(LoginFirstFlowTest, TheFlowCompletesOnceHoweverOftenItIsToldTo) {
  setTrusted(true);
  openFlow(LoginFirstStep::consentConfirm);
  view->routePostAuth();
  view->routePostAuth();  // a second Continue of the consent step
  view->advanceToPermissionsOrComplete();
  EXPECT_EQ(*completions, 1);
  EXPECT_EQ(count("onboarding_completed"), 1);
}

TEST_F(LoginFirstFlowTest, StepChangesResizeTheWindowAndANewVisitReportsTheSignInScreenAgain) {
  setTrusted(false);
  openFlow();
  EXPECT_TRUE(resizes->empty()) << "the first step is sized by the window's creator";
  EXPECT_EQ(count("login_screen_shown"), 1);
  host->invalidate();
  runUntilIdle();
  EXPECT_EQ(count("login_screen_shown"), 1) << "a redraw is no new visit";

  const int renders = host->renderCount();
  model->setStep(LoginFirstStep::signIn);
  runUntilIdle();
  EXPECT_TRUE(resizes->empty());
  EXPECT_EQ(host->renderCount(), renders) << "the same step notifies nobody";

  model->setStep(LoginFirstStep::permissions);
  advance(61);  // past the analytics throttle's coalescing of equal events
  model->setStep(LoginFirstStep::signIn);
  runUntilIdle();
  EXPECT_EQ(*resizes,
            (std::vector<LoginFirstStep>{LoginFirstStep::permissions, LoginFirstStep::signIn}));
  EXPECT_EQ(count("login_screen_shown"), 2);
}

TEST_F(LoginFirstFlowTest, ThePhaseFollowsWorkThenNetworkThenError) {
  openFlow();
  struct Case {
    bool working;
    bool online;
    std::optional<std::string> error;
    Phase phase;
  };
  const Case cases[] = {
      {false, true, std::nullopt, Phase::ready()},
      {false, true, "Service unavailable.", Phase::error("Service unavailable.")},
      {false, false, "Service unavailable.", Phase::offline()},
      {false, false, std::nullopt, Phase::offline()},
      {true, false, "Service unavailable.", Phase::busy()},
      {true, true, std::nullopt, Phase::busy()},
  };
  for (const auto& c : cases) {
    model->setWorking(c.working);
    model->setErrorMessage(c.error);
    sim().network->setStatus(c.online ? NetworkPathStatus::satisfied
                                      : NetworkPathStatus::unsatisfied);
    runUntilIdle();
    EXPECT_EQ(view->signInPhase(), c.phase) << c.working << c.online << c.error.value_or("(none)");
  }
}

TEST_F(LoginFirstFlowTest, TheOfflinePhaseClearsByItselfOnceTheNetworkIsBack) {
  openFlow();
  const forms::Node* retry = nullptr;
  sim().network->setStatus(NetworkPathStatus::unsatisfied);
  runUntilIdle();
  retry = host->find(forms::NodeKind::text, voskary::VoskarySignInScreen::offlineHeading);
  EXPECT_TRUE(retry) << "the offline card is drawn without any other redraw";
  sim().network->setStatus(NetworkPathStatus::satisfied);
  runUntilIdle();
  EXPECT_FALSE(host->find(forms::NodeKind::text, voskary::VoskarySignInScreen::offlineHeading));
  EXPECT_TRUE(host->find(forms::NodeKind::button, "Sign in with Google"));
}

TEST_F(LoginFirstFlowTest, ASecondTapWhileASignInRunsStartsNothing) {
  openFlow();
  ASSERT_TRUE(tap("Sign in with Apple"));
  host->tap("Sign in with Apple");
  view->signIn(Hint::google);
  view->signIn(Hint::email);
  runUntilIdle();
  EXPECT_EQ(sim().appleID->requests().size(), 1u);
  EXPECT_TRUE(browser->openedURLs().empty());
  EXPECT_EQ(count("auth_started"), 1);
}

TEST_F(LoginFirstFlowTest, AFailedAppleSignInReportsACodeAndTakesTheBrowserRoad) {
  openFlow();
  ASSERT_TRUE(tap("Sign in with Apple"));
  const std::string secret = "Request for someone@voskary.test failed: token eyJhbGciOi";
  ASSERT_TRUE(sim().appleID->fail(platform::AuthorizationError::Code::failed, secret));
  runUntilIdle();
  auto failed = lastEvent("auth_failed");
  ASSERT_TRUE(failed);
  EXPECT_EQ(pick(*failed, {"transport", "provider_hint"}),
            (std::map<std::string, std::string>{{"transport", "siwa_native"},
                                                {"provider_hint", "apple"}}));
  const std::string reason = failed->properties["reason"].get<std::string>();
  EXPECT_EQ(reason.find("someone@"), std::string::npos) << reason;
  EXPECT_EQ(reason.find("eyJ"), std::string::npos) << reason;
  EXPECT_FALSE(reason.empty());

  // Still busy: the browser sign-in with the Apple hint runs and decides.
  EXPECT_EQ(view->signInPhase(), Phase::busy());
  ASSERT_EQ(browser->openedURLs().size(), 1u);
  EXPECT_NE(browser->openedURLs().front().absoluteString().find("apple"), std::string::npos);
  setTrusted(true);
  finishBrowserSignIn();
  EXPECT_EQ(*completions, 1);
}

TEST_F(LoginFirstFlowTest, CancelsAndFailuresLeaveTheStepAsTheUserExpects) {
  openFlow();
  // The user dismisses the Apple sheet: back to ready, nothing reported.
  ASSERT_TRUE(tap("Sign in with Apple"));
  ASSERT_TRUE(sim().appleID->fail(platform::AuthorizationError::Code::canceled));
  runUntilIdle();
  EXPECT_EQ(view->signInPhase(), Phase::ready());
  EXPECT_EQ(count("auth_failed"), 0);
  EXPECT_TRUE(browser->openedURLs().empty());

  // The cancel action ends a waiting browser sign-in quietly.
  ASSERT_TRUE(tap("Sign in with Google"));
  EXPECT_EQ(view->signInPhase(), Phase::busy());
  view->cancelSignIn();
  runUntilIdle();
  EXPECT_EQ(view->signInPhase(), Phase::ready());
  EXPECT_FALSE(model->errorMessage());

  // A refused exchange shows the service's sentence until retried.
  ASSERT_TRUE(tap("Continue with email"));
  runUntilIdle();
  auto redirect = browser->finishSignIn();  // a code the service does not know
  ASSERT_TRUE(redirect);
  manager().resume(*redirect);
  runUntilIdle();
  ASSERT_EQ(view->signInPhase().kind(), Phase::Kind::error);
  EXPECT_FALSE(view->signInPhase().message().empty());
  view->retry();
  EXPECT_EQ(view->signInPhase(), Phase::ready());
}

TEST_F(LoginFirstFlowTest, WithoutABridgeOrAWindowTheStepSaysSoAndNothingHangs) {
  openFlow(LoginFirstStep::signIn, /*attach=*/false);
  view->cancelSignIn();  // nothing to cancel
  ASSERT_TRUE(tap("Sign in with Google"));
  EXPECT_EQ(view->signInPhase(), Phase::error("Service unavailable."));
  EXPECT_FALSE(model->isWorking());

  // No window anywhere to anchor a sign-in.
  window->close();
  window.reset();
  runUntilIdle();
  ASSERT_TRUE(platform::Application::shared().windows().empty());
  view->signIn(Hint::google);
  EXPECT_EQ(view->signInPhase(), Phase::error(LoginFirstFlowView::noWindowMessage));
  EXPECT_FALSE(model->isWorking());
}

TEST_F(LoginFirstFlowTest, UsingADifferentAccountDropsTheEMailAtOnceAndTheNextSignInWaits) {
  for (Hint provider : {Hint::google, Hint::apple}) {
    SCOPED_TRACE(voskary::OAuthDriver::rawValue(provider));
    TearDown();
    SetUp();
    storeSession();
    manager().transition(State::signedIn({{kAccountID}, kEmail, std::nullopt}));
    openFlow();
    ASSERT_TRUE(host->find(forms::NodeKind::text, kEmail));
    model->setErrorMessage("Sign-in failed. Try again.");
    runUntilIdle();

    // The revocation is slow.
    service->setHolding(voskary::testing::FakeAccountService::revokePath, true);
    ASSERT_TRUE(tap(voskary::VoskarySignInScreen::useDifferentAccountTitle));
    EXPECT_FALSE(host->find(forms::NodeKind::text, kEmail)) << "the old e-mail is still shown";
    EXPECT_FALSE(model->errorMessage());
    EXPECT_EQ(model->step(), LoginFirstStep::signIn);

    // A new sign-in meanwhile waits for the sign-out instead of racing it.
    const auto opened = browser->openedURLs().size();  // the fixture keeps its browser
    view->signIn(provider);
    runUntilIdle();
    EXPECT_EQ(view->signInPhase(), Phase::busy());
    EXPECT_EQ(browser->openedURLs().size(), opened);
    EXPECT_TRUE(sim().appleID->requests().empty());
    ASSERT_TRUE(sim().http->releaseHeld());
    runUntilIdle();
    setTrusted(true);
    const std::string newEmail = "other@voskary.test";
    if (provider == Hint::apple) {
      answerApple(false);
    } else {
      ASSERT_EQ(browser->openedURLs().size(), opened + 1);
      finishBrowserSignIn("va_0190b3c4-5d6e-7f80-9a1b-2c3d4e5f6a7c", newEmail);
    }
    EXPECT_EQ(*completions, 1);
    ASSERT_TRUE(bridge().currentSession()) << "the sign-out's deletion wiped the new session";
    if (provider == Hint::google) {
      EXPECT_EQ(bridge().currentSession()->email, newEmail);
    }
  }
}

TEST_F(LoginFirstFlowTest, TheStepRedrawsWhenTheSignedInAccountChanges) {
  openFlow();
  EXPECT_FALSE(host->find(forms::NodeKind::text, kEmail));
  storeSession();
  manager().transition(State::signedIn({{kAccountID}, kEmail, std::nullopt}));
  runUntilIdle();
  EXPECT_TRUE(host->find(forms::NodeKind::text, kEmail));
}

TEST_F(LoginFirstFlowTest, AFlowReleasedMidSignInStopsQuietlyAndLeavesNoObserver) {
  setTrusted(true);
  openFlow();
  ASSERT_TRUE(tap("Sign in with Google"));
  std::weak_ptr<LoginFirstFlowView> weakView = view;
  host.reset();
  view.reset();
  EXPECT_TRUE(weakView.expired()) << "the running sign-in keeps the flow alive";
  EXPECT_EQ(NetworkReachabilityService::shared().observerCount(), 0u);
  EXPECT_EQ(model->observerCount(), 0u);
  finishBrowserSignIn();
  EXPECT_EQ(*completions, 0);
  EXPECT_FALSE(model->isWorking());

  // Closed while the Apple sheet is up: its failure opens no browser for a flow that is gone.
  openFlow();
  view->signIn(Hint::apple);  // the signed-in screen offers no provider buttons
  runUntilIdle();
  ASSERT_TRUE(sim().appleID->hasOpenRequest());
  host.reset();
  view.reset();
  const auto opened = browser->openedURLs().size();
  ASSERT_TRUE(sim().appleID->fail(platform::AuthorizationError::Code::failed, "gone"));
  runUntilIdle();
  EXPECT_EQ(browser->openedURLs().size(), opened);
  EXPECT_FALSE(model->isWorking());
}

}  // namespace
}  // namespace flagrig::testing

namespace flagrig::testing {
namespace {

TEST_F(LoginFirstFlowTest, ANewAppleAccountGoesThroughConsentAndPermissionsToOneCompletion) {
  setTrusted(false);
  openFlow();
  ASSERT_TRUE(tap("Sign in with Apple"));
  answerApple(true);
  ASSERT_EQ(model->step(), LoginFirstStep::consentConfirm);
  ASSERT_TRUE(host->find(forms::NodeKind::button, "Continue"));
  ASSERT_TRUE(tap("Continue"));
  advance(30);  // the consent submission ends, answered or not
  ASSERT_EQ(model->step(), LoginFirstStep::permissions);
  EXPECT_TRUE(host->find(forms::NodeKind::button, "Grant Accessibility"));

  // Granted in the system's settings, then back in the app.
  setTrusted(true);
  platform::env().notificationCenter->post(
      std::string(platform::Application::didBecomeActiveNotification));
  runUntilIdle();
  ASSERT_TRUE(host->find(forms::NodeKind::button, "Continue"));
  host->tap("Continue");
  host->tap("Continue");  // a quick second click
  runUntilIdle();
  EXPECT_EQ(*completions, 1);
}

TEST_F(LoginFirstFlowTest, ReturningToTheAppRedrawsThePermissionsStepWithFreshStates) {
  setTrusted(false);
  openFlow(LoginFirstStep::permissions);
  ASSERT_TRUE(host->find(forms::NodeKind::button, "Grant Accessibility"));
  setTrusted(true);
  runUntilIdle();
  EXPECT_FALSE(host->find(forms::NodeKind::button, "Continue")) << "redrawn without a reason";
  platform::env().notificationCenter->post(
      std::string(platform::Application::didBecomeActiveNotification));
  runUntilIdle();
  EXPECT_TRUE(host->find(forms::NodeKind::button, "Continue"));
}

}  // namespace
}  // namespace flagrig::testing
