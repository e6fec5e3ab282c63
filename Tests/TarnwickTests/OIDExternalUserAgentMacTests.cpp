#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "Support/SimTest.h"
#include "Support/Tarnwick/FakeAuthority.h"
#include "Support/Tarnwick/FakeBrowser.h"
#include "Support/Tarnwick/FakeWindow.h"
#include "Support/Tarnwick/SimWebAuthenticationSheets.h"
#include "Tarnwick/OIDAuthorizationService.h"
#include "Tarnwick/OIDExternalUserAgentMac.h"
#include "Tarnwick/UserAgentPlatform.h"
#include "Tarnwick/WebAuthenticationSessionError.h"
#include "Tarnwick/XdgOpenURLOpener.h"
#include "TarnwickTests/TarnwickTestValues.h"

namespace tarnwick {
namespace {

using platform::URL;
using testing::FakeAuthority;
using testing::FakeBrowser;
using testing::FlowOutcome;
using testing::recordInto;
using testing::testConfiguration;
using testing::testRequest;

class OIDExternalUserAgentMacTest : public platform::testing::SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    UserAgentPlatform::setURLOpener(browser);
    UserAgentPlatform::setWebAuthenticationSessionFactory(sheets);
  }

  OIDAuthorizationRequest request() {
    return testRequest(testConfiguration(authority.authorizationEndpoint()));
  }

  FakeAuthority authority;
  std::shared_ptr<FakeBrowser> browser = std::make_shared<FakeBrowser>(authority);
  std::shared_ptr<testing::SimWebAuthenticationSheets> sheets =
      std::make_shared<testing::SimWebAuthenticationSheets>();
  std::vector<FlowOutcome> outcomes;
};

TEST_F(OIDExternalUserAgentMacTest, WithoutAWindowTheBrowserOpensTheRequest) {
  auto agent = std::make_shared<OIDExternalUserAgentMac>();
  auto first = request();
  auto session =
      OIDAuthorizationService::presentAuthorizationRequest(first, agent, recordInto(outcomes));
  EXPECT_EQ(browser->openedURLs(), std::vector<URL>{first.authorizationRequestURL()});
  EXPECT_TRUE(agent->isFlowInProgress());
  EXPECT_TRUE(outcomes.empty());
  EXPECT_TRUE(sheets->sheets().empty());

  // A second request on the same user agent is refused; the first flow goes on.
  std::vector<FlowOutcome> second;
  OIDAuthorizationService::presentAuthorizationRequest(request(), agent, recordInto(second));
  ASSERT_EQ(second.size(), 1u);
  EXPECT_TRUE(second[0].error->is(OIDErrorCode::userAgentRefused));
  EXPECT_EQ(browser->openedURLs().size(), 1u);

  EXPECT_TRUE(session->resumeExternalUserAgentFlowWithURL(*browser->finishSignIn()));
  ASSERT_EQ(outcomes.size(), 1u);
  EXPECT_TRUE(outcomes[0].response);
  EXPECT_FALSE(agent->isFlowInProgress());
}

TEST_F(OIDExternalUserAgentMacTest, ABrowserThatCannotOpenFailsTheFlowOnce) {
  browser->setFailsToOpen(true);
  auto agent = std::make_shared<OIDExternalUserAgentMac>();
  OIDAuthorizationService::presentAuthorizationRequest(request(), agent, recordInto(outcomes));
  ASSERT_EQ(outcomes.size(), 1u);
  EXPECT_TRUE(outcomes[0].error->is(OIDErrorCode::browserOpen));
  EXPECT_EQ(outcomes[0].error->description(), "Unable to open the browser.");
  EXPECT_EQ(outcomes[0].error->underlyingError(), nullptr);

  // Idle again: the next request opens.
  browser->setFailsToOpen(false);
  std::vector<FlowOutcome> next;
  OIDAuthorizationService::presentAuthorizationRequest(request(), agent, recordInto(next));
  EXPECT_TRUE(next.empty());
  EXPECT_EQ(browser->openedURLs().size(), 1u);
}

TEST_F(OIDExternalUserAgentMacTest, WithoutAnOpenerTheDesktopWorkspaceOpensTheBrowser) {
  UserAgentPlatform::setURLOpener(nullptr);
  auto& workspace = sim().desktop->workspace();
  auto sent = request();
  OIDAuthorizationService::presentAuthorizationRequest(sent, recordInto(outcomes));
  ASSERT_EQ(workspace.openedURLs().size(), 1u);
  EXPECT_EQ(workspace.openedURLs()[0], sent.authorizationRequestURL());
  EXPECT_TRUE(outcomes.empty());

  workspace.setURLHandler([](const URL&) { return false; });
  OIDAuthorizationService::presentAuthorizationRequest(request(), recordInto(outcomes));
  ASSERT_FALSE(outcomes.empty());
  EXPECT_TRUE(outcomes.back().error->is(OIDErrorCode::browserOpen));
}

