#include <gtest/gtest.h>

#include "Flagrig/Shell/AppDelegate.h"
#include "Platform/Desktop/Application.h"
#include "Platform/Desktop/Window.h"
#include "Platform/Forms/FormLayout.h"
#include "SettingsTest.h"
#include "VoskaryAccount/SignIn/VoskaryProviderButtons.h"

namespace flagrig::testing {
namespace {

using voskary::VoskaryProviderButtons;
using View = FlagrigSettingsView;

class SettingsAccountTest : public SettingsTest {
 protected:
  std::vector<std::string> accountTexts() {
    std::vector<std::string> texts;
    if (const Node* account = section("Account")) collectTexts(*account, texts);
    return texts;
  }
  bool hasButton(std::string_view title) { return form().find(NodeKind::button, title); }
};

TEST_F(SettingsAccountTest, SignedInRowsShowTheAccountEmailOrItsFallback) {
  struct Case {
    std::string email;
    std::string shown;
  };
  for (const auto& c : std::vector<Case>{{kEmail, kEmail}, {"", "Voskary Account"}}) {
    signInDirectly(c.email);
    open();
    const Node* row = form().find(NodeKind::labeledContent, "Account");
    ASSERT_TRUE(row) << c.shown;
    std::vector<std::string> texts;
    collectTexts(*row, texts);
    EXPECT_EQ(texts.back(), c.shown);
    for (auto title : {View::signOutTitle, View::manageDevicesTitle, View::exportDataTitle,
                       View::deleteAccountTitle})
      EXPECT_TRUE(hasButton(title)) << title;
    EXPECT_FALSE(hasButton(VoskaryProviderButtons::emailTitle));
  }
}

// However long the address, it stays on the row's one line beside "Account", inside the row.
TEST_F(SettingsAccountTest, ALongEmailStaysBesideItsLabelOnOneLine) {
  const std::string email = "someone.with.a.really.long.address.for.testing@subdomain.voskary.test";
  signInDirectly(email);
  open();
  auto layout = platform::forms::FormLayout::layout(form().tree(), {460, 640});
  const Node* row = form().find(NodeKind::labeledContent, "Account");
  const Node* value = form().find(NodeKind::text, email);
  ASSERT_TRUE(row && value);
  const platform::Rect* rowFrame = layout.frameOf(row->identity());
  const platform::Rect* valueFrame = layout.frameOf(value->identity());
  ASSERT_TRUE(rowFrame && valueFrame);
  const auto font = platform::forms::FormLayout::defaultFont();
  EXPECT_GE(valueFrame->x(), rowFrame->x() + font.widthOf("Account"));
  EXPECT_LE(valueFrame->maxX(), rowFrame->maxX());
  EXPECT_LE(valueFrame->height(), font.lineHeight() + 0.5) << "one line, cut in the middle";
  EXPECT_EQ(value->truncation(), platform::forms::Truncation::middle);
}

TEST_F(SettingsAccountTest, SignedOutShowsOnlyTheProviderButtons) {
  attached();
  open();
  for (auto title : {VoskaryProviderButtons::appleTitle, VoskaryProviderButtons::googleTitle,
                     VoskaryProviderButtons::emailTitle})
    EXPECT_TRUE(hasButton(title)) << title;
  EXPECT_FALSE(form().find(NodeKind::labeledContent, "Account"));
  EXPECT_FALSE(hasButton(View::signOutTitle));
  EXPECT_FALSE(hasButton(View::manageDevicesTitle));
}

TEST_F(SettingsAccountTest, TheThreeAccountLinksOpenTheAccountPage) {
  signInDirectly();
  open();
  for (auto title : {View::manageDevicesTitle, View::exportDataTitle, View::deleteAccountTitle})
    EXPECT_TRUE(form().tap(title)) << title;
  const auto& opened = sim().desktop->workspace().openedURLs();
  ASSERT_EQ(opened.size(), 3u);
  for (const auto& url : opened) EXPECT_EQ(url.absoluteString(), "https://web.test/account");
}

TEST_F(SettingsAccountTest, ABrowserSignInShowsProgressIgnoresASecondTapAndEndsSignedIn) {
  attached();
  open();
  ASSERT_TRUE(form().tap(VoskaryProviderButtons::emailTitle));
  runUntilIdle();
  EXPECT_TRUE(view().isWorking());
  EXPECT_TRUE(shows(View::openingBrowserText));
  form().tap(VoskaryProviderButtons::googleTitle);
  runUntilIdle();
  finishBrowserSignIn();
  EXPECT_FALSE(view().isWorking());
  EXPECT_FALSE(view().statusMessage());
  EXPECT_TRUE(form().find(NodeKind::labeledContent, "Account"));
  EXPECT_TRUE(hasButton(View::signOutTitle));
  auto names = eventNames();
  EXPECT_EQ(std::count(names.begin(), names.end(), "auth_started"), 1) << "one sign-in";
  EXPECT_EQ(browser->openedURLs().size(), 1u);
}

TEST_F(SettingsAccountTest, AFailedOrCancelledSignInShowsItsTextAndIsLogged) {
  struct Case {
    bool cancel;
    std::string provider;
    std::string shown;
  };
  const std::vector<Case> cases{
      {true, "apple", "Sign-in was cancelled. Try again."},
      {false, "google", "Something went wrong on our end. Try again in a minute."},
  };
  attached();
  open();
  for (const auto& c : cases) {
    if (!c.cancel) {
      service->queueAnswer(
          voskary::testing::FakeAccountService::exchangePath,
          voskary::testing::FakeAccountService::jsonAnswer(500, platform::JSON{{"error", "boom"}}));
    }
    ASSERT_TRUE(form().tap(c.provider == "apple" ? VoskaryProviderButtons::appleTitle
                                                 : VoskaryProviderButtons::googleTitle));
    runUntilIdle();
    if (c.cancel) {
      EXPECT_TRUE(manager().cancelSignIn());
      runUntilIdle();
    } else {
      finishBrowserSignIn();
    }
    EXPECT_FALSE(view().isWorking()) << c.provider;
    EXPECT_EQ(view().statusMessage(), c.shown);
    EXPECT_TRUE(shows(c.shown));
    auto lines = logLines();
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
      return line == "warn auth: Settings sign-in failed for provider=" + c.provider;
    })) << c.provider;
    EXPECT_TRUE(hasButton(VoskaryProviderButtons::emailTitle)) << "ready for another attempt";
  }
}

// After "Sign out" the first-run flow opens at once; it must not find the old account.
TEST_F(SettingsAccountTest, SignOutClosesTheWindowAndOpensTheFlowWithoutTheOldAccount) {
  auto flow = std::make_shared<FlowOpeningRecorder>();
  AppScreens::shared().makeLoginFirstFlow = [flow](AppDelegate&) { return flow; };
  auto delegate = std::make_shared<AppDelegate>();
  platform::Application::shared().setDelegate(delegate);
  signInDirectly();
  open();
  auto window = controller().window();
  ASSERT_TRUE(form().tap(View::signOutTitle));
  EXPECT_FALSE(window->isVisible());
  ASSERT_EQ(flow->openings.size(), 1u);
  EXPECT_EQ(flow->openings[0].step, LoginFirstStep::signIn);
  EXPECT_FALSE(flow->openings[0].signedIn);
  EXPECT_EQ(flow->openings[0].email, std::nullopt);
  runUntilIdle();
  EXPECT_FALSE(SignInService::shared().isSignedIn());
  open();
  EXPECT_TRUE(hasButton(VoskaryProviderButtons::emailTitle));
  EXPECT_FALSE(hasButton(View::signOutTitle));
}

}  // namespace
}  // namespace flagrig::testing
