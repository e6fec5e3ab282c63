#include "VoskaryAccount/SignIn/OAuthDriver.h"

#include "SignInFixture.h"
#include "Support/Tarnwick/FakeWindow.h"
#include "Support/Tarnwick/SimWebAuthenticationSheets.h"

namespace voskary::testing {
namespace {

using Hint = OAuthDriver::ProviderHint;
using tarnwick::testing::FakeAuthority;

std::map<std::string, std::string> queryOf(const platform::URL& url) {
  std::map<std::string, std::string> out;
  tarnwick::OIDURLQueryComponent query(url);
  for (const auto& name : query.parameters()) out[name] = query.valuesForParameter(name)->front();
  return out;
}

class OAuthDriverTest : public SignInFixture {
 protected:
  void SetUp() override {
    SignInFixture::SetUp();
    driver = std::make_shared<OAuthDriver>(config());
  }
  void TearDown() override {
    driver.reset();
    SignInFixture::TearDown();
  }
  std::shared_ptr<Outcome<OAuthAuthorizationResult>> browserFlow(std::optional<Hint> hint = {}) {
    auto out = start(driver->authorizeViaSystemBrowser(hint));
    runUntilIdle();
    return out;
  }

  std::shared_ptr<OAuthDriver> driver;
};

TEST_F(OAuthDriverTest, ProviderHintsParseOnlyTheirExactRawValues) {
  const std::pair<const char*, std::optional<Hint>> cases[] = {
      {"apple", Hint::apple},   {"google", Hint::google}, {"email", Hint::email},
      {"Google", std::nullopt}, {"", std::nullopt},       {" apple", std::nullopt},
      {"EMAIL", std::nullopt},  {"github", std::nullopt}};
  for (const auto& [raw, hint] : cases) {
    SCOPED_TRACE(raw);
    EXPECT_EQ(OAuthDriver::providerHint(raw), hint);
    if (hint) {
      EXPECT_EQ(OAuthDriver::rawValue(*hint), raw);
    }
  }
}

TEST_F(OAuthDriverTest, TheRequestCarriesTheLibraryParametersAndTheHint) {
  struct Case {
    std::optional<Hint> hint;
    std::optional<std::string> provider;
    std::optional<std::string> prompt;
  };
  const Case cases[] = {{std::nullopt, std::nullopt, std::nullopt},
                        {Hint::google, "google", "select_account"},
                        {Hint::apple, "apple", std::nullopt},
                        {Hint::email, "email", std::nullopt}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.provider.value_or("no hint"));
    auto out = browserFlow(c.hint);
    ASSERT_FALSE(browser->openedURLs().empty());
    auto query = queryOf(browser->openedURLs().back());
    EXPECT_EQ(browser->openedURLs().back().path(), "/authorize");
    EXPECT_EQ(query["client_id"], "flagrig");
    EXPECT_EQ(query["scope"], "voskary.account");  // no "openid" added
    EXPECT_EQ(query["redirect_uri"], "flagrig://auth/callback");
    EXPECT_EQ(query["response_type"], "code");
    EXPECT_EQ(query["code_challenge_method"], "S256");
    EXPECT_EQ(query["voskary_app_slug"], "flagrig");
    EXPECT_EQ(query["voskary_client_version"], "1.4.2");
    EXPECT_EQ(query["voskary_lib_version"], "0.9.2");
    EXPECT_EQ(query.count("provider") ? std::optional(query["provider"]) : std::nullopt,
              c.provider);
    EXPECT_EQ(query.count("prompt") ? std::optional(query["prompt"]) : std::nullopt, c.prompt);
    EXPECT_TRUE(driver->cancelInFlight());
    runUntilIdle();
    EXPECT_TRUE(out->done);
  }
}

TEST_F(OAuthDriverTest, ABrowserFlowEndsWithTheCodeOrTheMappedError) {
  enum class Step { signIn, deny, wrongState, withoutCode, cancel };
  struct Case {
    const char* name;
    Step step;
    std::optional<VoskaryError> error;  // none: the code; empty reason: any failure
    std::optional<VoskaryLogLevel> level;
    const char* errorClass;
    bool errorFields;
  };
  const Case cases[] = {
      {"sign-in", Step::signIn, std::nullopt, std::nullopt, "", false},
      {"denied", Step::deny, VoskaryError::authorizationFailed(""), VoskaryLogLevel::warning,
       "auth", true},
      {"state mismatch", Step::wrongState, VoskaryError::authorizationFailed(""),
       VoskaryLogLevel::warning, "auth", true},
      {"no code", Step::withoutCode, VoskaryError::authorizationFailed("empty_response"),
       VoskaryLogLevel::warning, "auth", false},
      {"cancelled", Step::cancel, VoskaryError::authorizationCancelled(), VoskaryLogLevel::info,
       "cancelled", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    log.clear();
    if (c.step == Step::deny) authority.setNextOutcome(FakeAuthority::Outcome::deny);
    if (c.step == Step::wrongState) authority.setNextOutcome(FakeAuthority::Outcome::wrongState);
    if (c.step == Step::withoutCode) authority.setNextOutcome(FakeAuthority::Outcome::withoutCode);
    auto out = browserFlow(Hint::email);
    if (c.step == Step::cancel) {
      EXPECT_TRUE(driver->cancelInFlight());
    } else {
      auto redirect = browser->finishSignIn();
      ASSERT_TRUE(redirect);
      EXPECT_TRUE(driver->resume(*redirect));
    }
    runUntilIdle();
    ASSERT_TRUE(out->done);
    EXPECT_FALSE(driver->hasFlowInProgress());
    if (!c.error) {
      ASSERT_TRUE(out->value);
      ASSERT_TRUE(out->value->codeVerifier);
      EXPECT_TRUE(authority.redeem(out->value->authorizationCode, *out->value->codeVerifier));
      EXPECT_EQ(out->value->state, queryOf(browser->openedURLs().back())["state"]);
      EXPECT_TRUE(log.lines().empty());
      continue;
    }
    ASSERT_TRUE(out->error);
    if (c.error->kind() == VoskaryError::Kind::authorizationFailed &&
        c.error->as<VoskaryError::AuthorizationFailed>()->reason.empty()) {
      EXPECT_EQ(out->error->kind(), VoskaryError::Kind::authorizationFailed);
    } else {
      EXPECT_EQ(*out->error, *c.error);
    }
    auto line = log.only("oauth_authorize_failed");
    ASSERT_TRUE(line);
    EXPECT_EQ(line->level, *c.level);
    EXPECT_EQ(line->fields.at("class"), c.errorClass);
    EXPECT_EQ(line->fields.at("provider"), "email");
    EXPECT_EQ(line->fields.count("error_domain"), c.errorFields ? 1u : 0u);
    EXPECT_EQ(line->fields.count("error_code"), c.errorFields ? 1u : 0u);
  }
}

TEST_F(OAuthDriverTest, ASecondBrowserSignInCancelsTheFirstAndRuns) {
  auto first = browserFlow(Hint::google);
  auto second = browserFlow(Hint::apple);
  ASSERT_TRUE(first->done);
  EXPECT_EQ(first->error, VoskaryError::authorizationCancelled());
  EXPECT_FALSE(second->done);
  ASSERT_TRUE(driver->hasFlowInProgress());
  auto redirect = browser->finishSignIn();
  ASSERT_TRUE(redirect);
  EXPECT_TRUE(driver->resume(*redirect));
  runUntilIdle();
  ASSERT_TRUE(second->value);
}

TEST_F(OAuthDriverTest, EachFlowTimesOutAfterItsOwnThreeHundredSeconds) {
  // A flow that ended early leaves no timeout behind that could end the next one.
  auto first = browserFlow();
  advance(200);
  EXPECT_TRUE(driver->cancelInFlight());
  runUntilIdle();
  ASSERT_TRUE(first->done);
  auto second = browserFlow();
  advance(150);
  EXPECT_FALSE(second->done) << "the first flow's timeout ended the second";
  advance(149);
  EXPECT_FALSE(second->done);
  advance(1);
  ASSERT_TRUE(second->done);
  EXPECT_EQ(second->error, VoskaryError::authorizationCancelled());
  EXPECT_FALSE(driver->hasFlowInProgress());

  // After a redirect the timeout no longer fires.
  auto third = browserFlow();
  auto redirect = browser->finishSignIn();
  ASSERT_TRUE(redirect && driver->resume(*redirect));
  runUntilIdle();
  ASSERT_TRUE(third->value);
  auto fourth = browserFlow();
  advance(299);
  EXPECT_FALSE(fourth->done);
}

// The in-window road with no window takes the browser, and with one the sheet: neither may
// wait for ever.
TEST_F(OAuthDriverTest, EveryRoadTimesOut) {
  auto sheets = std::make_shared<tarnwick::testing::SimWebAuthenticationSheets>();
  tarnwick::UserAgentPlatform::setWebAuthenticationSessionFactory(sheets);
  for (auto window : {std::shared_ptr<platform::Window>(), tarnwick::testing::fakeWindow()}) {
    SCOPED_TRACE(window ? "a sheet on a window" : "no window");
    auto out = start(driver->authorize(window, std::nullopt));
    runUntilIdle();
    ASSERT_TRUE(driver->hasFlowInProgress());
    advance(OAuthDriver::systemBrowserTimeout - 1);
    EXPECT_FALSE(out->done);
    advance(1);
    ASSERT_TRUE(out->done);
    EXPECT_EQ(out->error, VoskaryError::authorizationCancelled());
    EXPECT_FALSE(driver->hasFlowInProgress());
  }
}

TEST_F(OAuthDriverTest, ABrowserThatFailsToOpenEndsTheFlowAndBlocksNothing) {
  browser->setFailsToOpen(true);
  auto failed = browserFlow();
  ASSERT_TRUE(failed->done);
  ASSERT_TRUE(failed->error);
  EXPECT_EQ(failed->error->kind(), VoskaryError::Kind::authorizationFailed);
  EXPECT_NE(*failed->error, VoskaryError::authorizationFailed("sign_in_already_in_progress"));
  EXPECT_FALSE(driver->hasFlowInProgress());

  browser->setFailsToOpen(false);
  auto next = browserFlow();
  EXPECT_FALSE(next->done);
  EXPECT_TRUE(driver->hasFlowInProgress());
}

TEST_F(OAuthDriverTest, ResumeAndCancelWithoutAFlowOrWithAForeignURL) {
  EXPECT_FALSE(driver->resume(platform::URL("flagrig://auth/callback?code=x&state=y")));
  EXPECT_FALSE(driver->cancelInFlight());
  auto out = browserFlow();
  EXPECT_FALSE(driver->resume(platform::URL("flagrig://settings/open")));
  runUntilIdle();
  EXPECT_FALSE(out->done);
  auto redirect = browser->finishSignIn();
  ASSERT_TRUE(redirect && driver->resume(*redirect));
  runUntilIdle();
  EXPECT_TRUE(out->value);
}

TEST_F(OAuthDriverTest, CancellingTheWaitingTaskEndsItsFlow) {
  auto out = std::make_shared<Outcome<OAuthAuthorizationResult>>();
  auto handle = platform::spawn(capture(driver->authorizeViaSystemBrowser(std::nullopt), out));
  runUntilIdle();
  ASSERT_TRUE(driver->hasFlowInProgress());
  handle.cancel();
  runUntilIdle();
  ASSERT_TRUE(out->done);
  EXPECT_EQ(out->error, VoskaryError::authorizationCancelled());
  EXPECT_FALSE(driver->hasFlowInProgress());
}

TEST_F(OAuthDriverTest, DiscoveryFailuresEndTheOperationAndAreLogged) {
  auto unreachable = std::make_shared<OAuthDriver>(VoskaryConfig(
      platform::URL("https://nowhere.voskary.test"), platform::URL(kBase), "flagrig", "flagrig",
      "1.4.2", "0.9.2", platform::URL("flagrig://auth/callback"), AuthScheme::systemBrowser,
      std::nullopt, {"voskary.account"}, platform::env().httpSession, log.logger(), "install-1"));
  auto error = errorOf(unreachable->authorizeViaSystemBrowser(Hint::google));
  EXPECT_EQ(error.kind(), VoskaryError::Kind::authorizationFailed);
  auto line = log.only("oauth_discovery_failed");
  ASSERT_TRUE(line);
  EXPECT_EQ(line->level, VoskaryLogLevel::warning);
  EXPECT_EQ(line->fields.at("class"), "transport");
  EXPECT_EQ(line->fields.at("error_domain"), "tarnwick.general");
  EXPECT_EQ(line->fields.at("error_code"), "-5");
  EXPECT_EQ(line->fields.count("provider"), 0u);
  EXPECT_TRUE(browser->openedURLs().empty());
}

TEST_F(OAuthDriverTest, TheSheetRoadCancelsAnOlderFlowWhoseEndLeavesTheNewOneAlone) {
  auto sheets = std::make_shared<tarnwick::testing::SimWebAuthenticationSheets>();
  tarnwick::UserAgentPlatform::setWebAuthenticationSessionFactory(sheets);
  auto window = tarnwick::testing::fakeWindow();

  auto first = start(driver->authorize(window, Hint::google));
  runUntilIdle();
  ASSERT_EQ(sheets->sheets().size(), 1u);
  auto second = start(driver->authorize(window, std::nullopt));
  runUntilIdle();
  ASSERT_EQ(sheets->sheets().size(), 2u);
  EXPECT_TRUE(sheets->sheets()[0]->wasCancelled());
  ASSERT_TRUE(first->done);
  EXPECT_EQ(first->error, VoskaryError::authorizationCancelled());
  ASSERT_TRUE(driver->hasFlowInProgress()) << "the older flow's end cleared the new one";

  auto sheet = sheets->last();
  EXPECT_EQ(sheet->anchor(), window);
  auto redirect = authority.redirectFor(sheet->url());
  ASSERT_TRUE(redirect);
  EXPECT_TRUE(sheet->navigate(*redirect));
  runUntilIdle();
  ASSERT_TRUE(second->value);
  EXPECT_TRUE(authority.redeem(second->value->authorizationCode, *second->value->codeVerifier));
  EXPECT_FALSE(driver->hasFlowInProgress());
}

}  // namespace
}  // namespace voskary::testing
