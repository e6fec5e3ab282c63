#include <gtest/gtest.h>

#include "Platform/Network/URLError.h"
#include "Platform/Sim/SimHTTPServer.h"
#include "ServiceCallOutcome.h"
#include "Support/SimTest.h"
#include "Tarnwick/OIDAuthorizationService.h"

namespace tarnwick {
namespace {

using platform::URL;
using platform::sim::SimHTTPAnswer;

const char* const kRegistrationEndpoint = "https://id.example.test/register";

OIDServiceConfiguration registeringConfiguration() {
  return OIDServiceConfiguration::withRegistrationEndpoint(URL("https://id.example.test/authorize"),
                                                           URL("https://id.example.test/token"),
                                                           URL(kRegistrationEndpoint));
}

OIDRegistrationRequest registration(OIDParameters extra = {},
                                    std::optional<std::vector<std::string>> grantTypes = {},
                                    std::optional<std::string> initialAccessToken = {}) {
  return OIDRegistrationRequest(registeringConfiguration(), {URL("flagrig://auth/callback")},
                                std::vector<std::string>{"code"}, std::move(grantTypes),
                                std::nullopt, "none", std::move(initialAccessToken),
                                std::move(extra));
}

TEST(OIDRegistrationRequestTest, BodyPrecedenceAndHeaders) {
  EXPECT_EQ(registration().JSONString(),
            R"({"redirect_uris":["flagrig:\/\/auth\/callback"],"application_type":"native",)"
            R"("response_types":["code"],"token_endpoint_auth_method":"none"})");

  // Additional parameters replace the fixed members; the request's own members replace them.
  auto overridden = registration({{"application_type", "web"}, {"grant_types", "x"}},
                                 std::vector<std::string>{"authorization_code"});
  EXPECT_EQ(overridden.JSONString(),
            R"({"redirect_uris":["flagrig:\/\/auth\/callback"],"application_type":"web",)"
            R"("grant_types":["authorization_code"],"response_types":["code"],)"
            R"("token_endpoint_auth_method":"none"})");

  auto request = registration({}, {}, "initial-token").URLRequest();
  ASSERT_TRUE(request);
  EXPECT_EQ(request->httpMethod, "POST");
  EXPECT_EQ(request->url, URL(kRegistrationEndpoint));
  EXPECT_EQ(request->value("Content-Type"), "application/json");
  EXPECT_EQ(request->value("Authorization"), "Bearer initial-token");
  EXPECT_FALSE(registration().URLRequest()->value("Authorization"));
}

class OIDRegistrationServiceTest : public platform::testing::SimTest {
 protected:
  using Outcome = testing::ServiceCallOutcome<OIDRegistrationResponse>;

  void SetUp() override {
    SimTest::SetUp();
    sim().http->respond("POST", kRegistrationEndpoint,
                        [this](const platform::HTTPRequest&) { return reply; });
  }

  Outcome perform(const OIDRegistrationRequest& request) {
    return testing::callService<OIDRegistrationResponse>(
        [&](auto callback) {
          OIDAuthorizationService::performRegistrationRequest(request, std::move(callback));
        },
        [this] { runUntilIdle(); });
  }

