#include "Flagrig/Onboarding/PermissionsStep.h"

#include <gtest/gtest.h>

#include "../Shell/ShellTest.h"
#include "Flagrig/Onboarding/PermissionsGate.h"
#include "Platform/Desktop/Alert.h"
#include "Platform/Desktop/Application.h"
#include "Platform/Forms/FormHost.h"

namespace flagrig {
namespace {

using namespace platform;
namespace forms = platform::forms;

const Color accent = Color::sRGB(0.851, 0.467, 0.024);

// The node with that key under `node`, depth first, backgrounds included.
const forms::Node* keyed(const forms::Node& node, std::string_view key) {
  return forms::findKeyed(node, key);
}

class PermissionsStepTest : public testing::ShellTest {
 protected:
  void SetUp() override {
    ShellTest::SetUp();
    server().setGrantsScreenCaptureOnRequest(false);
    host = forms::FormHost::make([this](forms::FormHost& h) {
      return PermissionsStep{h, accent, [this] { ++completions; }}.body();
    });
  }
  void TearDown() override {
    host.reset();
    ShellTest::TearDown();
  }
  void setGranted(bool accessibility, bool screenRecording) {
    ax().setTrusted(accessibility);
    server().setScreenCaptureAccess(screenRecording);
  }
  const forms::Node* row(std::string_view title) { return keyed(host->tree(), title); }
  std::string stateText(std::string_view title) {
    const auto* r = row(title);
    const auto* state = r ? keyed(*r, "state") : nullptr;
    return state ? state->text() : std::string();
  }
  const forms::Node* footerButton() { return keyed(host->tree(), "footerButton"); }

