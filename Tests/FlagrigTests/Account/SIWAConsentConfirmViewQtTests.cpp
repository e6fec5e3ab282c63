// The sign-up consent screen drawn by the Qt form renderer on a private X desktop: its links
// open through the workspace (xdg-open), a click toggles the box, Continue submits once.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "../Onboarding/FormWindowQtTest.h"
#include "Flagrig/Account/SIWAConsentConfirmView.h"
#include "Flagrig/Account/VoskaryAccountBridge.h"
#include "Flagrig/Diagnostics/DiagnosticLogBuffer.h"
#include "Flagrig/Shell/Constants.h"
#include "Support/TemporaryDirectory.h"

namespace flagrig::testing {
namespace {

namespace forms = platform::forms;

class SIWAConsentConfirmViewQtTest : public FormWindowQtTest {
 protected:
  void SetUp() override {
    FormWindowQtTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    // xdg-open on the path records what it is asked to open, and succeeds.
    opened = folder.path() / "opened.txt";
    auto program = folder.path() / "xdg-open";
    std::ofstream(program) << "#!/bin/sh\necho \"$1\" >> '" << opened.string() << "'\n";
    std::filesystem::permissions(program, std::filesystem::perms::owner_all);
    oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
    setenv("PATH", (folder.path().string() + ":" + oldPath).c_str(), 1);
  }
  void TearDown() override {
    if (!oldPath.empty()) setenv("PATH", oldPath.c_str(), 1);
    view.reset();
    FormWindowQtTest::TearDown();
  }
  std::string openedText() {
    std::ifstream in(opened);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  platform::testing::TemporaryDirectory folder;
  std::filesystem::path opened;
  std::string oldPath;
  std::shared_ptr<SIWAConsentConfirmView> view;
};

TEST_F(SIWAConsentConfirmViewQtTest, LinksOpenTheBoxTogglesAndContinueSubmitsOnce) {
  int continued = 0;
  view = SIWAConsentConfirmView::make(VoskaryAccountBridge::sharedPointer(), [&] { ++continued; });
  show([&](forms::FormHost& h) { return view->body(h).colorScheme(forms::ColorScheme::dark); }, 520,
       640, SIWAConsentConfirmView::coal());
  if (HasFatalFailure()) return;
  bool startedChecked = view->marketingChecked();
  shoot("consent-start");

  ASSERT_TRUE(click("termsLink"));
  std::string terms = Constants::Identity::termsURL().absoluteString() + "\n";
  EXPECT_TRUE(runUntil([&] { return openedText() == terms; }, 10)) << openedText();
  ASSERT_TRUE(click("privacyLink"));
  std::string both = terms + Constants::Identity::privacyURL().absoluteString() + "\n";
  EXPECT_TRUE(runUntil([&] { return openedText() == both; }, 10)) << openedText();

  int before = host->renderCount();
  ASSERT_TRUE(click("marketing"));
  ASSERT_TRUE(redrawn(before));
  EXPECT_NE(view->marketingChecked(), startedChecked);
  EXPECT_TRUE(view->touched());
  EXPECT_EQ(keyed("box")->text(), view->marketingChecked() ? "checkmark.square.fill" : "square");
  shoot("consent-toggled");

  // One click, one submission (signed out here: it skips the requests and says so once), one
  // onContinue.
  ASSERT_TRUE(click("continue"));
  EXPECT_TRUE(runUntil([&] { return continued == 1; }, 10));
  runFor(0.3);
  EXPECT_EQ(continued, 1);
  EXPECT_FALSE(view->submitting());
  int skipped = 0;
  for (const auto& entry : DiagnosticLogBuffer::shared().logBufferJSON()) {
    const auto* message = entry.find("msg");
    skipped += message && message->asString() &&
               *message->asString() == "missing VAS; skipping consent capture";
  }
  EXPECT_EQ(skipped, 1);
  shoot("consent-continued");
}

}  // namespace
}  // namespace flagrig::testing
