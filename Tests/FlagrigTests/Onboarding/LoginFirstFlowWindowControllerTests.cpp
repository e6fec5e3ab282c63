// The first-run flow's window: geometry, opening, re-targeting, closing and completing.
#include <gtest/gtest.h>

#include "../Shell/ShellTest.h"
#include "Flagrig/Onboarding/LoginFirstFlowWindowController.h"
#include "Flagrig/Onboarding/NetworkReachabilityService.h"
#include "Flagrig/Shell/AppStartup.h"
#include "Platform/Desktop/Screen.h"
#include "Platform/Forms/FormHost.h"
#include "Platform/Foundation/ProcessInfo.h"

namespace flagrig::testing {
namespace {

using platform::env;
using platform::Rect;
using platform::Screen;
using platform::Size;
using platform::Window;
namespace forms = platform::forms;

class LoginFirstFlowWindowTest : public ShellTest {
 protected:
  void SetUp() override {
    ShellTest::SetUp();
    LoginFirstFlowWindowController::install();
    ax().setTrusted(true);
  }
  // The delegate's flow window, opened at `step`.
  LoginFirstFlowWindowController& open(LoginFirstStep step) {
    if (!delegate) {
      delegate = launch();
      log->calls.clear();  // the launch route's own screens
    }
    delegate->presentLoginFirstFlow(step);
    runUntilIdle();
    return static_cast<LoginFirstFlowWindowController&>(*delegate->loginFirstFlow());
  }
  std::shared_ptr<AppDelegate> delegate;
};

TEST(LoginFirstFlowGeometryTest, TheContentTakesAShareOfTheVisibleFrameUpToItsOwnSize) {
  struct Case {
    Rect visible;
    Size content;
  };
  const Case cases[] = {
      {{0, 0, 1440, 875}, {520, 640}},
      {{0, 0, 500, 400}, {460, 368}},
      {{0, 0, 0, 400}, {520, 640}},    // an empty visible frame
      {{0, 0, 500, -10}, {520, 640}},  // a broken one
  };
  for (const auto& c : cases) {
    Screen screen(c.visible, c.visible);
    EXPECT_EQ(LoginFirstFlowWindowController::preferredContentSize(&screen), c.content)
        << c.visible.width() << "x" << c.visible.height();
  }
  EXPECT_EQ(LoginFirstFlowWindowController::preferredContentSize(nullptr), (Size{520, 640}));
}

class LoginFirstFlowCentringTest : public platform::testing::SimTest {};

TEST_F(LoginFirstFlowCentringTest, TheFrameIsCentredAndKeptInsideTheVisibleFrame) {
  Window window(Rect(0, 0, 100, 100), LoginFirstFlowWindowController::styleMask);
  const double bar = window.frame().height() - 100;  // the title bar
  struct Case {
    const char* what;
    Rect visible;
    Size content;
    double x, y;
  };
  const Case cases[] = {
      {"centred", {0, 0, 500, 400}, {460, 368}, 20, std::round(200 - (368 + bar) / 2)},
      {"wider than the screen: left edge",
       {10, 0, 400, 875},
       {520, 640},
       10,
       std::round(437.5 - (640 + bar) / 2)},
      {"higher than the screen: bottom edge", {0, 30, 1440, 300}, {520, 640}, 460, 30},
      {"halves round away from zero",
       {0, 0, 1001, 2000},
       {520, 640},
       241,
       std::round(1000 - (640 + bar) / 2)},
      {"also below zero",
       {-1001, 0, 1001, 2000},
       {520, 640},
       -761,
       std::round(1000 - (640 + bar) / 2)},
  };
  for (const auto& c : cases) {
    Screen screen(c.visible, c.visible);
    Rect frame = LoginFirstFlowWindowController::centeredFrame(c.content, screen, window);
    EXPECT_EQ(frame.origin.x, c.x) << c.what;
    EXPECT_EQ(frame.origin.y, c.y) << c.what;
    EXPECT_EQ(frame.size, (Size{c.content.width, c.content.height + bar})) << c.what;
  }
}

TEST_F(LoginFirstFlowWindowTest, OpensDarkTitledAndCentredAtItsStepWithTheThreeProviders) {
  auto& flow = open(LoginFirstStep::signIn);
  auto window = flow.window();
  ASSERT_TRUE(window);
  EXPECT_EQ(window->title(), "Sign in to Flagrig");
  EXPECT_EQ(window->styleMask(), platform::StyleMask::titled | platform::StyleMask::closable |
                                     platform::StyleMask::resizable);
  EXPECT_FALSE(window->isReleasedWhenClosed());
  EXPECT_EQ(window->contentRect().size, (Size{520, 640}));
  EXPECT_EQ(window->contentMinSize(), (Size{520, 640}));
  const Rect visible = Screen::main()->visibleFrame();
  EXPECT_NEAR(window->frame().midX(), visible.midX(), 0.5);
  EXPECT_NEAR(window->frame().midY(), visible.midY(), 0.5);
  EXPECT_TRUE(window->isVisible());
  EXPECT_TRUE(window->isKeyWindow());
  EXPECT_EQ(app().activationPolicy(), platform::ActivationPolicy::regular);

  const auto& host = *flow.host();
  EXPECT_EQ(host.tree().colorScheme(), forms::ColorScheme::dark);
  for (const char* title : {"Sign in with Apple", "Sign in with Google", "Continue with email"})
    EXPECT_TRUE(host.find(forms::NodeKind::button, title)) << title;
  auto events = trackedEvents();
  EXPECT_EQ(std::count(events.begin(), events.end(), "onboarding_started"), 1);
}

TEST_F(LoginFirstFlowWindowTest, AskingAgainMovesTheOpenWindowToTheStepAndClearsAStaleError) {
  auto& flow = open(LoginFirstStep::signIn);
  auto window = flow.window();
  auto model = flow.model();
  model->setErrorMessage("Sign-in failed. Try again.");
  // The same step keeps the message.
  delegate->presentLoginFirstFlow(LoginFirstStep::signIn);
  runUntilIdle();
  EXPECT_EQ(model->errorMessage(), "Sign-in failed. Try again.");

  auto other = std::make_shared<Window>(Rect(0, 0, 200, 200), platform::StyleMask::titled);
  other->makeKeyAndOrderFront();
  delegate->presentLoginFirstFlow(LoginFirstStep::permissions);
  runUntilIdle();
  EXPECT_EQ(flow.window(), window) << "a second window was made";
  EXPECT_EQ(flow.model(), model);
  EXPECT_EQ(model->step(), LoginFirstStep::permissions);
  EXPECT_FALSE(model->errorMessage());
  EXPECT_EQ(window->title(), "Set up Flagrig");
  EXPECT_TRUE(window->isKeyWindow());
  auto events = trackedEvents();
  EXPECT_EQ(std::count(events.begin(), events.end(), "onboarding_started"), 1);
}

TEST_F(LoginFirstFlowWindowTest, ClosingEndsTheFlowAndLeavesNothingBehind) {
  auto& flow = open(LoginFirstStep::signIn);
  std::weak_ptr<LoginFirstFlowView> view = flow.view();
  std::weak_ptr<forms::FormHost> host = flow.host();
  std::weak_ptr<LoginFirstFlowModel> model = flow.model();
  ASSERT_EQ(NetworkReachabilityService::shared().observerCount(), 1u);
  flow.window()->performClose();
  runUntilIdle();
  advance(5);
  EXPECT_FALSE(flow.window());
  EXPECT_TRUE(view.expired());
  EXPECT_TRUE(host.expired());
  EXPECT_TRUE(model.expired());
  EXPECT_EQ(NetworkReachabilityService::shared().observerCount(), 0u);
  EXPECT_FALSE(env().defaults->object(LoginFirstFlowWindowController::onboardingCompleteKey));
  EXPECT_EQ(log->count("tagDemo.present"), 0);
  EXPECT_EQ(app().activationPolicy(), platform::ActivationPolicy::accessory);

  // A later request starts afresh at the step asked for.
  open(LoginFirstStep::permissions);
  ASSERT_TRUE(flow.window());
  EXPECT_EQ(flow.model()->step(), LoginFirstStep::permissions);
  EXPECT_EQ(flow.window()->title(), "Set up Flagrig");
}

TEST_F(LoginFirstFlowWindowTest, CompletingRecordsItClosesTheWindowAndOpensTheDemoAfterThePause) {
  // Flags of the wrong type: neither may crash the route or survive the completion.
  env().defaults->set(LoginFirstFlowWindowController::onboardingCompleteKey,
                      platform::Value("later"));
  env().defaults->set(AppDelegate::tagDemoCompleteKey,
                      platform::Value(platform::Value::Dictionary{{"done", platform::Value(1)}}));
  auto& flow = open(LoginFirstStep::consentConfirm);
  auto window = flow.window();
  log->calls.clear();
  auto view = flow.view();
  view->routePostAuth();
  view->routePostAuth();  // consent's Continue pressed twice
  runUntilIdle();
  EXPECT_FALSE(window->isVisible());
  EXPECT_FALSE(flow.window());
  EXPECT_EQ(env().defaults->object(LoginFirstFlowWindowController::onboardingCompleteKey),
            platform::Value(true));
  advance(0.44);
  EXPECT_EQ(log->count("tagDemo.present"), 0);
  advance(0.02);
  EXPECT_EQ(calls(), std::vector<std::string>{"tagDemo.present"});
  advance(5);
  EXPECT_EQ(calls(), std::vector<std::string>{"tagDemo.present"}) << "completed twice";
}

TEST_F(LoginFirstFlowWindowTest, AWindowClosedInTheMiddleOfASignInStaysClosed) {
  auto& flow = open(LoginFirstStep::signIn);
  auto window = flow.window();
  ASSERT_TRUE(flow.host()->tap("Sign in with Apple"));
  runUntilIdle();
  ASSERT_EQ(sim().appleID->requests().size(), 1u);
  EXPECT_EQ(sim().appleID->requests().front().anchor, window) << "anchored to the flow window";
  window->performClose();
  runUntilIdle();
  // The sheet fails after all; the browser road finds no account service attached.
  ASSERT_TRUE(sim().appleID->fail(platform::AuthorizationError::Code::failed, "gone"));
  runUntilIdle();
  advance(5);
  EXPECT_FALSE(flow.window());
  for (const auto& w : app().windows()) EXPECT_FALSE(w->isVisible()) << w->title();
  EXPECT_FALSE(env().defaults->object(LoginFirstFlowWindowController::onboardingCompleteKey));
  EXPECT_EQ(log->count("tagDemo.present"), 0);
}

TEST_F(LoginFirstFlowWindowTest, ANewStepRetitlesAndResizesTheWindowForItsScreen) {
  auto& flow = open(LoginFirstStep::signIn);
  auto window = flow.window();
  window->setFrame(Rect(0, 0, 700, 800));
  flow.model()->setStep(LoginFirstStep::consentConfirm);
  runUntilIdle();
  EXPECT_EQ(window->title(), "Finish creating your account");
  EXPECT_EQ(window->contentRect().size, (Size{520, 640}));
  const Rect visible = Screen::main()->visibleFrame();
  EXPECT_NEAR(window->frame().midX(), visible.midX(), 0.5);
}

TEST_F(LoginFirstFlowWindowTest, TheReviewRunShowsTheFlowAndEndsWhenItCloses) {
  auto fields = env().processInfo->fields();
  fields.arguments = {"/opt/flagrig/bin/flagrig", "--show-onboarding"};
  env().processInfo->setFields(fields);
  struct NoCrashCapture : AppStartup::Services {
    void installCrashCapture() override {}
    void configureErrorTelemetry(const AppStartup::TelemetrySettings&) override {}
    void startErrorTelemetry() override {}
    void startRegionProbe(const platform::URL&) override {}
  } quiet;
  auto review = AppStartup::prepare(quiet);
  app().finishLaunching();
  runUntilIdle();
  auto window = app().keyWindow();
  ASSERT_TRUE(window);
  EXPECT_EQ(window->title(), "Sign in to Flagrig");
  window->performClose();
  runUntilIdle();
  EXPECT_TRUE(desktop().hasTerminated());
}

}  // namespace
}  // namespace flagrig::testing