TEST_F(OIDExternalUserAgentMacTest, WithAWindowTheSheetRunsTheFlow) {
  auto window = testing::fakeWindow();
  auto sent = request();
  auto session = OIDAuthorizationService::presentAuthorizationRequest(
      sent, window, BrowserSession::ephemeral, recordInto(outcomes));
  auto sheet = sheets->last();
  ASSERT_NE(sheet, nullptr);
  EXPECT_TRUE(browser->openedURLs().empty());
  EXPECT_EQ(sheet->url(), sent.authorizationRequestURL());
  EXPECT_EQ(sheet->callbackURLScheme(), "flagrig");
  EXPECT_TRUE(sheet->prefersEphemeral());
  EXPECT_EQ(sheet->anchor(), window);
  EXPECT_TRUE(sheet->isShowing());

  auto redirect = authority.redirectFor(sheet->url());
  EXPECT_TRUE(sheet->navigate(*redirect));
  ASSERT_EQ(outcomes.size(), 1u);
  ASSERT_TRUE(outcomes[0].response);
  EXPECT_TRUE(authority.redeem(*outcomes[0].response->authorizationCode(), *sent.codeVerifier()));
}

TEST_F(OIDExternalUserAgentMacTest, ClosingTheSheetCancels) {
  auto agent = std::make_shared<OIDExternalUserAgentMac>(testing::fakeWindow());
  auto session =
      OIDAuthorizationService::presentAuthorizationRequest(request(), agent, recordInto(outcomes));
  sheets->last()->closeByUser();
  ASSERT_EQ(outcomes.size(), 1u);
  const auto& error = *outcomes[0].error;
  EXPECT_TRUE(error.is(OIDErrorCode::userCancelledAuthorizationFlow));
  EXPECT_EQ(error.givenDescription(), std::nullopt);
  auto underlying =
      dynamic_cast<const WebAuthenticationSessionError*>(error.underlyingError().get());
  ASSERT_NE(underlying, nullptr);
  EXPECT_EQ(underlying->code(), WebAuthenticationSessionError::Code::canceledLogin);
  EXPECT_FALSE(agent->isFlowInProgress());
}

TEST_F(OIDExternalUserAgentMacTest, ASheetThatDoesNotStartLeavesTheUserAgentFree) {
  sheets->setStartSucceeds(false);
  auto agent = std::make_shared<OIDExternalUserAgentMac>(testing::fakeWindow());
  OIDAuthorizationService::presentAuthorizationRequest(request(), agent, recordInto(outcomes));
  ASSERT_EQ(outcomes.size(), 1u);
  EXPECT_TRUE(outcomes[0].error->is(OIDErrorCode::userAgentRefused));
  EXPECT_FALSE(agent->isFlowInProgress());

  sheets->setStartSucceeds(true);
  std::vector<FlowOutcome> next;
  OIDAuthorizationService::presentAuthorizationRequest(request(), agent, recordInto(next));
  EXPECT_TRUE(next.empty());
  EXPECT_TRUE(sheets->last()->isShowing());
}

TEST_F(OIDExternalUserAgentMacTest, ASheetReturningAnotherAddressFailsTheFlow) {
  auto agent = std::make_shared<OIDExternalUserAgentMac>(testing::fakeWindow());
  auto session =
      OIDAuthorizationService::presentAuthorizationRequest(request(), agent, recordInto(outcomes));
  // The sheet ends on any URL of the callback scheme; this one is not the redirect URL.
  EXPECT_TRUE(sheets->last()->navigate(URL("flagrig://elsewhere?code=abc")));
  ASSERT_EQ(outcomes.size(), 1u);
  EXPECT_TRUE(outcomes[0].error->is(OIDErrorCode::network));
  EXPECT_FALSE(agent->isFlowInProgress());
  EXPECT_FALSE(session->resumeExternalUserAgentFlowWithURL(URL("flagrig://auth/callback?code=1")));
  EXPECT_EQ(outcomes.size(), 1u);
}

TEST_F(OIDExternalUserAgentMacTest, CancelClosesTheSheet) {
  auto agent = std::make_shared<OIDExternalUserAgentMac>(testing::fakeWindow());
  auto session =
      OIDAuthorizationService::presentAuthorizationRequest(request(), agent, recordInto(outcomes));
  auto sheet = sheets->last();
  session->cancel();
  EXPECT_TRUE(sheet->wasCancelled());
  ASSERT_EQ(outcomes.size(), 1u);
  EXPECT_TRUE(outcomes[0].error->is(OIDErrorCode::userCancelledAuthorizationFlow));
  EXPECT_FALSE(agent->isFlowInProgress());

  int completions = 0;
  agent->dismissExternalUserAgent([&] { ++completions; });
  EXPECT_EQ(completions, 1);
}

TEST_F(OIDExternalUserAgentMacTest, WithoutSheetsAWindowStillGetsTheBrowser) {
  // As on Linux, which has no web-authentication sheet.
  UserAgentPlatform::setWebAuthenticationSessionFactory(nullptr);
  auto sent = request();
  OIDAuthorizationService::presentAuthorizationRequest(sent, testing::fakeWindow(),
                                                       recordInto(outcomes));
  EXPECT_TRUE(outcomes.empty());
  EXPECT_EQ(browser->openedURLs(), std::vector<URL>{sent.authorizationRequestURL()});
}

