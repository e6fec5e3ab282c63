#include <gtest/gtest.h>

#include "Platform/Foundation/Clock.h"
#include "Platform/Foundation/DispatchQueue.h"
#include "Platform/Foundation/Environment.h"
#include "Platform/Foundation/Error.h"
#include "Platform/Network/URLError.h"
#include "Platform/Sim/SimHTTPServer.h"
#include "Support/SimTest.h"
#include "Tarnwick/OIDAuthState.h"
#include "TarnwickCore/OIDErrorUtilities.h"
#include "TarnwickTests/TarnwickTestValues.h"

namespace tarnwick {
namespace {

using platform::URL;
using platform::sim::SimHTTPAnswer;
using testing::RecordingUserAgent;
using testing::testRequest;

const char* const kTokenEndpoint = "https://id.example.test/token";

class RecordingDelegates final : public OIDAuthStateChangeDelegate,
                                 public OIDAuthStateErrorDelegate {
 public:
  void didChangeState(OIDAuthState&) override { ++changes; }
  void authStateDidEncounterAuthorizationError(OIDAuthState&, const OIDError& error) override {
    authorizationErrors.push_back(error);
  }
  void authStateDidEncounterTransientError(OIDAuthState&, const OIDError& error) override {
    transientErrors.push_back(error);
  }
  int changes = 0;
  std::vector<OIDError> authorizationErrors;
  std::vector<OIDError> transientErrors;
};

struct ActionCall {
  std::optional<std::string> accessToken;
  std::optional<std::string> idToken;
  std::optional<OIDError> error;
};

class OIDAuthStateTest : public platform::testing::SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    sim().http->respond("POST", kTokenEndpoint,
                        [this](const platform::HTTPRequest&) { return reply; });
  }

  // A signed-in state whose access token expires in `expiresIn` seconds.
  std::shared_ptr<OIDAuthState> signedIn(long expiresIn, bool withRefreshToken = true) {
    auto request = testRequest();
    OIDAuthorizationResponse authorization(request, {{"code", "c"}, {"state", *request.state()}});
    platform::Value::Dictionary tokens{{"access_token", "old-access"},
                                       {"token_type", "Bearer"},
                                       {"expires_in", std::int64_t{expiresIn}}};
    if (withRefreshToken) tokens.emplace("refresh_token", "refresh-1");
    OIDTokenResponse token(authorization.tokenExchangeRequest(), tokens);
    auto state = std::make_shared<OIDAuthState>(authorization, token);
    state->setStateChangeDelegate(delegates);
    state->setErrorDelegate(delegates);
    return state;
  }

  OIDAuthState::Action record() {
    return [this](const auto& access, const auto& id, const auto& error) {
      calls.push_back({access, id, error});
    };
  }

  std::size_t tokenRequests() { return sim().http->requests().size(); }

  SimHTTPAnswer reply = SimHTTPAnswer::json(
      200, R"({"access_token":"new-access","token_type":"Bearer","expires_in":3600})");
  std::shared_ptr<RecordingDelegates> delegates = std::make_shared<RecordingDelegates>();
  std::vector<ActionCall> calls;
};

TEST_F(OIDAuthStateTest, FreshnessKeepsAMarginOfAMinute) {
  auto fresh = signedIn(61);
  fresh->performActionWithFreshTokens(record());
  EXPECT_TRUE(calls.empty()) << "never inside the call";
  runUntilIdle();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].accessToken, "old-access");
  EXPECT_EQ(tokenRequests(), 0u);

  auto stale = signedIn(59);
  stale->performActionWithFreshTokens(record());
  runUntilIdle();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[1].accessToken, "new-access");
  EXPECT_EQ(tokenRequests(), 1u);

  fresh->setNeedsTokenRefresh();
  fresh->performActionWithFreshTokens(record());
  runUntilIdle();
  EXPECT_EQ(tokenRequests(), 2u);
}

TEST_F(OIDAuthStateTest, WaitingActionsShareOneRefresh) {
  auto state = signedIn(0);
  auto other = platform::env().makeSerialQueue("other");
  reply = reply.holding();
  state->performActionWithFreshTokens(record());
  state->performActionWithFreshTokens(record(), {}, other);
  runUntilIdle();
  EXPECT_TRUE(calls.empty());
  EXPECT_EQ(tokenRequests(), 1u);
  sim().http->releaseHeld();
  runUntilIdle();
  ASSERT_EQ(calls.size(), 2u);
  for (const auto& call : calls) {
    EXPECT_EQ(call.accessToken, "new-access");
    EXPECT_FALSE(call.error);
  }
  // The refresh keeps the refresh token that the answer did not replace.
  EXPECT_EQ(state->refreshToken(), "refresh-1");
  auto sent = sim().http->requests()[0].request;
  std::string body(sent.httpBody->begin(), sent.httpBody->end());
  EXPECT_NE(body.find("grant_type=refresh_token"), std::string::npos);
  EXPECT_NE(body.find("refresh_token=refresh-1"), std::string::npos);
}

