#include "Platform/HotKeys/HotKeyCenter.h"

#include <gtest/gtest.h>

#include "Platform/Desktop/Application.h"
#include "Support/SimTest.h"

namespace platform {
namespace {

constexpr std::uint16_t backquote = 50;
constexpr std::uint32_t controlShift = HotKeyModifier::control | HotKeyModifier::shift;
const EventHotKeyID flagrigID{fourCharCode("FLGR"), 1};

class HotKeyTest : public testing::SimTest {
 protected:
  sim::SimHotKeys& registry() { return sim().desktop->hotKeys(); }
  HotKeyCenter& center() { return HotKeyCenter::shared(); }
  std::vector<EventHotKeyID> pressed;
  void installRecorder() {
    ASSERT_EQ(center().installEventHandler(
                  center().applicationEventTarget(),
                  {{HotKeyEventKind::keyboardClass, HotKeyEventKind::hotKeyPressed}},
                  [this](const HotKeyEvent& e) {
                    pressed.push_back(e.hotKeyID);
                    return HotKeyStatus::noErr;
                  }),
              HotKeyStatus::noErr);
  }
  void pressControlShiftBackquote() {
    sim().desktop->pressKey(backquote, ModifierFlag::control | ModifierFlag::shift);
  }
};

TEST_F(HotKeyTest, ARegisteredCombinationRunsTheHandlerInsteadOfReachingTheApplication) {
  installRecorder();
  Application::shared().activate();
  int localKeys = 0;
  Application::shared().addLocalMonitor(eventMaskFor(EventType::keyDown),
                                        [&](const Event& e) -> std::optional<Event> {
                                          ++localKeys;
                                          return e;
                                        });
  EventHotKeyRef ref;
  ASSERT_EQ(center().registerEventHotKey(backquote, controlShift, flagrigID,
                                         center().applicationEventTarget(), 0, ref),
            HotKeyStatus::noErr);
  EXPECT_TRUE(ref);
  EXPECT_TRUE(registry().isRegistered(backquote, controlShift));

  pressControlShiftBackquote();
  EXPECT_EQ(pressed, (std::vector<EventHotKeyID>{flagrigID}));
  EXPECT_EQ(localKeys, 0);
  // Other modifiers make another combination.
  sim().desktop->pressKey(backquote, ModifierFlag::control);
  EXPECT_EQ(localKeys, 1);

  EXPECT_EQ(center().unregisterEventHotKey(ref), HotKeyStatus::noErr);
  EXPECT_EQ(center().unregisterEventHotKey(ref), HotKeyStatus::eventHotKeyInvalidErr);
  pressControlShiftBackquote();
  EXPECT_EQ(pressed.size(), 1u);
  EXPECT_EQ(localKeys, 2);
}

TEST_F(HotKeyTest, ATakenCombinationCannotBeRegisteredAndReachesItsOwner) {
  installRecorder();
  registry().takeCombination(backquote, controlShift, "Terminal");
  EventHotKeyRef ref{99};
  EXPECT_EQ(center().registerEventHotKey(backquote, controlShift, flagrigID,
                                         center().applicationEventTarget(), 0, ref),
            HotKeyStatus::eventHotKeyExistsErr);
  EXPECT_FALSE(ref);
  pressControlShiftBackquote();
  EXPECT_TRUE(pressed.empty());
  EXPECT_EQ(registry().pressesForOthers(), (std::vector<std::string>{"Terminal"}));

  // Registering the same free combination twice fails the second time; another target fails.
  EventHotKeyRef first, second;
  EXPECT_EQ(center().registerEventHotKey(0, HotKeyModifier::command, flagrigID,
                                         center().applicationEventTarget(), 0, first),
            HotKeyStatus::noErr);
  EXPECT_EQ(center().registerEventHotKey(0, HotKeyModifier::command, flagrigID,
                                         center().applicationEventTarget(), 0, second),
            HotKeyStatus::eventHotKeyExistsErr);
  EXPECT_EQ(center().registerEventHotKey(1, 0, flagrigID, EventTarget{7}, 0, second),
            HotKeyStatus::paramErr);
  EXPECT_EQ(registry().registrations().size(), 1u);
}

TEST_F(HotKeyTest, HandlersRunNewestFirstUntilOneHandlesTheEvent) {
  std::vector<std::string> calls;
  auto target = center().applicationEventTarget();
  EventTypeSpec pressedType{HotKeyEventKind::keyboardClass, HotKeyEventKind::hotKeyPressed};
  center().installEventHandler(target, {pressedType}, [&](const HotKeyEvent&) {
    calls.push_back("old");
    return HotKeyStatus::noErr;
  });
  center().installEventHandler(target, {pressedType}, [&](const HotKeyEvent&) {
    calls.push_back("new");
    return HotKeyStatus::eventNotHandledErr;
  });
  center().installEventHandler(target,
                               {{HotKeyEventKind::keyboardClass, HotKeyEventKind::hotKeyReleased}},
                               [&](const HotKeyEvent&) {
                                 calls.push_back("released only");
                                 return HotKeyStatus::noErr;
                               });
  EXPECT_EQ(center().installEventHandler(target, {},
                                         [](const HotKeyEvent&) { return HotKeyStatus::noErr; }),
            HotKeyStatus::paramErr);
  EventHotKeyRef ref;
  center().registerEventHotKey(backquote, controlShift, flagrigID, target, 0, ref);
  pressControlShiftBackquote();
  EXPECT_EQ(calls, (std::vector<std::string>{"new", "old"}));
}

}  // namespace
}  // namespace platform
