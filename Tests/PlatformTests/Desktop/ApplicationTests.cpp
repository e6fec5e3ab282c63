#include "Platform/Desktop/Application.h"

#include <gtest/gtest.h>

#include "Platform/Desktop/Alert.h"
#include "Platform/Desktop/AppleEventManager.h"
#include "Platform/Desktop/Font.h"
#include "Platform/Desktop/Window.h"
#include "Platform/Foundation/NotificationCenter.h"
#include "Support/SimTest.h"

namespace platform {
namespace {

struct RecordingDelegate : ApplicationDelegate {
  std::vector<std::string> calls;
  bool terminateAfterLastWindow = false;
  void applicationWillFinishLaunching(Application&) override {
    calls.push_back("will finish");
    AppleEventManager::shared().setEventHandler(
        AppleEventCode::internetEventClass, AppleEventCode::getURL,
        [this](const AppleEventDescriptor& event, AppleEventDescriptor&) {
          auto object = event.paramDescriptor(AppleEventCode::directObjectKeyword);
          calls.push_back("url " + (object && object->stringValue() ? *object->stringValue()
                                                                    : std::string("none")));
        });
  }
  void applicationDidFinishLaunching(Application&) override { calls.push_back("did finish"); }
  bool applicationShouldHandleReopen(Application&, bool visible) override {
    calls.push_back(visible ? "reopen with windows" : "reopen without windows");
    return false;
  }
  bool applicationShouldTerminateAfterLastWindowClosed(Application&) override {
    return terminateAfterLastWindow;
  }
  void applicationWillTerminate(Application&) override { calls.push_back("will terminate"); }
};

class ApplicationTest : public testing::SimTest {
 protected:
  sim::SimDesktop& desktop() { return *sim().desktop; }
  Application& app() { return Application::shared(); }
};

TEST_F(ApplicationTest, AURLThatStartedTheApplicationReachesTheHandlerInstalledWhileLaunching) {
  auto delegate = std::make_shared<RecordingDelegate>();
  app().setDelegate(delegate);
  desktop().deliverURL("flagrig://auth/callback?code=1");
  app().finishLaunching();
  app().finishLaunching();
  desktop().deliverURL("flagrig://signed-in");
  desktop().deliverAppleEvent(
      AppleEventDescriptor(AppleEventCode::internetEventClass, AppleEventCode::getURL));
  // An event nobody handles is dropped.
  desktop().deliverAppleEvent(AppleEventDescriptor(fourCharCode("aevt"), fourCharCode("oapp")));
  EXPECT_EQ(delegate->calls,
            (std::vector<std::string>{"will finish", "url flagrig://auth/callback?code=1",
                                      "did finish", "url flagrig://signed-in", "url none"}));
  EXPECT_TRUE(app().hasFinishedLaunching());
}

TEST_F(ApplicationTest, ActivationPostsItsNotificationsAndFollowsTheFrontmostApplication) {
  std::vector<std::string> seen;
  for (auto name :
       {Application::didBecomeActiveNotification, Application::didResignActiveNotification}) {
    env().notificationCenter->addObserver(std::string(name), nullptr, nullptr,
                                          [&](const Notification& n) { seen.push_back(n.name); });
  }
  EXPECT_FALSE(app().isActive());
  app().activate();
  app().activate();
  EXPECT_TRUE(app().isActive());
  EXPECT_EQ(desktop().frontmostPID(), desktop().windowServer().ownPID());
  desktop().activateForeignApplication(desktop().windowServer().launchApplication("Safari"));
  EXPECT_FALSE(app().isActive());
  EXPECT_EQ(seen,
            (std::vector<std::string>{"ApplicationDidBecomeActive", "ApplicationDidResignActive"}));

  app().setActivationPolicy(ActivationPolicy::accessory);
  app().setActivationPolicy(ActivationPolicy::accessory);
  app().setActivationPolicy(ActivationPolicy::regular);
  EXPECT_EQ(
      desktop().activationPolicyChanges(),
      (std::vector<ActivationPolicy>{ActivationPolicy::accessory, ActivationPolicy::regular}));
}

TEST_F(ApplicationTest, ACommonModeTimerFiresDuringAnAlertAndCanAbortIt) {
  app().activate();
  int commonTicks = 0, defaultTicks = 0;
  auto poll = loop().scheduleTimer(
      2.0, TimerKind::repeating,
      [&](Timer& timer) {
        if (++commonTicks == 2) {
          timer.invalidate();
          app().abortModal();
        }
      },
      RunLoopModes::common());
  auto other = loop().scheduleTimer(1.0, TimerKind::repeating, [&](Timer&) { ++defaultTicks; });

  Alert alert;
  alert.setAlertStyle(AlertStyle::informational);
  alert.setMessageText("Accessibility permission required");
  alert.addButton("Open System Settings");
  alert.addButton("Cancel");
  desktop().scriptNextAlert([](Alert&) {});  // the user does nothing
  double started = toSeconds(clock().uptime());
  long response = alert.runModal();

  EXPECT_EQ(response, ModalResponse::abort);
  EXPECT_EQ(commonTicks, 2);
  EXPECT_EQ(defaultTicks, 0);
  EXPECT_DOUBLE_EQ(toSeconds(clock().uptime()) - started, 4.0);
  EXPECT_FALSE(alert.window()->isVisible());
  ASSERT_EQ(desktop().alerts().size(), 1u);
  EXPECT_EQ(desktop().alerts()[0].buttons,
            (std::vector<std::string>{"Open System Settings", "Cancel"}));
  EXPECT_EQ(desktop().alerts()[0].response, ModalResponse::abort);
  // Back in the default mode the other timer fires once for the ticks it missed, then on time.
  runUntilIdle();
  EXPECT_EQ(defaultTicks, 1);
  advance(1.0);
  EXPECT_EQ(defaultTicks, 2);
  other->invalidate();
}

TEST_F(ApplicationTest, AlertsAnswerWithTheirButtonsAndBlockOtherWindows) {
  app().activate();
  int clicksBehind = 0;
  auto behind = std::make_shared<Window>(Rect(0, 0, 1440, 900), StyleMask::titled);
  auto button = Button::withTitle("Behind", [&](Control&) { ++clicksBehind; });
  button->setFrame(Rect(0, 0, 1440, 900));
  behind->contentView()->addSubview(button);
  behind->makeKeyAndOrderFront();

  // Each case prepares what the user does once the alert is up.
  struct Case {
    const char* how;
    std::function<void()> prepare;
    long expected;
  };
  auto whileRunning = [&](std::function<void(Alert&)> act) {
    desktop().scriptNextAlert(
        [&, act](Alert& alert) { loop().post([&alert, act] { act(alert); }); });
  };
  const Case cases[] = {
      {"second button", [&] { desktop().respondToNextAlert(1001); }, 1001},
      {"Return", [&] { whileRunning([&](Alert&) { desktop().pressKey(KeyCode::returnKey); }); },
       1000},
      {"Esc", [&] { whileRunning([&](Alert&) { desktop().pressKey(KeyCode::escape); }); }, 1001},
      {"clicks",
       [&] {
         whileRunning([&](Alert& alert) {
           desktop().click({5, 5});  // behind the alert: blocked
           Rect frame = alert.buttons()[1]->convertToWindow(alert.buttons()[1]->bounds());
           Rect content = alert.window()->contentRect();
           desktop().click({content.x() + frame.midX(), content.y() + frame.midY()});
         });
       },
       1001},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.how);
    Alert alert;
    alert.setMessageText("Flagrig hotkey conflict");
    alert.addButton("Open Settings");
    alert.addButton("Cancel");
    c.prepare();
    EXPECT_EQ(alert.runModal(), c.expected);
  }
  EXPECT_EQ(clicksBehind, 0);
  EXPECT_EQ(app().modalWindow(), nullptr);