TEST_F(OIDExternalUserAgentMacTest, AUserAgentReleasedMeanwhileReportsNothing) {
  std::shared_ptr<testing::SimWebAuthenticationSession> sheet;
  {
    auto session = OIDAuthorizationService::presentAuthorizationRequest(
        request(), testing::fakeWindow(), recordInto(outcomes));
    sheet = sheets->last();
  }
  sheet->closeByUser();
  EXPECT_TRUE(outcomes.empty());
}

TEST(XdgOpenURLOpenerTest, ReportsWhetherTheProgramStarted) {
  const URL url("https://id.example.test/authorize?x=1");
  EXPECT_TRUE(XdgOpenURLOpener("true").openURL(url));
  EXPECT_FALSE(XdgOpenURLOpener("flagrig-no-such-program").openURL(url));
  EXPECT_FALSE(XdgOpenURLOpener("true").openURL(URL()));
}

// An opener that answers only when the test says, as xdg-open does when it exits.
class LateOpener final : public URLOpener {
 public:
  bool openURL(const URL&) override { return true; }
  void openURLWithCompletion(const URL& url, Completion completion) override {
    opened.push_back(url);
    pending.push_back(std::move(completion));
  }
  void answer(bool opened) {
    auto c = std::move(pending.front());
    pending.erase(pending.begin());
    c(opened);
  }
  std::vector<URL> opened;
  std::vector<Completion> pending;
};

TEST_F(OIDExternalUserAgentMacTest, ABrowserThatFailsAfterStartingFailsTheFlowWithGeneralErrorTen) {
  auto late = std::make_shared<LateOpener>();
  UserAgentPlatform::setURLOpener(late);
  auto agent = std::make_shared<OIDExternalUserAgentMac>();
  auto first = request();
  auto session =
      OIDAuthorizationService::presentAuthorizationRequest(first, agent, recordInto(outcomes));
  ASSERT_EQ(late->opened.size(), 1u);
  EXPECT_TRUE(agent->isFlowInProgress());
  EXPECT_TRUE(outcomes.empty());

  late->answer(false);
  ASSERT_EQ(outcomes.size(), 1u);
  EXPECT_TRUE(outcomes[0].error->is(OIDErrorCode::browserOpen));
  EXPECT_EQ(outcomes[0].error->code(), -10);
  EXPECT_EQ(outcomes[0].error->description(), "Unable to open the browser.");
  EXPECT_FALSE(agent->isFlowInProgress());

  // A browser that did open changes nothing; a late "no" for a flow that was dismissed, or
  // for an earlier flow while a new one runs, is not the new flow's failure.
  std::vector<FlowOutcome> second;
  OIDAuthorizationService::presentAuthorizationRequest(request(), agent, recordInto(second));
  late->answer(true);
  EXPECT_TRUE(agent->isFlowInProgress());
  agent->dismissExternalUserAgent(nullptr);
  std::vector<FlowOutcome> third;
  OIDAuthorizationService::presentAuthorizationRequest(request(), agent, recordInto(third));
  std::vector<FlowOutcome> fourth;
  ASSERT_EQ(late->pending.size(), 1u);
  auto stale = std::move(late->pending.front());
  late->pending.clear();
  agent->dismissExternalUserAgent(nullptr);
  OIDAuthorizationService::presentAuthorizationRequest(request(), agent, recordInto(fourth));
  stale(false);
  EXPECT_TRUE(fourth.empty());
  EXPECT_TRUE(agent->isFlowInProgress());
}

// Runs the main loop until `done` or ten seconds pass (the answer comes from a child process).
template <class Condition>
bool runUntil(platform::testing::SimTest&, platform::RunLoop& loop, Condition done) {
  auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!done() && std::chrono::steady_clock::now() < end) {
    loop.runUntilIdle();
    std::this_thread::yield();
  }
  return done();
}

class XdgOpenURLOpenerAnswerTest : public platform::testing::SimTest {};

TEST_F(XdgOpenURLOpenerAnswerTest, TheExitStatusIsTheAnswer) {
  const URL url("https://id.example.test/authorize?x=1");
  std::vector<std::optional<bool>> answers(4);
  XdgOpenURLOpener("true").openURLWithCompletion(url, [&](bool ok) { answers[0] = ok; });
  XdgOpenURLOpener("false").openURLWithCompletion(url, [&](bool ok) { answers[1] = ok; });
  // Not started at all: answered inline.
  XdgOpenURLOpener("flagrig-no-such-program").openURLWithCompletion(url, [&](bool ok) {
    answers[2] = ok;
  });
  EXPECT_EQ(answers[2], false);
  // An address that xdg-open would read as an option is never handed to it.
  XdgOpenURLOpener("true").openURLWithCompletion(URL("--help"), [&](bool ok) { answers[3] = ok; });
  EXPECT_EQ(answers[3], false);
  ASSERT_TRUE(runUntil(*this, loop(), [&] { return answers[0] && answers[1]; }));
  EXPECT_EQ(answers[0], true);
  EXPECT_EQ(answers[1], false);
}

}  // namespace
}  // namespace tarnwick