TEST_F(OIDAuthStateTest, RefreshFailures) {
  // The provider refuses: the state is no longer authorized.
  auto refused = signedIn(0);
  reply = SimHTTPAnswer::json(400, R"({"error":"invalid_grant"})");
  refused->performActionWithFreshTokens(record());
  runUntilIdle();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_TRUE(calls[0].error->is(OIDOAuthTokenErrorDomain, -10));
  EXPECT_FALSE(refused->accessToken());
  EXPECT_FALSE(refused->isAuthorized());
  ASSERT_EQ(delegates->authorizationErrors.size(), 1u);

  // No network: the old tokens stay and come with the error.
  auto offline = signedIn(0);
  reply = SimHTTPAnswer::failing(platform::URLError::notConnectedToInternet);
  offline->performActionWithFreshTokens(record());
  runUntilIdle();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[1].accessToken, "old-access");
  EXPECT_TRUE(calls[1].error->is(OIDErrorCode::network));
  EXPECT_TRUE(offline->isAuthorized());
  EXPECT_EQ(delegates->transientErrors.size(), 1u);

  // Nothing to refresh with.
  auto stuck = signedIn(0, false);
  stuck->performActionWithFreshTokens(record());
  runUntilIdle();
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_TRUE(calls[2].error->is(OIDErrorCode::tokenRefresh));
  EXPECT_THROW(stuck->tokenRefreshRequest(), platform::ProgrammingError);
}

// A state with a refresh token but no request to take the client from cannot build its
// refresh: that is said at every call, and no call is left queued behind a refresh that never
// runs.
TEST_F(OIDAuthStateTest, ARefreshThatCannotBeBuiltLeavesNothingQueued) {
  auto state = OIDAuthState::fromArchive(platform::Value::Dictionary{{"refreshToken", "r"}});
  ASSERT_TRUE(state);
  EXPECT_THROW(state->performActionWithFreshTokens(record()), platform::ProgrammingError);
  EXPECT_THROW(state->performActionWithFreshTokens(record()), platform::ProgrammingError);
  runUntilIdle();
  EXPECT_TRUE(calls.empty());
  EXPECT_EQ(tokenRequests(), 0u);
}

TEST_F(OIDAuthStateTest, UpdateRules) {
  auto state = signedIn(3600);
  int changes = delegates->changes;
  auto request = testRequest();
  // An authorization response without scope takes the request's.
  state->updateWithAuthorizationResponse(
      OIDAuthorizationResponse(request, {{"code", "c2"}, {"state", *request.state()}}),
      std::nullopt);
  EXPECT_EQ(state->scope(), request.scope());
  EXPECT_FALSE(state->refreshToken());
  EXPECT_FALSE(state->lastTokenResponse());
  EXPECT_EQ(delegates->changes, changes + 1);

  // An authorization error blocks the token readers until a new response clears it.
  state->updateWithAuthorizationResponse(
      std::nullopt, OIDError(std::string(OIDOAuthAuthorizationErrorDomain), -4));
  EXPECT_TRUE(state->authorizationError());
  EXPECT_FALSE(state->isAuthorized());
  state->updateWithTokenResponse(
      OIDTokenResponse(state->lastAuthorizationResponse()->tokenExchangeRequest(),
                       {{"access_token", "a2"}, {"token_type", "Bearer"}}),
      std::nullopt);
  EXPECT_FALSE(state->authorizationError());
  EXPECT_EQ(state->accessToken(), "a2");

  // Neither a response nor an authorization-domain error changes nothing.
  int before = delegates->changes;
  state->updateWithAuthorizationResponse(std::nullopt,
                                         OIDErrorUtilities::errorWithCode(OIDErrorCode::network));
  EXPECT_EQ(delegates->changes, before);

  auto restored = OIDAuthState::fromArchive(state->archive());
  ASSERT_TRUE(restored);
  EXPECT_EQ(restored->accessToken(), "a2");
  EXPECT_EQ(restored->scope(), state->scope());
  EXPECT_EQ(state->description().find("a2\""), std::string::npos);
}

TEST_F(OIDAuthStateTest, SignsInAndExchangesTheCode) {
  auto agent = std::make_shared<RecordingUserAgent>();
  auto request = testRequest();
  std::shared_ptr<OIDAuthState> result;
  std::optional<OIDError> failure;
  int callbacks = 0;
  auto session = OIDAuthState::authStateByPresentingAuthorizationRequest(
      request, agent, [&](const auto& state, const auto& error) {
        ++callbacks;
        result = state;
        failure = error;
      });
  reply = SimHTTPAnswer::json(
      200, R"({"access_token":"at","token_type":"Bearer","refresh_token":"rt"})");
  ASSERT_TRUE(session->resumeExternalUserAgentFlowWithURL(
      URL("flagrig://auth/callback?code=abc&state=" + *request.state())));
  runUntilIdle();
  ASSERT_EQ(callbacks, 1);
  ASSERT_TRUE(result);
  EXPECT_EQ(result->accessToken(), "at");
  EXPECT_EQ(result->refreshToken(), "rt");
  auto sent = sim().http->requests().back().request;
  std::string body(sent.httpBody->begin(), sent.httpBody->end());
  EXPECT_NE(body.find("code=abc"), std::string::npos);

  // A redirect with neither code nor error fails instead of stopping the program.
  auto second = testRequest();
  auto noCode = OIDAuthState::authStateByPresentingAuthorizationRequest(
      second, agent, [&](const auto& state, const auto& error) {
        ++callbacks;
        result = state;
        failure = error;
      });
  ASSERT_TRUE(noCode->resumeExternalUserAgentFlowWithURL(
      URL("flagrig://auth/callback?state=" + *second.state())));
  EXPECT_EQ(callbacks, 2);
  EXPECT_FALSE(result);
  ASSERT_TRUE(failure);
}

}  // namespace
}  // namespace tarnwick
