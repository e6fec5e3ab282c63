#include <gtest/gtest.h>

#include "Platform/Sim/SimHTTPServer.h"
#include "Platform/Sim/SimSystemLog.h"
#include "Support/SimTest.h"
#include "Support/Tarnwick/FakeAuthority.h"
#include "Support/Tarnwick/FakeBrowser.h"
#include "Tarnwick/OIDAuthorizationService.h"
#include "Tarnwick/UserAgentPlatform.h"
#include "TarnwickTests/TarnwickTestValues.h"

namespace tarnwick {
namespace {

using platform::URL;
using testing::FakeAuthority;

// The whole browser sign-in on the fakes: discover the authority, build the request as the app
// does, open it in the browser, let the user finish, and hand the redirect back to the flow.
class SignInEndToEndTest : public platform::testing::SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    sim().http->respond("GET", authority.discoveryURL().absoluteString(),
                        platform::sim::SimHTTPAnswer::json(200, authority.discoveryJSON()));
    UserAgentPlatform::setURLOpener(browser);
  }

  OIDServiceConfiguration discover() {
    std::optional<OIDServiceConfiguration> discovered;
    OIDAuthorizationService::discoverServiceConfigurationForIssuer(
        authority.configuration().issuer,
        [&discovered](const auto& configuration, const auto&) { discovered = configuration; });
    runUntilIdle();
    EXPECT_TRUE(discovered);
    return *discovered;
  }

  static OIDAuthorizationRequest requestFor(const OIDServiceConfiguration& configuration) {
    return OIDAuthorizationRequest(configuration, "flagrig", {"voskary.account"},
                                   URL("flagrig://auth/callback"), std::string(OIDResponseTypeCode),
                                   OIDParameters{{"voskary_app_slug", "flagrig"},
                                                 {"voskary_client_version", "1.0.0"},
                                                 {"voskary_lib_version", "1.0.0"},
                                                 {"provider", "google"},
                                                 {"prompt", "select_account"}});
  }

  FakeAuthority authority{FakeAuthority::Configuration{.requiredScopes = {"voskary.account"}}};
  std::shared_ptr<testing::FakeBrowser> browser = std::make_shared<testing::FakeBrowser>(authority);
};

TEST_F(SignInEndToEndTest, EndsWithTheCodeOrTheReasonWhyNot) {
  enum class Step { signIn, userCancels, wrongState, denied, browserFails };
  struct Case {
    const char* name;
    Step step;
    std::string errorDomain;  // empty: a response with a code
    long errorCode;
  };
  const Case cases[] = {
      {"sign-in", Step::signIn, "", 0},
      {"cancel", Step::userCancels, std::string(OIDGeneralErrorDomain), -3},
      {"state mismatch", Step::wrongState, std::string(OIDOAuthAuthorizationErrorDomain), -61439},
      {"denied", Step::denied, std::string(OIDOAuthAuthorizationErrorDomain), -4},
      {"browser failure", Step::browserFails, std::string(OIDGeneralErrorDomain), -10},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto request = requestFor(discover());
    browser->setFailsToOpen(c.step == Step::browserFails);
    if (c.step == Step::wrongState) authority.setNextOutcome(FakeAuthority::Outcome::wrongState);
    if (c.step == Step::denied) authority.setNextOutcome(FakeAuthority::Outcome::deny);

    std::vector<testing::FlowOutcome> outcomes;
    auto session = OIDAuthorizationService::presentAuthorizationRequest(
        request, testing::recordInto(outcomes));
    if (c.step == Step::userCancels) {
      session->cancel();
    } else if (c.step != Step::browserFails) {
      ASSERT_EQ(browser->openedURLs().back(), request.authorizationRequestURL());
      auto redirect = browser->finishSignIn();
      ASSERT_TRUE(redirect) << "the authority refused the request";
      EXPECT_TRUE(session->resumeExternalUserAgentFlowWithURL(*redirect));
    }

    ASSERT_EQ(outcomes.size(), 1u);
    const auto& outcome = outcomes.front();
    if (c.errorDomain.empty()) {
      ASSERT_TRUE(outcome.response);
      const auto& code = outcome.response->authorizationCode();
      ASSERT_TRUE(code);
      EXPECT_EQ(outcome.response->state(), request.state());
      // The verifier the request kept redeems the code: the challenge went out intact.
      EXPECT_TRUE(authority.redeem(*code, *outcome.response->request().codeVerifier()));
    } else {
      EXPECT_FALSE(outcome.response);
      ASSERT_TRUE(outcome.error);
      EXPECT_TRUE(outcome.error->is(c.errorDomain, c.errorCode)) << outcome.error->description();
    }
    // Whatever the end, a later redirect changes nothing but a warning.
    auto logged = sim().systemLog->entries().size();
    EXPECT_FALSE(
        session->resumeExternalUserAgentFlowWithURL(URL("flagrig://auth/callback?code=late")));
    EXPECT_EQ(outcomes.size(), 1u);
    EXPECT_EQ(sim().systemLog->entries().size(), logged + 1);
  }
}

}  // namespace
}  // namespace tarnwick
