#include <xcb/xcb.h>

#include <cstdlib>

#include "Platform/Foundation/Clock.h"
#include "Platform/Foundation/Environment.h"
#include "Platform/Foundation/RunLoop.h"
#include "Platform/Linux/X11/X11HotKeyCenter.h"
#include "X11DesktopTest.h"

namespace platform::testing {
namespace {

using linuxbackend::X11HotKeyCenter;

constexpr std::uint32_t backquote = 50;
constexpr std::uint32_t controlShift = HotKeyModifier::control | HotKeyModifier::shift;

class X11HotKeyTest : public X11DesktopTest {
 protected:
  void SetUp() override {
    X11DesktopTest::SetUp();
    if (IsSkipped()) return;
    hotKeys_ = std::make_unique<X11HotKeyCenter>(connection_);
    hotKeys_->installEventHandler(
        hotKeys_->applicationEventTarget(),
        {{HotKeyEventKind::keyboardClass, HotKeyEventKind::hotKeyPressed}},
        [this](const HotKeyEvent& e) {
          pressed_.push_back(e.hotKeyID.id);
          return HotKeyStatus::noErr;
        });
  }
  void TearDown() override {
    hotKeys_.reset();
    // Put the lock keys back the way the next test expects them.
    for (auto key : lockedKeys_) xdotool({"key", key});
    X11DesktopTest::TearDown();
  }
  // Presses keys and waits until the handler saw `count` presses in all.
  bool pressAndWait(std::vector<std::string> keys, std::size_t count) {
    keys.insert(keys.begin(), "key");
    if (!xdotool(keys)) return false;
    return waitUntil([&] { return pressed_.size() >= count; }, 10);
  }
  // A grab by another client, as another application holds a shortcut.
  bool grabElsewhere(linuxbackend::X11Connection& other, std::uint32_t keysym, std::uint16_t mods) {
    auto* c = other.raw();
    auto* mapping = xcb_get_keyboard_mapping_reply(
        c,
        xcb_get_keyboard_mapping(c, xcb_get_setup(c)->min_keycode,
                                 xcb_get_setup(c)->max_keycode - xcb_get_setup(c)->min_keycode + 1),
        nullptr);
    xcb_keycode_t keycode = 0;
    auto* syms = xcb_get_keyboard_mapping_keysyms(mapping);
    int per = mapping->keysyms_per_keycode;
    for (int i = 0; i < xcb_get_keyboard_mapping_keysyms_length(mapping); ++i) {
      if (syms[i] == keysym) {
        keycode = static_cast<xcb_keycode_t>(xcb_get_setup(c)->min_keycode + i / per);
        break;
      }
    }
    std::free(mapping);
    auto* error =
        xcb_request_check(c, xcb_grab_key_checked(c, 1, other.root(), mods, keycode,
                                                  XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
    bool ok = error == nullptr;
    std::free(error);
    return ok;
  }

  std::unique_ptr<X11HotKeyCenter> hotKeys_;
  std::vector<std::uint32_t> pressed_;
  std::vector<std::string> lockedKeys_;
};

TEST_F(X11HotKeyTest, DeliversTheGrabbedCombinationWithOrWithoutLockKeys) {
  EventHotKeyRef ref;
  ASSERT_EQ(hotKeys_->registerEventHotKey(backquote, controlShift, {0x464c4752, 1},
                                          hotKeys_->applicationEventTarget(), 0, ref),
            HotKeyStatus::noErr);
  EXPECT_TRUE(ref);
  EXPECT_TRUE(pressAndWait({"ctrl+shift+grave"}, 1));

  // Caps Lock and Num Lock on: still the same hot key.
  ASSERT_TRUE(xdotool({"key", "Caps_Lock"}));
  lockedKeys_.push_back("Caps_Lock");
  EXPECT_TRUE(pressAndWait({"ctrl+shift+grave"}, 2));
  ASSERT_TRUE(xdotool({"key", "Num_Lock"}));
  lockedKeys_.push_back("Num_Lock");
  EXPECT_TRUE(pressAndWait({"ctrl+shift+grave"}, 3));

  // Other modifiers are another combination; registering ours twice is refused.
  EXPECT_TRUE(xdotool({"key", "ctrl+grave"}));
  EventHotKeyRef twice;
  EXPECT_EQ(hotKeys_->registerEventHotKey(backquote, controlShift, {0x464c4752, 2},
                                          hotKeys_->applicationEventTarget(), 0, twice),
            HotKeyStatus::eventHotKeyExistsErr);
  EXPECT_FALSE(twice);

  // Unregistered: no more presses; the reference is then unknown.
  EXPECT_EQ(hotKeys_->unregisterEventHotKey(ref), HotKeyStatus::noErr);
  EXPECT_EQ(hotKeys_->unregisterEventHotKey(ref), HotKeyStatus::eventHotKeyInvalidErr);
  EXPECT_TRUE(pressAndWait({"ctrl+shift+grave", "ctrl+shift+a"}, 3));
  EventHotKeyRef a;
  ASSERT_EQ(hotKeys_->registerEventHotKey(0, controlShift, {0x464c4752, 7},
                                          hotKeys_->applicationEventTarget(), 0, a),
            HotKeyStatus::noErr);
  EXPECT_TRUE(pressAndWait({"ctrl+shift+grave", "ctrl+shift+a"}, 4));
  EXPECT_EQ(pressed_, (std::vector<std::uint32_t>{1, 1, 1, 7}));
}

TEST_F(X11HotKeyTest, ACombinationAnotherClientHoldsIsTakenAndNothingStaysGrabbed) {
  auto other = linuxbackend::X11Connection::open(desktop().display());
  ASSERT_TRUE(other);
  // The other client holds only one lock variant: the variants we grabbed before it must go.
  std::uint16_t mods = XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_LOCK;
  ASSERT_TRUE(grabElsewhere(*other, '`', mods));
  EventHotKeyRef ref;
  EXPECT_EQ(hotKeys_->registerEventHotKey(backquote, controlShift, {1, 1},
                                          hotKeys_->applicationEventTarget(), 0, ref),
            HotKeyStatus::eventHotKeyExistsErr);
  EXPECT_FALSE(ref);
  auto third = linuxbackend::X11Connection::open(desktop().display());
  ASSERT_TRUE(third);
  EXPECT_TRUE(grabElsewhere(*third, '`', XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_SHIFT));

  // A key without a symbol on the platform, and another target.
  EXPECT_EQ(
      hotKeys_->registerEventHotKey(52, 0, {1, 1}, hotKeys_->applicationEventTarget(), 0, ref),
      HotKeyStatus::eventHotKeyInvalidErr);
  EXPECT_EQ(hotKeys_->registerEventHotKey(0, 0, {1, 1}, EventTarget{9}, 0, ref),
            HotKeyStatus::paramErr);
}

TEST_F(X11HotKeyTest, GrabsAgainWhenTheKeyboardMappingChanges) {
  EventHotKeyRef ref;
  ASSERT_EQ(hotKeys_->registerEventHotKey(backquote, controlShift, {1, 3},
                                          hotKeys_->applicationEventTarget(), 0, ref),
            HotKeyStatus::noErr);
  // The backquote moves to a spare key code.
  ASSERT_EQ(desktop().run({"xmodmap", "-e", "keycode 49 = NoSymbol", "-e", "keycode 200 = grave"}),
            0);
  // The mapping change reaches us as an event; take it before pressing.
  connection().sync();
  connection().dispatchPendingEvents();
  EXPECT_TRUE(pressAndWait({"ctrl+shift+grave"}, 1));
  desktop().run({"xmodmap", "-e", "keycode 200 = NoSymbol", "-e", "keycode 49 = grave asciitilde"});
}

TEST(X11HotKeyMapping, MapsThePlatformKeyCodesAndModifiers) {
  using linuxbackend::X11HotKeyCenter;
  EXPECT_EQ(X11HotKeyCenter::keysymForKeyCode(50), std::uint32_t{'`'});
  EXPECT_EQ(X11HotKeyCenter::keysymForKeyCode(0), std::uint32_t{'a'});
  EXPECT_EQ(X11HotKeyCenter::keysymForKeyCode(53), std::uint32_t{0xff1b});
  EXPECT_EQ(X11HotKeyCenter::keysymForKeyCode(122), std::uint32_t{0xffbe});  // F1
  EXPECT_EQ(X11HotKeyCenter::keysymForKeyCode(111), std::uint32_t{0xffc9});  // F12
  EXPECT_EQ(X11HotKeyCenter::keysymForKeyCode(126), std::uint32_t{0xff52});  // Up
  EXPECT_FALSE(X11HotKeyCenter::keysymForKeyCode(57));                       // Caps Lock
  EXPECT_FALSE(X11HotKeyCenter::keysymForKeyCode(1000));
  EXPECT_EQ(X11HotKeyCenter::xModifiers(HotKeyModifier::control | HotKeyModifier::shift |
                                        HotKeyModifier::option | HotKeyModifier::command | 0x8000),
            XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_1 | XCB_MOD_MASK_4);
}

}  // namespace
}  // namespace platform::testing

namespace platform::testing {
namespace {

// The real main loop on the system clock: the connection is one of its read sources.
TEST(X11HotKeyOnTheMainLoop, APressThatArrivedWhileWaitingForAReplyIsStillDelivered) {
  std::string reason;
  auto desktop = XvfbDesktop::start(reason);
  if (!desktop) GTEST_SKIP() << "no X server: " << reason;
  auto environment = std::make_shared<Environment>();
  environment->clock = std::make_shared<SystemClock>();
  environment->mainLoop = std::make_shared<RunLoop>(environment->clock);
  auto previous = installEnvironment(environment);
  {
    auto connection = linuxbackend::X11Connection::open(desktop->display());
    ASSERT_TRUE(connection);
    linuxbackend::X11WindowServer server(connection);
    linuxbackend::X11HotKeyCenter hotKeys(connection);
    int pressed = 0;
    hotKeys.installEventHandler(hotKeys.applicationEventTarget(),
                                {{HotKeyEventKind::keyboardClass, HotKeyEventKind::hotKeyPressed}},
                                [&](const HotKeyEvent&) {
                                  ++pressed;
                                  environment->mainLoop->stop();
                                  return HotKeyStatus::noErr;
                                });
    EventHotKeyRef ref;
    ASSERT_EQ(hotKeys.registerEventHotKey(backquote, controlShift, {1, 1},
                                          hotKeys.applicationEventTarget(), 0, ref),
              HotKeyStatus::noErr);
    environment->mainLoop->post([] {});
    environment->mainLoop->postAfter(0.05, [&] { environment->mainLoop->stop(); });
    environment->mainLoop->run();  // settles the grab's own traffic

    ASSERT_EQ(desktop->run({"xdotool", "key", "ctrl+shift+grave"}), 0);
    // Reading the window list waits for replies, and xcb queues the key press meanwhile.
    server.ownWindowsDidChange();
    server.snapshot();
    auto timeout = environment->mainLoop->postAfter(10, [&] { environment->mainLoop->stop(); });
    environment->mainLoop->run();
    timeout->cancel();
    EXPECT_EQ(pressed, 1);
  }
  environment->mainLoop->discardPendingWork();
  installEnvironment(previous);
}

}  // namespace
}  // namespace platform::testing