  // Nobody said what the user does: the test hears of it instead of waiting for ever.
  Alert unexpected;
  unexpected.setMessageText("Move Flagrig to Applications");
  EXPECT_THROW(unexpected.runModal(), ProgrammingError);
  EXPECT_EQ(desktop().alerts().back().message, "Move Flagrig to Applications");
  EXPECT_FALSE(desktop().alerts().back().response);
}

TEST_F(ApplicationTest, ALongInformativeTextWrapsInsteadOfBeingCutOff) {
  auto heightFor = [&](const std::string& text) {
    Alert alert;
    alert.setMessageText("Remove every tag?");
    alert.setInformativeText(text);
    alert.addButton("OK");
    desktop().respondToNextAlert(ModalResponse::firstButton);
    EXPECT_EQ(alert.runModal(), ModalResponse::firstButton);
    return alert.window()->contentRect().height();
  };
  double oneLine = heightFor("Short.");
  std::string paragraph;
  for (int i = 0; i < 12; ++i) paragraph += "Another application is already using the shortcut. ";
  double wrapped = heightFor(paragraph);
  // Twelve sentences of about 50 characters at 11 points cannot fit on one 380-point line.
  EXPECT_GE(wrapped - oneLine, 5 * Font::systemFont(11).lineHeight());
}

TEST_F(ApplicationTest, ClosingTheLastWindowTerminatesOnlyWhenTheDelegateSaysSo) {
  auto delegate = std::make_shared<RecordingDelegate>();
  app().setDelegate(delegate);
  auto first = std::make_shared<Window>(Rect(0, 0, 100, 100), StyleMask::titled);
  auto second = std::make_shared<Window>(Rect(0, 0, 100, 100), StyleMask::titled);
  first->orderFront();
  second->orderFront();
  first->close();
  second->close();
  runUntilIdle();
  EXPECT_FALSE(desktop().hasTerminated());

  delegate->terminateAfterLastWindow = true;
  first->orderFront();
  desktop().reopenApplication();
  first->close();
  desktop().reopenApplication();
  runUntilIdle();
  EXPECT_TRUE(desktop().hasTerminated());
  EXPECT_EQ(delegate->calls,
            (std::vector<std::string>{"reopen with windows", "reopen without windows",
                                      "will terminate"}));
}

}  // namespace
}  // namespace platform
