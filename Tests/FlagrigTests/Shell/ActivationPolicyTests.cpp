#include <gtest/gtest.h>

#include "Flagrig/Shell/ActivationPolicyController.h"
#include "Flagrig/Shell/WindowActivation.h"
#include "Platform/Desktop/Panel.h"
#include "ShellTest.h"

namespace flagrig {
namespace {

using namespace platform;

class ActivationPolicyTest : public testing::ShellTest {
 protected:
  void SetUp() override {
    ShellTest::SetUp();
    app().setActivationPolicy(ActivationPolicy::accessory);
    baseline = desktop().activationPolicyChanges().size();
  }
  ActivationPolicy policy() { return app().activationPolicy(); }
  // Switches to the accessory policy since the set-up.
  int demotions() {
    int n = 0;
    const auto& changes = desktop().activationPolicyChanges();
    for (std::size_t i = baseline; i < changes.size(); ++i)
      n += changes[i] == ActivationPolicy::accessory;
    return n;
  }
  std::size_t baseline = 0;
  // Opens a window through the controller, as the app's screens do.
  std::shared_ptr<Window> open(ActivationPolicyController& controller) {
    auto window = testing::makeScreenWindow();
    controller.promoteForWindow();
    window->makeKeyAndOrderFront();
    controller.observeClose(window);
    runUntilIdle();
    return window;
  }
  std::shared_ptr<ActivationPolicyController> controller =
      std::make_shared<ActivationPolicyController>();
};

TEST_F(ActivationPolicyTest, PromotesAtOnceAndDemotesAFifthOfASecondAfterTheLastWindowCloses) {
  auto window = open(*controller);
  EXPECT_EQ(policy(), ActivationPolicy::regular);
  EXPECT_TRUE(app().isActive());

  window->close();
  runUntilIdle();
  advance(0.19);
  EXPECT_EQ(policy(), ActivationPolicy::regular);
  advance(0.02);
  EXPECT_EQ(policy(), ActivationPolicy::accessory);
}

TEST_F(ActivationPolicyTest, StaysRegularWhileAnotherOrdinaryWindowIsOpenButNotForPanels) {
  auto settings = open(*controller);
  auto flow = open(*controller);
  settings->close();
  advance(1);
  EXPECT_EQ(policy(), ActivationPolicy::regular);

  // A tag panel on screen is not a window of the user's.
  auto panel = std::make_shared<Panel>(Rect(0, 0, 100, 20), StyleMask::nonactivatingPanel);
  panel->orderFrontRegardless();
  flow->close();
  advance(1);
  EXPECT_EQ(policy(), ActivationPolicy::accessory);
}

TEST_F(ActivationPolicyTest, AWindowOpenedWithinTheDelayCancelsThePendingDemotion) {
  auto first = open(*controller);
  first->close();
  advance(0.1);
  EXPECT_TRUE(controller->hasPendingDemotion());
  auto second = open(*controller);
  EXPECT_FALSE(controller->hasPendingDemotion());
  advance(1);
  EXPECT_EQ(demotions(), 0) << "the Dock icon flickered";
  EXPECT_EQ(policy(), ActivationPolicy::regular);
}

TEST_F(ActivationPolicyTest, WatchesAWindowOnceAndAgainAfterItWasShownAgain) {
  auto window = open(*controller);
  controller->observeClose(window);
  EXPECT_EQ(controller->observedWindowCount(), 1u);

  window->close();
  advance(1);
  EXPECT_EQ(controller->observedWindowCount(), 0u) << "a closed window's observer stays";
  EXPECT_EQ(demotions(), 1);

  // The same window reused: one observer, one demotion per closing.
  controller->promoteForWindow();
  window->makeKeyAndOrderFront();
  controller->observeClose(window);
  controller->observeClose(window);
  runUntilIdle();
  window->close();
  advance(1);
  EXPECT_EQ(demotions(), 2);
  EXPECT_EQ(policy(), ActivationPolicy::accessory);
}

TEST_F(ActivationPolicyTest, ANewerDemotionRequestReplacesThePendingOne) {
  app().setActivationPolicy(ActivationPolicy::regular);
  controller->demoteWhenIdle(ActivationPolicyController::DemotionCheck::afterDelay);
  advance(0.15);
  controller->demoteWhenIdle(ActivationPolicyController::DemotionCheck::afterDelay);
  advance(0.1);
  EXPECT_EQ(demotions(), 0) << "the first request was not replaced";
  advance(0.1);
  EXPECT_EQ(demotions(), 1);

  app().setActivationPolicy(ActivationPolicy::regular);
  controller->demoteWhenIdle(ActivationPolicyController::DemotionCheck::nextTurn);
  runUntilIdle();
  EXPECT_EQ(demotions(), 2);
}

TEST_F(ActivationPolicyTest, BringToFrontObservesAWindowOnceAndRestoresOnTheNextTurnAfterClose) {
  auto window = testing::makeScreenWindow();
  WindowActivation::bringToFront(window);
  WindowActivation::bringToFront(window);
  EXPECT_EQ(policy(), ActivationPolicy::regular);
  EXPECT_TRUE(window->isKeyWindow());
  EXPECT_TRUE(WindowActivation::isObserved(*window));

  window->close();
  runUntilIdle();
  EXPECT_EQ(policy(), ActivationPolicy::accessory);
  EXPECT_EQ(demotions(), 1) << "two observers demoted twice";
}

TEST_F(ActivationPolicyTest, RestoreAccessoryIfIdleKeepsAVisibleOrdinaryWindow) {
  auto window = testing::makeScreenWindow();
  WindowActivation::bringToFront(window);
  auto other = testing::makeScreenWindow();
  WindowActivation::bringToFront(other);
  other->close();
  runUntilIdle();
  EXPECT_EQ(policy(), ActivationPolicy::regular);
  window->close();
  runUntilIdle();
  EXPECT_EQ(policy(), ActivationPolicy::accessory);
}

// Both roads back to the accessory policy apply one rule: the status item's own windows are not
// windows of the user's.
TEST_F(ActivationPolicyTest, TheStatusItemsWindowsKeepNeitherRoadRegular) {
  auto statusWindow = testing::makeScreenWindow();
  statusWindow->setLevel(WindowLevel::status);
  statusWindow->orderFrontRegardless();

  auto window = testing::makeScreenWindow();
  WindowActivation::bringToFront(window);
  window->close();
  runUntilIdle();
  EXPECT_EQ(policy(), ActivationPolicy::accessory);

  auto other = open(*controller);
  other->close();
  advance(1);
  EXPECT_EQ(policy(), ActivationPolicy::accessory);
}

}  // namespace
}  // namespace flagrig
