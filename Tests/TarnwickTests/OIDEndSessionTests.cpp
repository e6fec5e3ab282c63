#include <gtest/gtest.h>

#include "Support/SimTest.h"
#include "Tarnwick/OIDAuthorizationService.h"
#include "TarnwickTests/TarnwickTestValues.h"

namespace tarnwick {
namespace {

using platform::URL;
using testing::RecordingUserAgent;

OIDServiceConfiguration logoutConfiguration(bool withEndpoint = true) {
  std::optional<URL> endSession;
  if (withEndpoint) endSession = URL("https://id.example.test/logout?tenant=a");
  return OIDServiceConfiguration(URL("https://id.example.test/authorize"),
                                 URL("https://id.example.test/token"), std::nullopt, std::nullopt,
                                 endSession);
}

OIDEndSessionRequest logout(std::optional<URL> redirect = URL("flagrig://auth/logout"),
                            bool withEndpoint = true) {
  return OIDEndSessionRequest(logoutConfiguration(withEndpoint), "id.token.hint",
                              std::move(redirect), "st4te", {{"ui_locales", "de"}});
}

struct LogoutOutcome {
  std::optional<OIDEndSessionResponse> response;
  std::optional<OIDError> error;
};

class OIDEndSessionTest : public platform::testing::SimTest {
 protected:
  std::shared_ptr<OIDExternalUserAgentSession> start(const OIDEndSessionRequest& request) {
    return OIDAuthorizationService::presentEndSessionRequest(
        request, agent, [this](const auto& response, const auto& error) {
          outcomes.push_back({response, error});
        });
  }

  std::shared_ptr<RecordingUserAgent> agent = std::make_shared<RecordingUserAgent>();
  std::vector<LogoutOutcome> outcomes;
};

TEST_F(OIDEndSessionTest, TheLogoutURL) {
  auto url = logout().endSessionRequestURL();
  ASSERT_TRUE(url);
  // The endpoint's own query is replaced; names come out in the component's order.
  EXPECT_EQ(url->absoluteString(),
            "https://id.example.test/logout?id_token_hint=id.token.hint&"
            "post_logout_redirect_uri=flagrig://auth/logout&state=st4te&ui_locales=de");
  auto withoutRedirect = logout(std::nullopt).endSessionRequestURL();
  EXPECT_EQ(withoutRedirect->absoluteString().find("post_logout_redirect_uri"), std::string::npos);
  EXPECT_EQ(OIDEndSessionRequest(logoutConfiguration(), std::nullopt, std::nullopt).state()->size(),
            43u);
  auto restored = OIDEndSessionRequest::fromArchive(logout().archive());
  ASSERT_TRUE(restored);
  EXPECT_EQ(*restored, logout());
}

TEST_F(OIDEndSessionTest, ARedirectWithTheRightStateIsTheResponseEvenWithAnError) {
  auto session = start(logout());
  EXPECT_FALSE(
      session->resumeExternalUserAgentFlowWithURL(URL("flagrig://auth/other?state=st4te")));
  EXPECT_TRUE(outcomes.empty());
  EXPECT_TRUE(session->resumeExternalUserAgentFlowWithURL(
      URL("flagrig://auth/logout?state=st4te&error=access_denied")));
  ASSERT_EQ(outcomes.size(), 1u);
  ASSERT_TRUE(outcomes[0].response);
  EXPECT_EQ(outcomes[0].response->state(), "st4te");
  EXPECT_TRUE(outcomes[0].response->additionalParameters().contains("error"));
  // After the flow: not taken again.
  EXPECT_FALSE(
      session->resumeExternalUserAgentFlowWithURL(URL("flagrig://auth/logout?state=st4te")));
  EXPECT_EQ(outcomes.size(), 1u);
}

TEST_F(OIDEndSessionTest, FailuresReachTheCallbackOnce) {
  auto mismatch = start(logout());
  EXPECT_TRUE(mismatch->resumeExternalUserAgentFlowWithURL(URL("flagrig://auth/logout?state=x")));
  ASSERT_EQ(outcomes.size(), 1u);
  EXPECT_TRUE(outcomes[0].error->is(OIDOAuthAuthorizationErrorDomain, -61439));

  auto cancelled = start(logout());
  cancelled->cancel();
  cancelled->cancel();
  ASSERT_EQ(outcomes.size(), 2u);
  EXPECT_TRUE(outcomes[1].error->is(OIDErrorCode::userCancelledAuthorizationFlow));
  EXPECT_FALSE(outcomes[1].error->givenDescription());

  agent->accepts = false;
  start(logout());
  ASSERT_EQ(outcomes.size(), 3u);
  EXPECT_TRUE(outcomes[2].error->is(OIDErrorCode::userAgentRefused));
}

TEST_F(OIDEndSessionTest, AProviderWithoutEndSessionEndpointIsAnErrorNotACrash) {
  int presentedBefore = agent->presented;
  start(logout(URL("flagrig://auth/logout"), false));
  ASSERT_EQ(outcomes.size(), 1u);
  EXPECT_TRUE(outcomes[0].error->is(OIDErrorCode::invalidDiscoveryDocument));
  EXPECT_EQ(agent->presented, presentedBefore);
}

}  // namespace
}  // namespace tarnwick
