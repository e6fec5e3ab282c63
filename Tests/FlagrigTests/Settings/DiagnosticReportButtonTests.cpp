#include <gtest/gtest.h>

#include "Flagrig/Settings/DiagnosticReportButton.h"
#include "Platform/Desktop/Pasteboard.h"
#include "Platform/Desktop/Window.h"
#include "Platform/Network/URLError.h"
#include "SettingsTest.h"

namespace flagrig::testing {
namespace {

using platform::sim::SimHTTPAnswer;
using Button = DiagnosticReportButton;

class DiagnosticReportButtonTest : public SettingsTest {
 protected:
  static constexpr const char* kUpload = "https://account.test/diagnostics";

  void SetUp() override {
    SettingsTest::SetUp();
    sim().http->respond("POST", kUpload, [this](const platform::HTTPRequest&) {
      ++uploads;
      return next;
    });
    signInDirectly();
    open();
  }
  // The label the button shows, and whether it can be pressed.
  std::string label() {
    const Node* node = form().findByIdentity(buttonIdentity());
    return node ? node->title() : std::string();
  }
  std::string buttonIdentity() {
    for (const Node* node : form().findAll(NodeKind::button))
      if (node->key() == "diagnosticReport") return node->identity();
    return {};
  }
  bool buttonEnabled() {
    const Node* node = form().findByIdentity(buttonIdentity());
    return node && !form().isEffectivelyDisabled(*node);
  }
  std::vector<std::string> alertButtons() {
    std::vector<std::string> titles;
    if (const auto* shown = form().presented())
      for (const auto& b : shown->buttons) titles.push_back(b.title());
    return titles;
  }

  SimHTTPAnswer next = SimHTTPAnswer::json(201, R"({"short_code":"K7Q2-9XA"})");
  int uploads = 0;
};

TEST_F(DiagnosticReportButtonTest, ASendGoesFromIdleThroughSendingToTheCodeAlert) {
  EXPECT_EQ(label(), Button::sendTitle);
  EXPECT_TRUE(buttonEnabled());
  next = SimHTTPAnswer::json(201, R"({"short_code":"K7Q2-9XA"})").after(2);
  ASSERT_TRUE(form().tapIdentity(buttonIdentity()));
  loop().runUntilIdle();
  EXPECT_EQ(label(), Button::sendingTitle);
  EXPECT_FALSE(buttonEnabled());
  EXPECT_TRUE(form().find(NodeKind::progress, ""));
  EXPECT_FALSE(form().presented());

  advance(3);
  EXPECT_EQ(uploads, 1);
  EXPECT_EQ(label(), Button::sendTitle);
  EXPECT_TRUE(buttonEnabled());
  const auto* alert = form().presented();
  ASSERT_TRUE(alert);
  EXPECT_EQ(alert->title, "Diagnostic report sent");
  EXPECT_EQ(alert->message, "Share this code with support so we can find your report:\nK7Q2-9XA");
  EXPECT_EQ(alertButtons(), (std::vector<std::string>{"Copy code", "Done"}));
  auto lines = logLines();
  EXPECT_NE(std::find(lines.begin(), lines.end(),
                      "info diagnostics: Manual upload succeeded; share code K7Q2-9XA"),
            lines.end());
}

TEST_F(DiagnosticReportButtonTest, CopyCodeLeavesExactlyTheCodeOnThePasteboard) {
  auto& pasteboard = platform::Pasteboard::general();
  pasteboard.clearContents();
  pasteboard.setString("something the user copied before");
  form().tapIdentity(buttonIdentity());
  runUntilIdle();
  ASSERT_TRUE(form().answer(Button::copyTitle));
  runUntilIdle();
  EXPECT_EQ(pasteboard.string(), "K7Q2-9XA");
  EXPECT_FALSE(form().presented()) << "any button closes the alert";
}

TEST_F(DiagnosticReportButtonTest, ADoubleClickSendsOneReport) {
  next = next.after(1);
  form().tapIdentity(buttonIdentity());
  view().reportButton()->send();  // a second click that raced the redraw
  form().tapIdentity(buttonIdentity());
  advance(2);
  EXPECT_EQ(uploads, 1);
  auto lines = logLines();
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                          [](const std::string& l) { return l.starts_with("warn diagnostics"); }),
            0)
      << "no second upload was refused either";
}

