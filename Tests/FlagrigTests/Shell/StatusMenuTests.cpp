#include <gtest/gtest.h>

#include "Flagrig/Shell/AppDelegate.h"
#include "Flagrig/Shell/Constants.h"
#include "Flagrig/Shell/ServiceAddresses.h"
#include "Flagrig/Tagging/TagManager.h"
#include "Flagrig/Tagging/TagPanel.h"
#include "Flagrig/Tagging/WindowPicker.h"
#include "Platform/Desktop/Menu.h"
#include "Platform/Desktop/MenuItem.h"
#include "Platform/Desktop/StatusItem.h"
#include "ShellTest.h"

namespace flagrig {
namespace {

using namespace platform;

class StatusMenuTest : public testing::ShellTest {
 protected:
  // The menu as it opens: "title [key] (disabled)", "---" for separators.
  std::vector<std::string> openMenu() {
    auto& menu = *delegate->statusItem()->menu();
    desktop().clickStatusItem();
    std::vector<std::string> rows;
    for (const auto& item : menu.items()) {
      if (item->isSeparatorItem()) {
        rows.push_back("---");
        continue;
      }
      std::string row = item->title();
      if (!item->keyEquivalent().empty()) row += " [" + item->keyEquivalent() + "]";
      if (!item->isEnabled()) row += " (disabled)";
      rows.push_back(row);
    }
    return rows;
  }
  std::shared_ptr<MenuItem> item(std::string_view title) {
    return delegate->statusItem()->menu()->itemWithTitle(title);
  }
  void SetUp() override {
    ShellTest::SetUp();
    ax().setTrusted(true);
    env().defaults->set(AppDelegate::tagDemoCompleteKey, Value(true));
    delegate = launch();
  }
  std::shared_ptr<AppDelegate> delegate;
};

TEST_F(StatusMenuTest, WithoutTags) {
  std::string version = "Flagrig " + Constants::appVersion() + " (disabled)";
  EXPECT_EQ(openMenu(),
            (std::vector<std::string>{
                "Tag a Window [t]", "---", "Settings\u2026 [,]", "Documentation", "Report an Issue",
                "Privacy Policy", "Terms of Service", "Leave a Tip\u2026", "Send Feedback\u2026",
                "Check for Updates\u2026", version, "Quit Flagrig [q]"}));
}

TEST_F(StatusMenuTest, ListsEachTagUnderItsLabelOrItsOwnersName) {
  auto safari = openWindow(Rect(100, 100, 600, 400), "Safari");
  auto notes = openWindow(Rect(300, 300, 600, 400), "Notes");
  auto& manager = TagManager::shared();
  manager.createTag(safari);
  manager.createTag(notes);
  auto label = manager.tags()[1].panel->textField();
  label->setStringValue("Work");
  manager.controlTextDidChange(*label);
  updater->canCheck = false;

  std::string version = "Flagrig " + Constants::appVersion() + " (disabled)";
  EXPECT_EQ(openMenu(),
            (std::vector<std::string>{
                "Tag a Window [t]", "---", "Safari", "Work", "---", "Remove All Tags", "---",
                "Settings\u2026 [,]", "Documentation", "Report an Issue", "Privacy Policy",
                "Terms of Service", "Leave a Tip\u2026", "Send Feedback\u2026",
                "Check for Updates\u2026 (disabled)", version, "Quit Flagrig [q]"}));
  auto entry = item("Safari");
  EXPECT_EQ(entry->representedObject(), Value(static_cast<unsigned>(safari.windowNumber)));
  EXPECT_EQ(entry->toolTip(), "Bring this window to the front");
  ASSERT_TRUE(entry->image());
  EXPECT_EQ(entry->image()->size(), Size(10, 10));
  ASSERT_EQ(entry->image()->operations().size(), 1u);
  EXPECT_EQ(entry->image()->operations()[0].kind, DrawingOperation::Kind::fillOval);
  EXPECT_EQ(entry->image()->operations()[0].rect, Rect(0, 0, 10, 10));
  EXPECT_EQ(entry->image()->operations()[0].color, manager.tags()[0].color);

  // Rebuilt on every opening.
  desktop().closeMenus();
  desktop().clickStatusItem();
  ASSERT_TRUE(desktop().chooseMenuItem("Remove All Tags"));
  EXPECT_TRUE(manager.tags().empty());
  EXPECT_EQ(openMenu().size(), 12u);
}

TEST_F(StatusMenuTest, ItemsOpenTheirAddressesAndScreens) {
  struct Case {
    const char* title;
    std::string address;
  };
  const Case cases[] = {
      {"Documentation", AppDelegate::documentationURL().absoluteString()},
      {"Report an Issue", AppDelegate::reportIssueURL().absoluteString()},
      {"Privacy Policy", Constants::Identity::privacyURL().absoluteString()},
      {"Terms of Service", Constants::Identity::termsURL().absoluteString()},
      {"Leave a Tip\u2026", AppDelegate::tipJarURL().absoluteString()},
      {"Send Feedback\u2026", AppDelegate::feedbackURL().absoluteString()},
  };
  for (const auto& c : cases) {
    desktop().clickStatusItem();
    ASSERT_TRUE(desktop().chooseMenuItem(c.title)) << c.title;
    ASSERT_FALSE(desktop().workspace().openedURLs().empty());
    EXPECT_EQ(desktop().workspace().openedURLs().back().absoluteString(), c.address) << c.title;
  }
  auto website = ServiceAddresses::active().website;
  auto doc = AppDelegate::documentationURL();
  EXPECT_EQ(doc.host(), website.host());
  EXPECT_EQ(doc.path(), "/flagrig");
  EXPECT_EQ(AppDelegate::reportIssueURL().path(), "/contact");
  EXPECT_EQ(AppDelegate::reportIssueURL().query(), "app=flagrig&platform=macos&topic=bug");
  EXPECT_EQ(AppDelegate::feedbackURL().query(), "app=flagrig&platform=macos");

  desktop().clickStatusItem();
  ASSERT_TRUE(desktop().chooseMenuItem("Check for Updates\u2026"));
  desktop().clickStatusItem();
  ASSERT_TRUE(desktop().chooseMenuItem("Settings\u2026"));
  runUntilIdle();
  EXPECT_EQ(testing::CallLog{calls()}.count("updater.checkForUpdates"), 1);
  EXPECT_EQ(testing::CallLog{calls()}.count("settings.showWindow"), 1);
  EXPECT_EQ(app().activationPolicy(), ActivationPolicy::regular);
  // Back to the menu-bar app once the settings window closes.
  settings->window()->close();
  advance(0.3);
  EXPECT_EQ(app().activationPolicy(), ActivationPolicy::accessory);

  desktop().clickStatusItem();
  ASSERT_TRUE(desktop().chooseMenuItem("Quit Flagrig"));
  EXPECT_TRUE(desktop().hasTerminated());
}

TEST_F(StatusMenuTest, TagAWindowStartsAPickWithoutActivatingTheApp) {
  auto mail = openWindow(Rect(200, 200, 600, 400), "Mail");
  desktop().activateForeignApplication(mail.ownerPID);
  desktop().clickStatusItem();
  ASSERT_TRUE(desktop().chooseMenuItem("Tag a Window"));
  EXPECT_FALSE(WindowPicker::shared().overlays().empty());
  EXPECT_FALSE(app().isActive());
  desktop().click(toScreen(Point{400, 400}));
  runUntilIdle();
  ASSERT_EQ(TagManager::shared().tags().size(), 1u);
  EXPECT_EQ(TagManager::shared().tags()[0].windowNumber, mail.windowNumber);
}

// The key equivalents beside the items work while the menu is open; other keys and other
// modifiers choose nothing.
TEST_F(StatusMenuTest, KeyEquivalentsWorkWhileTheMenuIsOpen) {
  constexpr std::uint16_t keyT = 17, keyQ = 12, keyComma = 43;
  desktop().clickStatusItem();
  desktop().pressKey(keyT, ModifierFlag::command | ModifierFlag::shift);
  desktop().pressKey(keyT);
  desktop().pressKey(keyQ, ModifierFlag::option);
  EXPECT_TRUE(desktop().openMenu()) << "a key that is no item's closed the menu";
  EXPECT_TRUE(WindowPicker::shared().overlays().empty());

  desktop().pressKey(keyT, ModifierFlag::command);
  EXPECT_FALSE(desktop().openMenu());
  EXPECT_FALSE(WindowPicker::shared().overlays().empty()) << "command-T started no pick";
  WindowPicker::shared().dismiss();

  desktop().clickStatusItem();
  desktop().pressKey(keyComma, ModifierFlag::command);
  runUntilIdle();
  EXPECT_EQ(testing::CallLog{calls()}.count("settings.showWindow"), 1);

  desktop().clickStatusItem();
  desktop().pressKey(keyQ, ModifierFlag::command);
  EXPECT_TRUE(desktop().hasTerminated());
}

// Choosing a tag raises its window. Each row: trusted, lookup available, the window and the
// owner's other window (in front of it, first in its list, its main window) minimised, and what
// Accessibility is asked to do.
TEST_F(StatusMenuTest, RaisesTheChosenWindow) {
  struct Case {
    const char* name;
    bool trusted;
    bool lookup;
    bool minimized;
    bool otherMinimized;
    std::vector<std::string> operations;
  };
  for (const Case& c : std::initializer_list<Case>{
           {"match, minimised",
            true,
            true,
            true,
            false,
            {"#T AXMinimized=false", "pid P AXFocusedWindow=#T", "#T AXRaise"}},
           {"match on screen",
            true,
            true,
            false,
            false,
            {"pid P AXFocusedWindow=#T", "#T AXRaise"}},
           {"no lookup: restore minimised",
            true,
            false,
            true,
            true,
            {"#O AXMinimized=false", "#O AXRaise", "#T AXMinimized=false", "#T AXRaise"}},
           {"no lookup, none minimised: main window", true, false, false, false, {"#O AXRaise"}},
           {"untrusted: activation only", false, true, true, false, {}},
       }) {
    SCOPED_TRACE(c.name);
    TagManager::shared().removeAll();
    auto target = openWindow(Rect(100, 100, 500, 400), "Preview");
    auto other = server().openWindow(target.ownerPID, Rect(700, 100, 300, 300));
    // The tag exists before the window goes away into the Dock.
    TagManager::shared().createTag(target);
    server().setMinimized(target.windowNumber, c.minimized);
    server().setMinimized(other, c.otherMinimized);
    ax().setTrusted(c.trusted);
    ax().setWindowNumberLookupAvailable(c.lookup);
    auto before = ax().operations().size();

    desktop().clickStatusItem();
    ASSERT_TRUE(desktop().chooseMenuItem("Preview"));

    std::vector<std::string> expected;
    for (std::string op : c.operations) {
      auto replace = [&](std::string_view from, std::string to) {
        if (auto at = op.find(from); at != std::string::npos) op.replace(at, from.size(), to);
      };
      replace("#T", "#" + std::to_string(target.windowNumber));
      replace("#O", "#" + std::to_string(other));
      replace("pid P", "pid " + std::to_string(target.ownerPID));
      expected.push_back(op);
    }
    std::vector<std::string> done(ax().operations().begin() + static_cast<long>(before),
                                  ax().operations().end());
    EXPECT_EQ(done, expected);
    EXPECT_EQ(desktop().frontmostPID(), target.ownerPID) << "its application is activated";
    server().quitApplication(target.ownerPID);
  }
}

TEST_F(StatusMenuTest, ATagThatWentAwayWhileTheMenuWasOpenDoesNothing) {
  auto target = openWindow(Rect(100, 100, 500, 400), "Preview");
  TagManager::shared().createTag(target);
  desktop().clickStatusItem();
  auto entry = item("Preview");
  TagManager::shared().removeAll();
  auto before = ax().operations().size();
  delegate->focusTaggedWindow(*entry);
  EXPECT_EQ(ax().operations().size(), before);
  EXPECT_NE(desktop().frontmostPID(), target.ownerPID);

  // A represented object of another type is ignored as well.
  MenuItem stray("x");
  stray.setRepresentedObject(Value("1"));
  delegate->focusTaggedWindow(stray);
  EXPECT_EQ(ax().operations().size(), before);
}

}  // namespace
}  // namespace flagrig
