#include <gtest/gtest.h>

#include <algorithm>

#include "Flagrig/Shell/ActivationPolicyController.h"
#include "Flagrig/Shell/AppDelegate.h"
#include "Flagrig/Shell/Constants.h"
#include "Flagrig/Tagging/HexAccessoryView.h"
#include "Flagrig/Tagging/TagManager.h"
#include "Flagrig/Tagging/WindowPicker.h"
#include "Platform/Desktop/ColorPanel.h"
#include "Platform/Desktop/Image.h"
#include "Platform/Desktop/StatusBar.h"
#include "Platform/Desktop/StatusItem.h"
#include "ShellTest.h"

namespace flagrig {
namespace {

using namespace platform;

class AppDelegateTest : public testing::ShellTest {
 protected:
  bool logged(std::string_view line) {
    auto lines = logLines();
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }
  int statusMenuOpenings() {
    int n = 0;
    for (const auto& op : ax().operations()) n += op.ends_with("AXPress");
    return n;
  }
};

TEST_F(AppDelegateTest, LaunchSequenceSetsUpAMenuBarApp) {
  app().setActivationPolicy(ActivationPolicy::regular);
  auto delegate = launch();

  EXPECT_TRUE(logged("info lifecycle: App launched (v" + Constants::appVersion() + ")"));
  EXPECT_TRUE(env().defaults->boolForKey("NSDisabledDictationMenuItem"));
  EXPECT_TRUE(env().defaults->boolForKey("NSDisabledCharacterPaletteMenuItem"));
  EXPECT_EQ(app().activationPolicy(), ActivationPolicy::accessory);

  EXPECT_EQ(ColorPanel::pickerMask(), ColorPanelMask::wheel);
  auto& panel = ColorPanel::shared();
  EXPECT_FALSE(panel.showsAlpha());
  EXPECT_TRUE(std::dynamic_pointer_cast<HexAccessoryView>(panel.accessoryView()));

  // The sign-in service follows the account before the updater starts; the route comes last.
  ASSERT_GE(calls().size(), 2u);
  EXPECT_EQ(calls()[0], "account.attach");
  EXPECT_EQ(calls()[1], "updater.create");

  ASSERT_EQ(StatusBar::system().items().size(), 1u);
  auto item = delegate->statusItem();
  EXPECT_EQ(item, StatusBar::system().items()[0]);
  EXPECT_EQ(item->length(), StatusItem::variableLength);
  auto image = item->button()->image();
  ASSERT_TRUE(image);
  EXPECT_EQ(image->accessibilityDescription(), "Flagrig");
  if (image->kind() == Image::Kind::symbol) {
    EXPECT_EQ(image->name(), "tag.fill");
  } else {
    EXPECT_EQ(image->size(), Size(18, 18));
    EXPECT_FALSE(image->isTemplate());
  }
  ASSERT_TRUE(item->menu());
  EXPECT_EQ(item->menu()->delegate(), delegate);
  EXPECT_FALSE(app().delegate()->applicationShouldTerminateAfterLastWindowClosed(app()));

  EXPECT_EQ(trackedEvents(), (std::vector<std::string>{"app_first_opened", "app_relaunched"}));
  EXPECT_NE(bodies[1].find(R"("version":")" + Constants::appVersion() + "\""), std::string::npos);
}

TEST_F(AppDelegateTest, LaunchRouteWithoutAccessibilityOpensThePermissionsStep) {
  launch();
  EXPECT_EQ(calls().back(), "flow.present(permissions)");
  EXPECT_TRUE(logged("info lifecycle: Launch route requires permissions setup"));
}

TEST_F(AppDelegateTest, LaunchRouteRunsOneTurnAfterTheSequence) {
  auto delegate = std::make_shared<AppDelegate>();
  app().setDelegate(delegate);
  app().finishLaunching();
  EXPECT_EQ(log->count("flow.present(permissions)"), 0);
  runUntilIdle();
  EXPECT_EQ(log->count("flow.present(permissions)"), 1);
}

TEST_F(AppDelegateTest, LaunchRouteAfterTheDemoWasFinishedShowsNothing) {
  ax().setTrusted(true);
  env().defaults->set(AppDelegate::tagDemoCompleteKey, Value(true));
  launch();
  EXPECT_EQ(log->count("tagDemo.present"), 0);
  EXPECT_EQ(log->count("flow.present(permissions)"), 0);
}

// Whatever the route, the hotkey works as soon as launching is over, before any menu opened.
struct LaunchRoute {
  const char* name;
  bool trusted;
  bool demoComplete;
};

class LaunchRouteHotkeyTest : public AppDelegateTest,
                              public ::testing::WithParamInterface<LaunchRoute> {};

TEST_P(LaunchRouteHotkeyTest, EndsWithTheHotkeyRegistered) {
  ax().setTrusted(GetParam().trusted);
  env().defaults->set(AppDelegate::tagDemoCompleteKey, Value(GetParam().demoComplete));
  launch();
  ASSERT_EQ(desktop().hotKeys().registrations().size(), 1u);
  desktop().pressKey(TagManager::defaultHotkeyCode, TagManager::defaultHotkeyModifiers);
  EXPECT_FALSE(WindowPicker::shared().overlays().empty()) << "no pick started";
}

INSTANTIATE_TEST_SUITE_P(Routes, LaunchRouteHotkeyTest,
                         ::testing::Values(LaunchRoute{"PermissionsStep", false, false},
                                           LaunchRoute{"TagDemo", true, false},
                                           LaunchRoute{"NothingToShow", true, true}),
                         [](const auto& route) { return std::string(route.param.name); });

TEST_F(AppDelegateTest, LaunchRouteWithATagSkipsTheDemo) {
  ax().setTrusted(true);
  TagManager::shared().createTag(openWindow(Rect(100, 100, 400, 300)));
  launch();
  EXPECT_EQ(log->count("tagDemo.present"), 0);
}

TEST_F(AppDelegateTest, TheDemoOpensOnAFreshTrustedLaunchAndTheStatusMenuAfterIt) {
  ax().setTrusted(true);
  auto delegate = launch();
  ASSERT_EQ(log->count("tagDemo.present"), 1);
  EXPECT_FALSE(desktop().hotKeys().registrations().empty()) << "the tag check creates the manager";

  tagDemo->onFinished();
  advance(0.44);
  EXPECT_EQ(statusMenuOpenings(), 0);
  advance(0.02);
  EXPECT_EQ(statusMenuOpenings(), 1);
  EXPECT_EQ(desktop().openMenu(), delegate->statusItem()->menu());
  desktop().closeMenus();

  // The demo's "Tag a Window" starts a pick; a callback after the delegate is gone does nothing.
  tagDemo->onTagAWindow();
  app().setDelegate(nullptr);
  delegate.reset();
  tagDemo->onFinished();
  advance(1);
  EXPECT_EQ(statusMenuOpenings(), 1);
}

TEST_F(AppDelegateTest, AfterTheFlowTheDemoOrTheStatusMenuFollows) {
  ax().setTrusted(true);
  env().defaults->set(AppDelegate::tagDemoCompleteKey, Value(true));
  auto delegate = launch();
  delegate->loginFirstFlowDidComplete();
  advance(0.46);
  EXPECT_EQ(statusMenuOpenings(), 1);
  desktop().closeMenus();

  env().defaults->set(AppDelegate::tagDemoCompleteKey, Value(false));
  delegate->loginFirstFlowDidComplete();
  advance(0.46);
  EXPECT_EQ(log->count("tagDemo.present"), 1);

  ax().setTrusted(false);
  delegate->loginFirstFlowDidComplete();
  advance(0.46);
  EXPECT_EQ(log->count("tagDemo.present"), 1);
  EXPECT_EQ(calls().back(), "flow.present(permissions)");
  EXPECT_TRUE(logged("info lifecycle: Status menu request redirected to permissions setup"));
}

TEST_F(AppDelegateTest, StatusMenuFallsBackToSettingsWhenAccessibilityCannotOpenIt) {
  ax().setTrusted(true);
  env().defaults->set(AppDelegate::tagDemoCompleteKey, Value(true));
  auto delegate = launch();

  // The menu bar hides the item: the extras bar has no children.
  desktop().setStatusItemsHiddenByMenuBar(true);
  delegate->openStatusMenuAfterOnboarding();
  EXPECT_TRUE(logged(
      "warn lifecycle: Flagrig menu bar extra had no actionable item; opening Settings fallback"));
  EXPECT_EQ(log->count("settings.showWindow"), 1);

  // No status item at all: no extras bar.
  StatusBar::system().removeStatusItem(delegate->statusItem());
  delegate->openStatusMenuAfterOnboarding();
  EXPECT_TRUE(
      logged("warn lifecycle: Could not locate Flagrig menu bar extra; opening Settings fallback"));
  EXPECT_EQ(log->count("settings.showWindow"), 2);
  runUntilIdle();
  EXPECT_EQ(app().activationPolicy(), ActivationPolicy::regular);
}

TEST_F(AppDelegateTest, ReopenRoutes) {
  auto delegate = launch();  // untrusted: the flow opens
  ASSERT_TRUE(delegate->loginFirstWindow());
  desktop().reopenApplication();
  EXPECT_EQ(log->count("flow.present(permissions)"), 1) << "the visible window is brought forward";
  EXPECT_TRUE(delegate->loginFirstWindow()->isKeyWindow());
  runUntilIdle();
  EXPECT_EQ(app().activationPolicy(), ActivationPolicy::regular);

  delegate->loginFirstWindow()->close();
  desktop().reopenApplication();
  EXPECT_EQ(log->count("flow.present(permissions)"), 2);
  EXPECT_TRUE(logged("info lifecycle: Reopen route requires permissions setup"));

  delegate->loginFirstWindow()->close();
  ax().setTrusted(true);
  desktop().reopenApplication();
  EXPECT_EQ(statusMenuOpenings(), 1);
  EXPECT_FALSE(delegate->applicationShouldHandleReopen(app(), false));
}

}  // namespace
}  // namespace flagrig