  std::shared_ptr<forms::FormHost> host;
  int completions = 0;
};

TEST_F(PermissionsStepTest, EachDrawingShowsTheLiveStates) {
  struct Case {
    bool accessibility, screenRecording;
    const char* footer;
    bool helper;
  };
  const Case cases[] = {
      {true, true, "Continue", false},
      {true, false, "Continue", false},
      {false, true, "Grant Accessibility", true},
      {false, false, "Grant Accessibility", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.accessibility ? "AX " : "no AX ") +
                 (c.screenRecording ? "SR" : "no SR"));
    setGranted(c.accessibility, c.screenRecording);
    PermissionsStep::bumpTick(*host);
    runUntilIdle();
    EXPECT_EQ(stateText("Accessibility"), c.accessibility ? "Granted" : "Open System Settings");
    EXPECT_EQ(stateText("Screen Recording"),
              c.screenRecording ? "Granted" : "Open System Settings");
    // A granted row is the card alone; an ungranted one is a button.
    EXPECT_EQ(row("Accessibility")->kind() == forms::NodeKind::button, !c.accessibility);
    EXPECT_EQ(row("Screen Recording")->kind() == forms::NodeKind::button, !c.screenRecording);
    ASSERT_TRUE(footerButton());
    EXPECT_EQ(footerButton()->title(), c.footer);
    EXPECT_EQ(footerButton()->keyboardShortcut(), forms::KeyboardShortcut::defaultAction);
    EXPECT_EQ(footerButton()->buttonStyle(), forms::ButtonStyle::borderedProminent);
    EXPECT_EQ(keyed(host->tree(), "helper") != nullptr, c.helper);
  }
  // The order of the rows, and their badges.
  const auto* rows = keyed(host->tree(), "rows");
  ASSERT_EQ(rows->children().size(), 2u);
  EXPECT_EQ(rows->children()[0].key(), "Screen Recording");
  EXPECT_EQ(keyed(rows->children()[0], "badge")->text(), "Optional");
  EXPECT_EQ(keyed(rows->children()[1], "badge")->text(), "Required");
  EXPECT_EQ(row("Accessibility")->accessibilityLabel(), "Accessibility, required");
  EXPECT_EQ(row("Accessibility")->accessibilityHint(),
            "Activates Accessibility. Opens System Settings if needed; we detect it "
            "automatically.");
}

TEST_F(PermissionsStepTest, ContinueCompletesTheFlowOnceItIsTrusted) {
  setGranted(true, false);
  PermissionsStep::bumpTick(*host);
  runUntilIdle();
  // Return works the footer's button.
  ASSERT_TRUE(host->pressKey(forms::Key::returnKey));
  EXPECT_EQ(completions, 1);
  EXPECT_EQ(trackedEvents(), std::vector<std::string>{"onboarding_completed"});
  EXPECT_NE(bodies[0].find(R"("method":"login_first")"), std::string::npos);
}

TEST_F(PermissionsStepTest, AGrantWhileTheAlertIsOpenTurnsTheRowAndTheFooter) {
  setGranted(false, false);
  PermissionsStep::bumpTick(*host);
  runUntilIdle();
  desktop().scriptNextAlert([&](Alert&) { loop().postAfter(1.0, [&] { ax().setTrusted(true); }); });
  ASSERT_TRUE(host->tap("Grant Accessibility"));
  runUntilIdle();
  ASSERT_EQ(desktop().alerts().size(), 1u);
  EXPECT_EQ(desktop().alerts()[0].message, "Accessibility permission required");
  EXPECT_EQ(desktop().alerts()[0].informativeText.substr(0, 62),
            "Flagrig brings a tagged window to the front when you click it.");
  EXPECT_EQ(stateText("Accessibility"), "Granted");
  EXPECT_EQ(footerButton()->title(), "Continue");
  EXPECT_FALSE(loop().nextDeadline()) << "no poll left";

  // The Screen Recording row: its request runs, then its alert; a dismissed alert and a later
  // grant change nothing until the app comes back to the front.
  desktop().respondToNextAlert(1001);
  int requests = server().screenCaptureRequests();
  ASSERT_TRUE(host->tap("Screen Recording"));
  runUntilIdle();
  EXPECT_EQ(server().screenCaptureRequests(), requests + 1);
  EXPECT_EQ(desktop().alerts().back().message, "Screen Recording access");
  server().setScreenCaptureAccess(true);
  runUntilIdle();
  EXPECT_EQ(stateText("Screen Recording"), "Open System Settings");
  PermissionsStep::bumpTick(*host);
  runUntilIdle();
  EXPECT_EQ(stateText("Screen Recording"), "Granted");

  // Tracked before each check (the emit throttle may fold the quick second one).
  auto events = trackedEvents();
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events[0], "permission_preflight_blocked");
  EXPECT_NE(bodies[0].find(R"("feature":"accessibility")"), std::string::npos);
}

TEST_F(PermissionsStepTest, HoverLightsOnlyAnUngrantedCard) {
  setGranted(false, true);
  PermissionsStep::bumpTick(*host);
  runUntilIdle();
  auto fill = [&](std::string_view title) { return keyed(*row(title), "cardShape")->shape(); };
  EXPECT_DOUBLE_EQ(fill("Accessibility").fill->alphaComponent(), 0.06);
  ASSERT_TRUE(host->hover(row("Accessibility")->identity(), forms::FormHost::Hover::enter));
  runUntilIdle();
  EXPECT_DOUBLE_EQ(fill("Accessibility").fill->alphaComponent(), 0.12);
  EXPECT_DOUBLE_EQ(fill("Accessibility").stroke->alphaComponent(), 0.24);
  EXPECT_FALSE(host->hover(row("Screen Recording")->identity(), forms::FormHost::Hover::enter))
      << "granted: no hover";
  EXPECT_DOUBLE_EQ(fill("Screen Recording").stroke->alphaComponent(), 0.35);
  host->hover(row("Accessibility")->identity(), forms::FormHost::Hover::leave);
  runUntilIdle();
  EXPECT_DOUBLE_EQ(fill("Accessibility").fill->alphaComponent(), 0.06);
}

}  // namespace
}  // namespace flagrig