  SimHTTPAnswer reply = SimHTTPAnswer::status(500);
};

TEST_F(OIDRegistrationServiceTest, AnswersAndTheirRules) {
  std::string general(OIDGeneralErrorDomain);
  std::string registrationDomain(OIDOAuthRegistrationErrorDomain);
  struct Case {
    const char* name;
    SimHTTPAnswer answer;
    std::optional<std::pair<std::string, long>> error;
  };
  Case cases[] = {
      {"201", SimHTTPAnswer::json(201, R"({"client_id":"c1"})"), std::nullopt},
      {"200", SimHTTPAnswer::json(200, R"({"client_id":"c1"})"), std::nullopt},
      {"secret with expiry",
       SimHTTPAnswer::json(201,
                           R"({"client_id":"c","client_secret":"s","client_secret_expires_at":0})"),
       std::nullopt},
      {"both management members",
       SimHTTPAnswer::json(201, R"({"client_id":"c","registration_access_token":"t",)"
                                R"("registration_client_uri":"https://id.example.test/c/1"})"),
       std::nullopt},
      {"transfer", SimHTTPAnswer::failing(platform::URLError::notConnectedToInternet),
       std::pair{general, -5L}},
      {"oauth 400", SimHTTPAnswer::json(400, R"({"error":"invalid_request"})"),
       std::pair{registrationDomain, -2L}},
      {"oauth body on 401", SimHTTPAnswer::json(401, R"({"error":"invalid_request"})"),
       std::pair{general, -6L}},
      {"202", SimHTTPAnswer::json(202, R"({"client_id":"c1"})"), std::pair{general, -6L}},
      {"not json", SimHTTPAnswer::status(201, "<html>"), std::pair{general, -7L}},
      {"not an object", SimHTTPAnswer::json(201, "[1]"), std::pair{general, -12L}},
      {"secret without expiry",
       SimHTTPAnswer::json(201, R"({"client_id":"c","client_secret":"s"})"),
       std::pair{general, -12L}},
      {"token without uri",
       SimHTTPAnswer::json(201, R"({"client_id":"c","registration_access_token":"t"})"),
       std::pair{general, -12L}},
      {"uri without token",
       SimHTTPAnswer::json(201, R"({"client_id":"c","registration_client_uri":"https://x.test/"})"),
       std::pair{general, -12L}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    reply = c.answer;
    auto out = perform(registration());
    if (!c.error) {
      EXPECT_TRUE(out.response);
      continue;
    }
    ASSERT_TRUE(out.error);
    EXPECT_EQ(out.error->domain(), c.error->first);
    EXPECT_EQ(out.error->code(), c.error->second);
  }
}

TEST_F(OIDRegistrationServiceTest, ReadsTheCredentials) {
  reply = SimHTTPAnswer::json(
      201, R"({"client_id":"c1","client_id_issued_at":1700000000,"client_secret":"s3cr3t-value",)"
           R"("client_secret_expires_at":1800000000,"registration_access_token":"rat-0123456789",)"
           R"("registration_client_uri":"https://id.example.test/clients/c1",)"
           R"("token_endpoint_auth_method":"client_secret_basic","logo_uri":"x"})");
  auto out = perform(registration());
  ASSERT_TRUE(out.response);
  const auto& response = *out.response;
  EXPECT_EQ(response.clientID(), "c1");
  EXPECT_EQ(response.clientIDIssuedAt(), platform::Date::fromSecondsSince1970(1700000000));
  EXPECT_EQ(response.clientSecretExpiresAt(), platform::Date::fromSecondsSince1970(1800000000));
  EXPECT_EQ(response.registrationClientURI(), URL("https://id.example.test/clients/c1"));
  EXPECT_EQ(response.tokenEndpointAuthenticationMethod(), "client_secret_basic");
  EXPECT_EQ(response.additionalParameters().size(), 1u);
  auto text = response.description();
  EXPECT_EQ(text.find("s3cr3t-value"), std::string::npos);
  EXPECT_EQ(text.find("rat-0123456789"), std::string::npos);
  auto restored = OIDRegistrationResponse::fromArchive(response.archive());
  ASSERT_TRUE(restored);
  EXPECT_EQ(*restored, response);
}

TEST_F(OIDRegistrationServiceTest, AConfigurationWithoutRegistrationEndpointIsAnError) {
  OIDRegistrationRequest request(OIDServiceConfiguration(URL("https://id.example.test/authorize"),
                                                         URL("https://id.example.test/token")),
                                 {URL("flagrig://auth/callback")}, std::nullopt, std::nullopt,
                                 std::nullopt, std::nullopt, std::nullopt);
  auto out = perform(request);
  ASSERT_TRUE(out.error);
  EXPECT_TRUE(out.error->is(OIDErrorCode::invalidDiscoveryDocument));
  EXPECT_TRUE(sim().http->requests().empty());
}

}  // namespace
}  // namespace tarnwick
