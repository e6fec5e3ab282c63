#include <gtest/gtest.h>

#include "../Shell/ShellTest.h"
#include "Flagrig/Tagging/SettingsHotkeyFormat.h"
#include "Flagrig/Tagging/TagDefaultsKeys.h"
#include "Flagrig/Tagging/TagManager.h"
#include "Flagrig/Tagging/TagNotifications.h"
#include "Flagrig/Tagging/WindowPicker.h"
#include "Platform/Desktop/Event.h"
#include "Platform/Foundation/SharedInstance.h"

namespace flagrig {
namespace {

using namespace platform;
using Registration = sim::SimHotKeys::Registration;

constexpr std::uint32_t controlShift = HotKeyModifier::control | HotKeyModifier::shift;

class HotkeyTest : public testing::ShellTest {
 protected:
  sim::SimHotKeys& hotKeys() { return desktop().hotKeys(); }
  // The (key code, modifier bits) pairs registered now.
  std::vector<std::pair<std::uint32_t, std::uint32_t>> registered() {
    std::vector<std::pair<std::uint32_t, std::uint32_t>> result;
    for (const auto& r : hotKeys().registrations()) {
      EXPECT_EQ(r.id, TagManager::hotkeyID);
      result.emplace_back(r.keyCode, r.modifiers);
    }
    return result;
  }
  // A later launch: the manager is made again from what is stored.
  void relaunch() {
    resetSharedInstances();
    SetUpScreens();
    TagManager::shared();
    runUntilIdle();
  }
  void SetUpScreens() { AppScreens::shared().settings = settings; }
  bool stored(std::string_view key) { return defaults().object(key).has_value(); }
};

TEST_F(HotkeyTest, FirstLaunchSeedsAndRegistersTheDefaultQuietly) {
  TagManager::shared();
  runUntilIdle();
  EXPECT_EQ(registered(),
            (std::vector<std::pair<std::uint32_t, std::uint32_t>>{{50, controlShift}}));
  EXPECT_EQ(defaults().object(TagDefaultsKeys::hotkeyCode), Value(50));
  EXPECT_EQ(defaults().object(TagDefaultsKeys::hotkeyMods), Value(0x60000));
  EXPECT_TRUE(defaults().boolForKey(TagDefaultsKeys::hotkeyFirstLaunchSeeded));
  EXPECT_FALSE(defaults().boolForKey(TagDefaultsKeys::hotkeyConflictShown));
  EXPECT_TRUE(desktop().alerts().empty());

  relaunch();
  EXPECT_EQ(registered().size(), 1u) << "the stored hotkey is registered again";
}

TEST_F(HotkeyTest, ATakenDefaultIsReportedOnceAndDismissed) {
  hotKeys().takeCombination(50, controlShift);
  desktop().respondToNextAlert(ModalResponse::secondButton);
  TagManager::shared();
  EXPECT_TRUE(desktop().alerts().empty()) << "the alert is queued, not run inside the creation";
  runUntilIdle();
  ASSERT_EQ(desktop().alerts().size(), 1u);
  const auto& alert = desktop().alerts()[0];
  EXPECT_EQ(alert.style, AlertStyle::warning);
  EXPECT_EQ(alert.message, "Flagrig hotkey conflict");
  EXPECT_EQ(alert.informativeText,
            "Another app or system shortcut is already using \u2303\u21e7`. Open Settings \u2192 "
            "Hotkey to choose a different combination.");
  EXPECT_EQ(alert.buttons, (std::vector<std::string>{"Open Settings", "Dismiss"}));
  EXPECT_TRUE(registered().empty());
  EXPECT_TRUE(log->calls.empty());
  EXPECT_TRUE(defaults().boolForKey(TagDefaultsKeys::hotkeyConflictShown));
  EXPECT_EQ(trackedEvents(), std::vector<std::string>{"hotkey_conflict_alert_shown"});

  relaunch();
  EXPECT_EQ(desktop().alerts().size(), 1u) << "shown again on a later launch";
  EXPECT_TRUE(registered().empty());
}

TEST_F(HotkeyTest, OpenSettingsShowsTheSettingsAndPointsAtTheHotkey) {
  hotKeys().takeCombination(50, controlShift);
  desktop().respondToNextAlert(ModalResponse::firstButton);
  testing::PostCounter focus(flagrigFocusHotkey);
  TagManager::shared();
  runUntilIdle();
  EXPECT_EQ(log->calls, (std::vector<std::string>{"settings.showWindow", "settings.showWindow"}));
  EXPECT_EQ(focus.count(), 1);
}

// A process can end between any two writes (a logout just after the first launch): each one
// that reaches the file must hold a whole hotkey or none, and the seeded mark only with it, or
// a later launch finds a key without its modifiers, or a "cleared" hotkey, and registers none.
TEST_F(HotkeyTest, EveryWriteHoldsAWholeHotkey) {
  struct Snapshots final : DefaultsStore {
    std::vector<Value::Dictionary> saved;
    Value::Dictionary load() override { return {}; }
    bool save(const Value::Dictionary& values) override {
      saved.push_back(values);
      return true;
    }
  };
  auto store = std::make_shared<Snapshots>();
  sim().environment->defaults = std::make_shared<UserDefaults>(store, env().notificationCenter);
  TagManager::shared();
  runUntilIdle();
  TagManager::shared().setHotkey(12, ModifierFlag::command);
  ASSERT_FALSE(store->saved.empty());
  for (const auto& values : store->saved) {
    bool code = values.contains(TagDefaultsKeys::hotkeyCode);
    EXPECT_EQ(code, values.contains(TagDefaultsKeys::hotkeyMods));
    if (values.contains(TagDefaultsKeys::hotkeyFirstLaunchSeeded)) {
      EXPECT_TRUE(code);
    }
  }
  EXPECT_EQ(store->saved.back().at(std::string(TagDefaultsKeys::hotkeyMods)),
            Value(static_cast<long long>(ModifierFlag::command)));
}

TEST_F(HotkeyTest, AClearedHotkeyStaysClearedOnLaterLaunches) {
  TagManager::shared().clearHotkey();
  EXPECT_TRUE(registered().empty());
  EXPECT_FALSE(stored(TagDefaultsKeys::hotkeyCode));
  EXPECT_FALSE(stored(TagDefaultsKeys::hotkeyMods));
  EXPECT_FALSE(TagManager::shared().hotkeyCode());
  relaunch();
  EXPECT_TRUE(registered().empty());
  EXPECT_FALSE(stored(TagDefaultsKeys::hotkeyCode)) << "seeded again";
}

// What is registered for stored values, on a first launch or a later one.
TEST_F(HotkeyTest, StoredValues) {
  struct Case {
    const char* name;
    std::optional<Value> code;
    std::optional<Value> mods;
    bool seeded;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> registered;
  };
  const std::uint64_t command = ModifierFlag::command;
  for (const Case& c : std::initializer_list<Case>{
           {"command-Q as unsigned",
            Value(12),
            Value(command),
            true,
            {{12, HotKeyModifier::command}}},
           {"command-Q as signed",
            Value(12),
            Value(static_cast<long long>(command)),
            true,
            {{12, HotKeyModifier::command}}},
           {"code past 16 bits, first launch: the default",
            Value(65536 + 50),
            Value(command),
            false,
            {{50, controlShift}}},
           {"negative code, seeded before: none", Value(-1), Value(command), true, {}},
           {"code as text: none", Value("12"), Value(command), true, {}},
           {"no modifiers: not grabbed", Value(12), Value(0), true, {}},
           {"caps lock only: not grabbed", Value(12), Value(ModifierFlag::capsLock), true, {}},
           {"modifiers as text read as none", Value(12), Value("x"), true, {}},
           {"modifiers missing read as none", Value(12), std::nullopt, true, {}},
       }) {
    SCOPED_TRACE(c.name);
    resetSharedInstances();
    defaults().removeObject(TagDefaultsKeys::hotkeyCode);
    defaults().removeObject(TagDefaultsKeys::hotkeyMods);
    if (c.code) defaults().set(TagDefaultsKeys::hotkeyCode, *c.code);
    if (c.mods) defaults().set(TagDefaultsKeys::hotkeyMods, *c.mods);
    defaults().set(TagDefaultsKeys::hotkeyFirstLaunchSeeded, Value(c.seeded));
    TagManager::shared();
    EXPECT_EQ(registered(), c.registered);
    if (c.seeded && c.code) {
      EXPECT_EQ(defaults().object(TagDefaultsKeys::hotkeyCode), c.code)
          << "the stored value changed";
    }
  }
}

TEST_F(HotkeyTest, SettingAHotkeyReplacesTheOldRegistration) {
  auto& manager = TagManager::shared();
  manager.setHotkey(0, ModifierFlag::command | ModifierFlag::shift);
  EXPECT_EQ(registered(), (std::vector<std::pair<std::uint32_t, std::uint32_t>>{
                              {0, HotKeyModifier::command | HotKeyModifier::shift}}));
  EXPECT_FALSE(hotKeys().isRegistered(50, controlShift));

  hotKeys().takeCombination(1, HotKeyModifier::command);
  manager.setHotkey(1, ModifierFlag::command);
  EXPECT_TRUE(registered().empty()) << "a taken combination leaves nothing registered";
  EXPECT_FALSE(manager.isHotkeyRegistered());
  EXPECT_EQ(defaults().object(TagDefaultsKeys::hotkeyCode), Value(1));
  EXPECT_TRUE(desktop().alerts().empty()) << "only the seeded default is ever reported";

  // The same combination again: unregistered first, so it is not refused as our own.
  manager.setHotkey(2, ModifierFlag::option);
  manager.setHotkey(2, ModifierFlag::option);
  EXPECT_TRUE(manager.isHotkeyRegistered());
}

TEST_F(HotkeyTest, APressStartsAPickWithoutActivatingTheApp) {
  auto mail = openWindow(Rect(200, 200, 600, 400), "Mail");
  desktop().activateForeignApplication(mail.ownerPID);
  TagManager::shared().setHotkey(50, TagManager::defaultHotkeyModifiers);
  TagManager::shared().setHotkey(50, TagManager::defaultHotkeyModifiers);
  desktop().pressKey(50, ModifierFlag::control | ModifierFlag::shift);
  EXPECT_FALSE(WindowPicker::shared().overlays().empty());
  EXPECT_FALSE(app().isActive());
  EXPECT_TRUE(desktop().keysSentElsewhere().empty()) << "the hotkey reached the other app";

  desktop().click(toScreen(Point{400, 400}));
  runUntilIdle();
  ASSERT_EQ(TagManager::shared().tags().size(), 1u);
  EXPECT_EQ(trackedEvents(), std::vector<std::string>{"tag_created"});

  // Picking the same window again makes no second tag, and reports none.
  advance(60);
  desktop().pressKey(50, ModifierFlag::control | ModifierFlag::shift);
  desktop().click(toScreen(Point{400, 400}));
  runUntilIdle();
  EXPECT_EQ(TagManager::shared().tags().size(), 1u);
  EXPECT_EQ(trackedEvents(), std::vector<std::string>{"tag_created"});
}

TEST(SettingsHotkeyFormatTest, Describes) {
  struct Case {
    std::uint16_t code;
    std::uint64_t mods;
    const char* text;
  };
  using namespace platform::ModifierFlag;
  for (const Case& c : std::initializer_list<Case>{
           {50, control | shift, "\u2303\u21e7`"},
           {0, command | shift, "\u21e7\u2318A"},
           {53, option, "\u2325Key53"},
           {49, control | option | shift | command | capsLock, "\u2303\u2325\u21e7\u2318Space"},
           {122, 0, "F1"},
           {36, command, "\u2318\u21a9"},
           {42, 0, "\\"},
           {10, 0, "Key10"},
           {65535, 0, "Key65535"},
       }) {
    EXPECT_EQ(SettingsHotkeyFormat::describe(c.code, c.mods), c.text) << c.code;
  }
}

}  // namespace
}  // namespace flagrig