TEST_F(DiagnosticReportButtonTest, AFailureShowsItsMessageAndTryAgainStartsAFreshSend) {
  next = SimHTTPAnswer::json(413, R"({"error":"Report too large"})");
  form().tapIdentity(buttonIdentity());
  runUntilIdle();
  const auto* alert = form().presented();
  ASSERT_TRUE(alert);
  EXPECT_EQ(alert->title, "Couldn't send diagnostic report");
  EXPECT_EQ(alert->message, "Report too large");
  EXPECT_EQ(alertButtons(), (std::vector<std::string>{"Try again", "Done"}));
  auto lines = logLines();
  EXPECT_NE(std::find(lines.begin(), lines.end(), "warn diagnostics: Manual upload failed"),
            lines.end());

  next = SimHTTPAnswer::json(201, R"({"short_code":"AB12"})").after(1);
  ASSERT_TRUE(form().answer(Button::tryAgainTitle));
  runUntilIdle();
  EXPECT_EQ(view().reportButton()->errorMessage(), std::nullopt) << "cleared by the new send";
  EXPECT_EQ(label(), Button::sendingTitle);
  advance(2);
  alert = form().presented();
  ASSERT_TRUE(alert);
  EXPECT_EQ(alert->title, "Diagnostic report sent");
  EXPECT_EQ(alert->message->find("Report too large"), std::string::npos);
  EXPECT_EQ(uploads, 2);
}

TEST_F(DiagnosticReportButtonTest, ATransportFailureShowsTheNetworksDescription) {
  next = SimHTTPAnswer::failing(platform::URLError::notConnectedToInternet);
  form().tapIdentity(buttonIdentity());
  runUntilIdle();
  const auto* alert = form().presented();
  ASSERT_TRUE(alert);
  ASSERT_TRUE(alert->message);
  EXPECT_FALSE(alert->message->empty());
  EXPECT_NE(*alert->message, Button::fallbackMessage);
}

// Whatever failed, its text reaches the alert without control characters and capped, as the
// uploader already does with the service's own message.
TEST(DiagnosticReportButtonText, FailureTextsAreCleanedAndCapped) {
  const std::string long300(300, 'a');
  struct Case {
    std::string message;
    std::string shown;
  };
  const std::vector<Case> cases{
      {"Report too large", "Report too large"},
      {"line\r\nbreak\x07 bell\x1b[31m red", "linebreak bell[31m red"},
      {"caf\xC3\xA9 \xC2\x85next", "caf\xC3\xA9 next"},
      {long300, std::string(200, 'a')},
      {"", "Something went wrong. Please try again."},
      {"\n\t\x01", "Something went wrong. Please try again."},
      {"   ", "Something went wrong. Please try again."},
  };
  for (const auto& c : cases) EXPECT_EQ(Button::displayMessage(c.message), c.shown) << c.message;
}

TEST_F(DiagnosticReportButtonTest, ClosingTheWindowWhileSendingLetsTheSendFinish) {
  next = next.after(5);
  form().tapIdentity(buttonIdentity());
  runUntilIdle();
  controller().window()->performClose();
  runUntilIdle();
  advance(6);
  EXPECT_EQ(uploads, 1);
  EXPECT_EQ(view().reportButton()->resultCode(), "K7Q2-9XA");
  EXPECT_FALSE(view().reportButton()->inFlight());
  EXPECT_FALSE(form().presented()) << "no alert, and no modal session, for a hidden window";
  open();
  ASSERT_TRUE(form().presented()) << "the outcome waits for the reopened window";
  EXPECT_TRUE(sim().unhandledErrors().empty());
}

TEST_F(DiagnosticReportButtonTest, TheButtonComesBackFreshAfterSigningOutAndIn) {
  form().tapIdentity(buttonIdentity());
  runUntilIdle();
  ASSERT_TRUE(form().presented());
  manager().transition(State::signedOut());
  runUntilIdle();
  EXPECT_TRUE(shows(FlagrigSettingsView::signInToReportText));
  EXPECT_FALSE(form().presented());
  signInDirectly();
  EXPECT_FALSE(form().presented());
  EXPECT_EQ(label(), Button::sendTitle);
  EXPECT_EQ(view().reportButton()->resultCode(), std::nullopt);
}

}  // namespace
}  // namespace flagrig::testing
