#include <gtest/gtest.h>

#include "Platform/Foundation/Clock.h"
#include "Platform/Foundation/Environment.h"
#include "Platform/Sim/SimSystemLog.h"
#include "Support/SimTest.h"
#include "TarnwickCore/OIDAuthorizationSession.h"
#include "TarnwickTests/TarnwickTestValues.h"

namespace tarnwick {
namespace {

using platform::URL;
using platform::Value;
using testing::testConfiguration;
using testing::testRequest;

using testing::RecordingUserAgent;

class OIDAuthorizationSessionTest : public platform::testing::SimTest {
 protected:
  std::shared_ptr<OIDAuthorizationSession> start(OIDAuthorizationRequest request = testRequest()) {
    auto session = std::make_shared<OIDAuthorizationSession>(std::move(request));
    session->presentAuthorizationWithExternalUserAgent(agent, testing::recordInto(outcomes));
    return session;
  }

  URL redirect(const std::string& query) { return URL("flagrig://auth/callback?" + query); }

  std::shared_ptr<RecordingUserAgent> agent = std::make_shared<RecordingUserAgent>();
  std::vector<testing::FlowOutcome> outcomes;
};

TEST_F(OIDAuthorizationSessionTest, MatchesTheRedirectURL) {
  const URL redirectURL("flagrig://auth/callback");
  const std::pair<const char*, bool> cases[] = {
      {"flagrig://auth/callback", true},
      {"FlagRig://auth/callback", true},
      {"flagrig://auth/./x/../callback", true},
      {"flagrig://auth/callback?code=1&extra=2#fragment", true},
      {"flagrig://AUTH/callback", false},
      {"flagrig://auth/other", false},
      {"flagrig://auth/callback/", false},
      {"flagrig://auth:80/callback", false},
      {"flagrig://user@auth/callback", false},
      {"other://auth/callback", false},
      {"flagrig:/callback", false},
  };
  for (const auto& [text, matches] : cases) {
    EXPECT_EQ(OIDAuthorizationSession::URLMatchesRedirectionURL(URL(text), redirectURL), matches)
        << text;
  }
  EXPECT_TRUE(OIDAuthorizationSession::URLMatchesRedirectionURL(
      URL("https://h.test:8443/a/b"), URL("HTTPS://h.test:8443/a/c/../b")));
}

TEST_F(OIDAuthorizationSessionTest, TurnsTheRedirectIntoAResponseOrAnError) {
  struct Case {
    std::string query;  // "$S" stands for the request's state
    std::optional<std::string> code;
    std::string errorDomain;
    long errorCode;
  };
  const Case cases[] = {
      {"code=abc&state=$S", "abc", "", 0},
      {"state=$S", std::nullopt, "", 0},
      {"error=access_denied&state=wrong", std::nullopt,
       std::string(OIDOAuthAuthorizationErrorDomain), -4},
      {"error=invalid_request&error_description=bad", std::nullopt,
       std::string(OIDOAuthAuthorizationErrorDomain), -2},
      {"code=abc&state=wrong", std::nullopt, std::string(OIDOAuthAuthorizationErrorDomain), -61439},
      {"code=abc", std::nullopt, std::string(OIDOAuthAuthorizationErrorDomain), -61439},
  };
  for (const auto& c : cases) {
    outcomes.clear();
    agent->dismissed = 0;
    auto session = start();
    std::string query = c.query;
    if (auto at = query.find("$S"); at != std::string::npos) {
      query.replace(at, 2, *OIDURLQueryComponent(*agent->url).valuesForParameter("state")->begin());
    }
    EXPECT_TRUE(session->resumeExternalUserAgentFlowWithURL(redirect(query))) << query;
    ASSERT_EQ(outcomes.size(), 1u) << query;
    EXPECT_EQ(agent->dismissed, 1) << query;
    const auto& outcome = outcomes.front();
    if (c.errorDomain.empty()) {
      ASSERT_TRUE(outcome.response) << query;
      EXPECT_FALSE(outcome.error);
      EXPECT_EQ(outcome.response->authorizationCode(), c.code);
      EXPECT_EQ(outcome.response->state(), outcome.response->request().state());
    } else {
      EXPECT_FALSE(outcome.response) << query;
      ASSERT_TRUE(outcome.error) << query;
      EXPECT_TRUE(outcome.error->is(c.errorDomain, c.errorCode)) << outcome.error->description();
    }
  }
}

TEST_F(OIDAuthorizationSessionTest, StateMismatchNamesBothStates) {
  auto request = testRequest();
  auto session = start(request);
  session->resumeExternalUserAgentFlowWithURL(
      redirect("code=one-time-code-0123456789&state=wrong&x=1"));
  ASSERT_EQ(outcomes.size(), 1u);
  const auto& error = *outcomes.front().error;
  EXPECT_EQ(
      error.userInfo(),
      (Value::Dictionary{{"code", "one-time-code-0123456789"}, {"state", "wrong"}, {"x", "1"}}));
  const std::string prefix = "State mismatch, expecting " + *request.state() +
                             " but got wrong in authorization response <OIDAuthorizationResponse: ";
  EXPECT_EQ(error.description().substr(0, prefix.size()), prefix);
  // The description is logged: the code the stray answer brought stays out of it.
  EXPECT_EQ(error.description().find("one-time-code-0123456789"), std::string::npos);
  EXPECT_NE(error.description().find("authorizationCode: one-ti...[redacted]"), std::string::npos);
}

TEST_F(OIDAuthorizationSessionTest, KeepsWhatTheResponseDoesNotMap) {
  auto session = start();
  auto state = *OIDURLQueryComponent(*agent->url).valuesForParameter("state");
  session->resumeExternalUserAgentFlowWithURL(
      redirect("code=abc&state=" + state[0] + "&expires_in=3600&token_type=Bearer&extra=1#frag"));
  ASSERT_EQ(outcomes.size(), 1u);
  const auto& response = *outcomes.front().response;
  // Values from a query are texts, so "expires_in" cannot become a date.
  EXPECT_EQ(response.accessTokenExpirationDate(), std::nullopt);
  EXPECT_EQ(response.tokenType(), "Bearer");
  EXPECT_EQ(response.additionalParameters(),
            (Value::Dictionary{{"expires_in", "3600"}, {"extra", "1"}}));
}

TEST_F(OIDAuthorizationSessionTest, AnotherURLLeavesTheFlowRunning) {
  auto session = start();
  EXPECT_FALSE(session->resumeExternalUserAgentFlowWithURL(URL("flagrig://auth/other?code=x")));
  EXPECT_TRUE(outcomes.empty());
  EXPECT_TRUE(session->isRunning());
  EXPECT_EQ(agent->dismissed, 0);
}

TEST_F(OIDAuthorizationSessionTest, CancelEndsTheFlowOnce) {
  auto session = start();
  std::vector<std::string> order;
  session->cancelWithCompletion(
      [&] { order.push_back("completion " + std::to_string(outcomes.size())); });
  ASSERT_EQ(outcomes.size(), 1u);
  EXPECT_TRUE(outcomes[0].error->is(OIDErrorCode::userCancelledAuthorizationFlow));
  EXPECT_EQ(outcomes[0].error->description(), "Authorization flow was cancelled.");
  EXPECT_EQ(order, std::vector<std::string>{"completion 1"});

  // Once ended: no second callback, and the completion still runs, at once.
  session->cancel();
  session->cancelWithCompletion([&] { order.push_back("late"); });
  EXPECT_EQ(outcomes.size(), 1u);
  EXPECT_EQ(order, (std::vector<std::string>{"completion 1", "late"}));
}

TEST_F(OIDAuthorizationSessionTest, RedirectAfterTheFlowEndedIsIgnoredAndLogged) {
  auto session = start();
  session->cancel();
  EXPECT_FALSE(session->resumeExternalUserAgentFlowWithURL(redirect("code=abc")));
  EXPECT_EQ(outcomes.size(), 1u);
  const std::vector<platform::sim::SimSystemLog::Entry> expected{
      {"dev.voskary.tarnwick", "authorization", platform::SystemLogType::error,
       "An OAuth redirect was sent to a OIDExternalUserAgentSession after it already completed."}};
  EXPECT_EQ(sim().systemLog->entries(), expected);
  session->failExternalUserAgentFlowWithError(OIDError("x", 1));
  EXPECT_EQ(outcomes.size(), 1u);
}

TEST_F(OIDAuthorizationSessionTest, PresentingFailures) {
  agent->accepts = false;
  start();
  ASSERT_EQ(outcomes.size(), 1u);
  EXPECT_TRUE(outcomes[0].error->is(OIDErrorCode::userAgentRefused));
  EXPECT_EQ(outcomes[0].error->description(), "Unable to open Safari.");

  // A configuration without an authorization endpoint: no user agent is asked.
  outcomes.clear();
  agent->accepts = true;
  agent->presented = 0;
  auto session = start(testRequest(testConfiguration(URL())));
  ASSERT_EQ(outcomes.size(), 1u);
  EXPECT_TRUE(outcomes[0].error->is(OIDErrorCode::invalidDiscoveryDocument));
  EXPECT_EQ(outcomes[0].error->description(), "Invalid URL: authorization_endpoint");
  EXPECT_EQ(agent->presented, 0);
  EXPECT_FALSE(session->isRunning());
}

TEST_F(OIDAuthorizationSessionTest, CallbackMayReleaseTheSession) {
  // The caller drops its only reference to the flow (and so to the user agent) in the
  // callback, as the sign-in does; each way of ending must survive that.
  const std::function<void(OIDAuthorizationSession&)> endings[] = {
      [](OIDAuthorizationSession& s) {
        s.resumeExternalUserAgentFlowWithURL(URL("flagrig://auth/callback?error=x"));
      },
      [](OIDAuthorizationSession& s) { s.cancelWithCompletion([] {}); },
      [](OIDAuthorizationSession& s) { s.failExternalUserAgentFlowWithError(OIDError("x", 1)); },
  };
  for (const auto& end : endings) {
    auto held = std::make_shared<std::shared_ptr<OIDAuthorizationSession>>();
    auto weakAgent = std::weak_ptr<RecordingUserAgent>();
    int calls = 0;
    {
      auto userAgent = std::make_shared<RecordingUserAgent>();
      weakAgent = userAgent;
      *held = std::make_shared<OIDAuthorizationSession>(testRequest());
      (*held)->presentAuthorizationWithExternalUserAgent(userAgent,
                                                         [held, &calls](const auto&, const auto&) {
                                                           ++calls;
                                                           // Re-entrant: cancel from inside the
                                                           // callback, then let go.
                                                           (*held)->cancel();
                                                           held->reset();
                                                         });
    }
    OIDAuthorizationSession* raw = held->get();
    end(*raw);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(*held, nullptr);
    EXPECT_TRUE(weakAgent.expired());
  }
}

class OIDAuthorizationResponseTest : public platform::testing::SimTest {};

TEST_F(OIDAuthorizationResponseTest, MapsParametersAndArchives) {
  auto request = testRequest();
  OIDAuthorizationResponse response(request, {{"code", "c"},
                                              {"state", "s"},
                                              {"access_token", "access-token-value"},
                                              {"id_token", "short"},
                                              {"expires_in", 3600},
                                              {"scope", Value::Array{"a"}},
                                              {"other", true}});
  EXPECT_EQ(response.authorizationCode(), "c");
  EXPECT_EQ(response.accessToken(), "access-token-value");
  EXPECT_EQ(response.accessTokenExpirationDate(),
            platform::env().clock->now().addingTimeInterval(3600));
  EXPECT_EQ(response.scope(), std::nullopt);
  EXPECT_EQ(response.additionalParameters(),
            (Value::Dictionary{{"scope", Value::Array{"a"}}, {"other", true}}));

  auto description = response.description();
  EXPECT_NE(description.find("accessToken: \"access...[redacted]\""), std::string::npos);
  EXPECT_NE(description.find("idToken: \"[redacted]\""), std::string::npos);
  EXPECT_EQ(description.find("access-token-value"), std::string::npos);
  EXPECT_NE(description.find("authorizationCode: [redacted]"), std::string::npos);

  EXPECT_EQ(OIDAuthorizationResponse::fromArchive(response.archive()), response);
}

}  // namespace
}  // namespace tarnwick
