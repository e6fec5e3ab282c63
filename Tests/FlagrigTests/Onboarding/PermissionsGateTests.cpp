#include "Flagrig/Onboarding/PermissionsGate.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "../Tagging/TaggingTest.h"
#include "Platform/Desktop/Alert.h"
#include "Platform/Desktop/Application.h"
#include "Platform/Foundation/URL.h"

namespace flagrig {
namespace {

using namespace platform;
using Permission = PermissionsGate::Permission;

class PermissionsGateTest : public testing::TaggingTest {
 protected:
  sim::SimAccessibility& ax() { return desktop().accessibility(); }
  void grant(Permission p, bool granted = true) {
    if (p == Permission::accessibility) {
      ax().setTrusted(granted);
    } else {
      server().setScreenCaptureAccess(granted);
    }
  }
  void ensure(Permission p, std::vector<bool>& answers) {
    auto completion = [&answers](bool granted) { answers.push_back(granted); };
    if (p == Permission::accessibility) {
      PermissionsGate::ensureAccessibility("Why it is needed.", completion);
    } else {
      PermissionsGate::ensureScreenRecording("Why it is needed.", completion);
    }
  }
  // Addresses opened since the last `forgetOpened`.
  std::vector<std::string> opened() {
    std::vector<std::string> texts;
    const auto& all = desktop().workspace().openedURLs();
    for (auto i = openedBefore; i < all.size(); ++i) texts.push_back(all[i].absoluteString());
    return texts;
  }
  void forgetOpened() { openedBefore = desktop().workspace().openedURLs().size(); }
  std::size_t openedBefore = 0;
  double now() { return toSeconds(clock().uptime()); }
};

struct PermissionCase {
  Permission permission;
  const char* title;
  const char* paragraph;
  const char* firstPane;
};

const PermissionCase permissionCases[] = {
    {Permission::accessibility, "Accessibility permission required",
     "Flagrig uses Accessibility to bring a tagged window to the front when you click it. macOS "
     "requires Accessibility permission to raise another app's window.",
     "x-apple.systempreferences:com.apple.settings.PrivacySecurity.extension?Privacy_"
     "Accessibility"},
    {Permission::screenRecording, "Screen Recording access",
     "Some Mac configurations require Screen Recording access for full window details. You can "
     "continue setup without it.",
     "x-apple.systempreferences:com.apple.settings.PrivacySecurity.extension?Privacy_"
     "ScreenCapture"},
};

TEST_F(PermissionsGateTest, AGrantedPermissionCompletesOnALaterTurnWithoutAnAlert) {
  for (const auto& c : permissionCases) {
    SCOPED_TRACE(c.title);
    grant(c.permission);
    std::vector<bool> answers;
    ensure(c.permission, answers);
    EXPECT_TRUE(answers.empty()) << "not inside the call";
    runUntilIdle();
    EXPECT_EQ(answers, std::vector<bool>{true});
  }
  EXPECT_TRUE(desktop().alerts().empty());
  EXPECT_EQ(ax().promptCount(), 0);
}

TEST_F(PermissionsGateTest, TheAlertClosesItselfWithinOnePollOfAGrant) {
  for (const auto& c : permissionCases) {
    SCOPED_TRACE(c.title);
    std::vector<bool> answers;
    int requestsBefore = server().screenCaptureRequests();
    ensure(c.permission, answers);
    if (c.permission == Permission::screenRecording) {
      EXPECT_EQ(server().screenCaptureRequests(), requestsBefore + 1) << "asked before the alert";
    }
    double shown = 0;
    // The user grants it in the settings 3 s after the alert came up, and touches nothing.
    desktop().scriptNextAlert([&, p = c.permission](Alert&) {
      shown = now();
      loop().postAfter(3.0, [&, p] { grant(p); });
    });
    runUntilIdle();
    ASSERT_EQ(answers, std::vector<bool>{true});
    EXPECT_DOUBLE_EQ(now() - shown, 4.0) << "the second tick sees it";
    const auto& alert = desktop().alerts().back();
    EXPECT_EQ(alert.style, AlertStyle::informational);
    EXPECT_EQ(alert.message, c.title);
    EXPECT_EQ(alert.informativeText, std::string("Why it is needed.\n\n") + c.paragraph);
    EXPECT_EQ(alert.buttons, (std::vector<std::string>{"Open System Settings", "Cancel"}));
    EXPECT_EQ(alert.response, ModalResponse::abort);
    EXPECT_TRUE(opened().empty());
    EXPECT_FALSE(loop().nextDeadline()) << "the poll is gone";
    EXPECT_FALSE(PermissionsGate::isPending(c.permission));
  }
}

TEST_F(PermissionsGateTest, TheButtonsAnswerAndTheCheckAfterTheAlertWins) {
  struct Case {
    const char* how;
    long response;
    bool grantBeforeClick;
    bool expected;
    std::vector<std::string> opens;
  };
  const Case cases[] = {
      {"Open System Settings", 1000, false, false, {permissionCases[0].firstPane}},
      {"Cancel", 1001, false, false, {}},
      {"granted just before Cancel", 1001, true, true, {}},
      {"granted just before Open System Settings", 1000, true, true, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.how);
    grant(Permission::accessibility, false);
    forgetOpened();
    std::vector<bool> answers;
    ensure(Permission::accessibility, answers);
    // The click comes 1 s in, between two polls.
    desktop().scriptNextAlert([&](Alert&) {
      loop().postAfter(1.0, [&] {
        if (c.grantBeforeClick) grant(Permission::accessibility);
        Application::shared().stopModal(c.response);
      });
    });
    runUntilIdle();
    EXPECT_EQ(answers, std::vector<bool>{c.expected});
    EXPECT_EQ(opened(), c.opens);
    EXPECT_FALSE(loop().nextDeadline());
  }
}

TEST_F(PermissionsGateTest, SettingsAddressesFallBackInOrder) {
  const std::string second =
      "x-apple.systempreferences:com.apple.preference.security?Privacy_ScreenCapture";
  struct Case {
    const char* how;
    std::function<bool(const URL&)> opens;
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {"the first opens", [](const URL&) { return true; }, {permissionCases[1].firstPane}},
      {"only the second opens",
       [&](const URL& url) { return url.absoluteString() == second; },
       {second}},
      {"neither opens",
       [](const URL& url) { return url.absoluteString() == "x-apple.systempreferences:"; },
       {"x-apple.systempreferences:"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.how);
    forgetOpened();
    desktop().workspace().setURLHandler(c.opens);
    PermissionsGate::openSettings(Permission::screenRecording);
    EXPECT_EQ(opened(), c.expected);
  }
  // The root is opened whatever it answers, and nothing more is tried.
  forgetOpened();
  desktop().workspace().setURLHandler([](const URL&) { return false; });
  auto refusedBefore = desktop().workspace().refusedURLs().size();
  PermissionsGate::openSystemSettings({"not a url", "x-apple.systempreferences:a"});
  EXPECT_EQ(desktop().workspace().refusedURLs().size(), refusedBefore + 2);
  EXPECT_TRUE(opened().empty());
}

TEST_F(PermissionsGateTest, QuickRepeatedRequestsShareOneAlert) {
  for (const auto& c : permissionCases) {
    SCOPED_TRACE(c.title);
    server().setGrantsScreenCaptureOnRequest(false);
    auto alertsBefore = desktop().alerts().size();
    std::vector<bool> answers;
    ensure(c.permission, answers);
    ensure(c.permission, answers);
    EXPECT_TRUE(PermissionsGate::isPending(c.permission));
    desktop().respondToNextAlert(1001);
    runUntilIdle();
    ASSERT_EQ(desktop().alerts().size(), alertsBefore + 1);
    EXPECT_EQ(desktop().alerts().back().message, c.title);
    EXPECT_EQ(answers, (std::vector<bool>{false, false})) << "both callers hear the one answer";

    // Once it has ended, a new request opens a new alert.
    desktop().respondToNextAlert(1001);
    ensure(c.permission, answers);
    runUntilIdle();
    EXPECT_EQ(desktop().alerts().size(), alertsBefore + 2);
    EXPECT_FALSE(PermissionsGate::isPending(c.permission));
  }
}

TEST_F(PermissionsGateTest, ThePollNeverEndsAnotherModalSession) {
  std::vector<bool> answers;
  ensure(Permission::accessibility, answers);
  std::optional<long> innerResponse;
  desktop().scriptNextAlert([&](Alert&) {
    // 1 s in, another alert opens above the permission alert; the permission is granted while
    // it is up, and the user answers it 5 s later.
    loop().postAfter(1.0, [&] {
      grant(Permission::accessibility);
      Alert inner;
      inner.setMessageText("Something else");
      inner.addButton("OK");
      inner.addButton("Later");
      desktop().scriptNextAlert(
          [&](Alert&) { loop().postAfter(5.0, [&] { Application::shared().stopModal(1001); }); });
      innerResponse = inner.runModal();
    });
  });
  runUntilIdle();
  EXPECT_EQ(innerResponse, 1001) << "the inner alert kept its own answer";
  EXPECT_EQ(answers, std::vector<bool>{true});
  EXPECT_EQ(desktop().alerts()[0].response, ModalResponse::abort);

  // After the alert has ended, a later modal session is never aborted by a stray tick.
  EXPECT_FALSE(loop().nextDeadline());
  Alert later;
  later.addButton("OK");
  desktop().scriptNextAlert(
      [&](Alert&) { loop().postAfter(10.0, [&] { Application::shared().stopModal(1000); }); });
  EXPECT_EQ(later.runModal(), ModalResponse::firstButton);
}

}  // namespace
}  // namespace flagrig
