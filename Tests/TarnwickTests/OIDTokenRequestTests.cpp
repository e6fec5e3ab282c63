#include <gtest/gtest.h>

#include "Platform/Foundation/Base64.h"
#include "Platform/Foundation/Clock.h"
#include "Platform/Foundation/Environment.h"
#include "Platform/Foundation/Error.h"
#include "Platform/Network/URLError.h"
#include "Platform/Sim/SimHTTPServer.h"
#include "ServiceCallOutcome.h"
#include "Support/SimTest.h"
#include "Tarnwick/OIDAuthorizationService.h"
#include "TarnwickCore/OIDIDToken.h"
#include "TarnwickTestValues.h"

namespace tarnwick {
namespace {

using platform::URL;
using platform::sim::SimHTTPAnswer;
using testing::testConfiguration;

const char* const kTokenEndpoint = "https://id.example.test/token";

OIDTokenRequest codeExchange(std::optional<std::string> secret = std::nullopt,
                             OIDParameters extraHeaders = {}) {
  return OIDTokenRequest(testConfiguration(), std::string(OIDGrantTypeAuthorizationCode),
                         "the-code-123", URL("flagrig://auth/callback"), "flagrig",
                         std::move(secret), std::nullopt, std::nullopt, "verifier-abcdefghij",
                         {{"resource", "r1"}}, std::move(extraHeaders));
}

std::string bodyOf(const platform::HTTPRequest& request) {
  return std::string(request.httpBody->begin(), request.httpBody->end());
}

TEST(OIDTokenRequestTest, CodeExchangeBodyAndClientAuthentication) {
  auto withoutSecret = codeExchange().URLRequest();
  EXPECT_EQ(withoutSecret.httpMethod, "POST");
  EXPECT_EQ(withoutSecret.url, URL(kTokenEndpoint));
  EXPECT_EQ(withoutSecret.value("Content-Type"),
            "application/x-www-form-urlencoded; charset=UTF-8");
  EXPECT_FALSE(withoutSecret.value("Authorization"));
  EXPECT_EQ(bodyOf(withoutSecret),
            "client_id=flagrig&code=the-code-123&code_verifier=verifier-abcdefghij&"
            "grant_type=authorization_code&redirect_uri=flagrig://auth/callback&resource=r1");

  // RFC 6749 section 2.3.1: each half is form-encoded before the pair is base64-encoded.
  OIDTokenRequest secretRequest(testConfiguration(), std::string(OIDGrantTypeClientCredentials),
                                std::nullopt, std::nullopt, "my client", "p:w&d+", "read",
                                std::nullopt, std::nullopt);
  auto withSecret = secretRequest.URLRequest();
  EXPECT_EQ(withSecret.value("Authorization"),
            "Basic " + platform::Base64::encode(std::string_view("my+client:p%3Aw%26d%2B")));
  EXPECT_EQ(bodyOf(withSecret), "grant_type=client_credentials&scope=read");
  EXPECT_EQ(secretRequest.tokenRequestBody().valuesForParameter("client_id"), nullptr);

  // Extra headers are set last and win.
  auto overridden = codeExchange(std::nullopt, {{"content-type", "text/plain"}}).URLRequest();
  EXPECT_EQ(overridden.value("Content-Type"), "text/plain");
}

TEST(OIDTokenRequestTest, ACodeGrantNeedsARedirectURL) {
  EXPECT_THROW(OIDTokenRequest(testConfiguration(), std::string(OIDGrantTypeAuthorizationCode),
                               "code", std::nullopt, "flagrig", std::nullopt, std::nullopt,
                               std::nullopt, std::nullopt),
               platform::ProgrammingError);
  EXPECT_NO_THROW(OIDTokenRequest(testConfiguration(), std::string(OIDGrantTypeRefreshToken),
                                  std::nullopt, std::nullopt, "flagrig", std::nullopt, std::nullopt,
                                  "rt", std::nullopt));
}

TEST(OIDTokenRequestTest, DescriptionsRedactTheSecrets) {
  OIDTokenRequest refresh(testConfiguration(), std::string(OIDGrantTypeRefreshToken), std::nullopt,
                          std::nullopt, "flagrig", std::nullopt, std::nullopt,
                          "refresh-token-0123456789", std::nullopt);
  std::string requestText = codeExchange().description() + refresh.description();
  for (const char* secret : {"the-code-123", "verifier-abcdefghij", "refresh-token-0123456789"}) {
    EXPECT_EQ(requestText.find(secret), std::string::npos) << secret;
  }
  EXPECT_NE(requestText.find("refres...%5Bredacted%5D"), std::string::npos) << requestText;

  OIDTokenResponse response(refresh, {{"access_token", "access-0123456789"},
                                      {"refresh_token", "refresh-0123456789"},
                                      {"id_token", "id-token-0123456789"},
                                      {"token_type", "Bearer"}});
  std::string responseText = response.description();
  for (const char* secret : {"access-0123456789", "refresh-0123456789", "id-token-0123456789"}) {
    EXPECT_EQ(responseText.find(secret), std::string::npos) << secret;
  }
}

TEST(OIDTokenRequestTest, TheExchangeRequestOfAnAuthorizationResponse) {
  auto request = testing::testRequest();
  OIDAuthorizationResponse response(request, {{"code", "c0de"}, {"state", *request.state()}});
  auto exchange = response.tokenExchangeRequest({{"p", "1"}}, {{"H", "2"}});
  EXPECT_EQ(exchange.grantType(), OIDGrantTypeAuthorizationCode);
  EXPECT_EQ(exchange.authorizationCode(), "c0de");
  EXPECT_EQ(exchange.redirectURL(), request.redirectURL());
  EXPECT_EQ(exchange.clientID(), request.clientID());
  EXPECT_EQ(exchange.codeVerifier(), request.codeVerifier());
  EXPECT_FALSE(exchange.scope());
  EXPECT_FALSE(exchange.refreshToken());
  EXPECT_EQ(exchange.additionalParameters(), (OIDParameters{{"p", "1"}}));
  EXPECT_EQ(exchange.additionalHeaders(), (OIDParameters{{"H", "2"}}));

  OIDAuthorizationResponse withoutCode(request, {{"state", *request.state()}});
  EXPECT_THROW(withoutCode.tokenExchangeRequest(), platform::ProgrammingError);
}

// An unsigned JWT with the given claims.
std::string idToken(const std::string& claimsJSON) {
  return platform::Base64::urlEncode(std::string_view(R"({"alg":"none"})")) + "." +
         platform::Base64::urlEncode(std::string_view(claimsJSON)) + ".";
}

class OIDTokenServiceTest : public platform::testing::SimTest {
 protected:
  using Outcome = testing::ServiceCallOutcome<OIDTokenResponse>;

  Outcome perform(const OIDTokenRequest& request,
                  const std::optional<OIDAuthorizationResponse>& original = std::nullopt) {
    return testing::callService<OIDTokenResponse>(
        [&](auto callback) {
          OIDAuthorizationService::performTokenRequest(request, original, std::move(callback));
        },
        [this] { runUntilIdle(); });
  }

  void SetUp() override {
    SimTest::SetUp();
    sim().http->respond("POST", kTokenEndpoint,
                        [this](const platform::HTTPRequest&) { return reply; });
  }

  Outcome answer(SimHTTPAnswer answer, const OIDTokenRequest& request = codeExchange()) {
    reply = std::move(answer);
    return perform(request);
  }

  SimHTTPAnswer reply = SimHTTPAnswer::status(500);

  long now() const { return static_cast<long>(platform::env().clock->now().secondsSince1970); }

  // Claims that pass every check for `codeExchange()`, with `extra` spliced in.
  std::string claims(const std::string& extra = {}, long issuedAgo = 0, long expiresIn = 300,
                     const std::string& aud = R"("flagrig")") {
    return R"({"iss":"https://id.example.test","sub":"u1","aud":)" + aud + R"(,"iat":)" +
           std::to_string(now() - issuedAgo) + R"(,"exp":)" + std::to_string(now() + expiresIn) +
           extra + "}";
  }

  std::string tokenAnswer(const std::string& idTokenText) {
    return R"({"access_token":"at","token_type":"Bearer","id_token":")" + idTokenText + R"("})";
  }
};

TEST_F(OIDTokenServiceTest, RequestsAndResponsesSurviveTheirArchives) {
  auto request = codeExchange("secret", {{"X-A", "1"}});
  auto restored = OIDTokenRequest::fromArchive(request.archive());
  ASSERT_TRUE(restored);
  EXPECT_EQ(*restored, request);

  OIDTokenResponse response(request, {{"access_token", "a"},
                                      {"token_type", "Bearer"},
                                      {"expires_in", std::int64_t{60}},
                                      {"extra", true}});
  auto restoredResponse = OIDTokenResponse::fromArchive(response.archive());
  ASSERT_TRUE(restoredResponse);
  EXPECT_EQ(*restoredResponse, response);
  EXPECT_EQ(restoredResponse->additionalParameters().at("extra"), platform::Value(true));
}

TEST_F(OIDTokenServiceTest, StatusesAndBodies) {
  struct Case {
    const char* name;
    SimHTTPAnswer answer;
    std::string domain;
    long code;
  };
  std::string general(OIDGeneralErrorDomain);
  std::string token(OIDOAuthTokenErrorDomain);
  Case cases[] = {
      {"transfer", SimHTTPAnswer::failing(platform::URLError::timedOut), general, -5},
      {"not http", SimHTTPAnswer::notHTTP(), general, -5},
      {"oauth 400", SimHTTPAnswer::json(400, R"({"error":"invalid_grant"})"), token, -10},
      {"oauth 401", SimHTTPAnswer::json(401, R"({"error":"invalid_client"})"), token, -9},
      {"oauth body on 500", SimHTTPAnswer::json(500, R"({"error":"invalid_grant"})"), general, -6},
      {"400 without json", SimHTTPAnswer::status(400, "nope"), general, -6},
      {"201", SimHTTPAnswer::json(201, R"({"access_token":"a","token_type":"b"})"), general, -6},
      {"200 not json", SimHTTPAnswer::status(200, "{"), general, -7},
      {"200 array", SimHTTPAnswer::json(200, "[]"), general, -8},
      {"200 no access token", SimHTTPAnswer::json(200, R"({"token_type":"Bearer"})"), general, -8},
      {"200 no token type", SimHTTPAnswer::json(200, R"({"access_token":"a"})"), general, -8},
      {"200 access token not text",
       SimHTTPAnswer::json(200, R"({"access_token":1,"token_type":"b"})"), general, -8},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto out = answer(c.answer);
    ASSERT_TRUE(out.error);
    EXPECT_EQ(out.error->domain(), c.domain);
    EXPECT_EQ(out.error->code(), c.code);
  }

  auto oauth = answer(SimHTTPAnswer::json(400, R"({"error":"invalid_grant"})"));
  auto underlying = std::dynamic_pointer_cast<const OIDError>(oauth.error->underlyingError());
  ASSERT_TRUE(underlying);
  EXPECT_TRUE(underlying->is(OIDHTTPErrorDomain, 400));

  auto ok = answer(SimHTTPAnswer::json(
      200,
      R"({"access_token":"at","token_type":"Bearer","expires_in":3600,"refresh_token":"rt","x":1})"));
  ASSERT_TRUE(ok.response);
  EXPECT_EQ(ok.response->accessToken(), "at");
  EXPECT_EQ(ok.response->refreshToken(), "rt");
  EXPECT_EQ(ok.response->accessTokenExpirationDate(),
            platform::env().clock->now().addingTimeInterval(3600));
  EXPECT_TRUE(ok.response->additionalParameters().contains("x"));

  auto sent = sim().http->requests().back().request;
  EXPECT_EQ(bodyOf(sent), bodyOf(codeExchange().URLRequest()));
}

TEST_F(OIDTokenServiceTest, IDTokenChecks) {
  auto request = testing::testRequest();
  OIDAuthorizationResponse original(request, {{"code", "c"}, {"state", *request.state()}});
  std::string nonce = R"(,"nonce":")" + *request.nonce() + "\"";
  struct Case {
    const char* name;
    std::string token;
    std::optional<std::string> failure;  // nothing: accepted
  };
  Case cases[] = {
      {"valid", idToken(claims(nonce)), std::nullopt},
      {"single audience text", idToken(claims(nonce, 0, 300, R"("flagrig")")), std::nullopt},
      {"audience list", idToken(claims(nonce, 0, 300, R"(["other","flagrig"])")), std::nullopt},
      {"unparseable", "garbage", "ID Token parsing failed"},
      {"claims not base64", "e30.@@@.", "ID Token parsing failed"},
      {"missing subject",
       idToken(R"({"iss":"https://id.example.test","aud":"flagrig","iat":1,"exp":2})"),
       "ID Token parsing failed"},
      {"issuer",
       idToken(R"({"iss":"https://evil.test","sub":"u","aud":"flagrig","iat":)" +
               std::to_string(now()) + R"(,"exp":)" + std::to_string(now() + 60) + "}"),
       "Issuer mismatch"},
      {"audience", idToken(claims(nonce, 0, 300, R"("other")")), "Audience mismatch"},
      {"azp alone is no audience",
       idToken(claims(nonce + R"(,"azp":"flagrig")", 0, 300, R"("other")")), "Audience mismatch"},
      {"expired", idToken(claims(nonce, 0, -1)), "ID Token expired"},
      {"issued 601 s ago", idToken(claims(nonce, 601)),
       "Issued at time is more than 600 seconds before or after the current time"},
      {"issued 599 s ago", idToken(claims(nonce, 599)), std::nullopt},
      {"issued 601 s ahead", idToken(claims(nonce, -601)),
       "Issued at time is more than 600 seconds before or after the current time"},
      {"nonce", idToken(claims(R"(,"nonce":"other")")), "Nonce mismatch"},
      {"no nonce in token", idToken(claims()), "Nonce mismatch"},
  };
  OIDTokenRequest exchange = original.tokenExchangeRequest();
  OIDTokenRequest withIssuer(
      OIDServiceConfiguration(exchange.configuration().authorizationEndpoint(),
                              exchange.configuration().tokenEndpoint(),
                              URL("https://id.example.test")),
      exchange.grantType(), exchange.authorizationCode(), exchange.redirectURL(),
      exchange.clientID(), std::nullopt, std::nullopt, std::nullopt, exchange.codeVerifier());
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    reply = SimHTTPAnswer::json(200, tokenAnswer(c.token));
    auto out = perform(withIssuer, original);
    if (!c.failure) {
      EXPECT_TRUE(out.response);
      continue;
    }
    ASSERT_TRUE(out.error);
    EXPECT_EQ(out.error->domain(), OIDGeneralErrorDomain);
    EXPECT_EQ(out.error->code(), *c.failure == "ID Token parsing failed" ? -14 : -15);
    EXPECT_EQ(out.error->description(), *c.failure);
  }

  // A refresh has no nonce to compare.
  OIDTokenRequest refresh(testConfiguration(), std::string(OIDGrantTypeRefreshToken), std::nullopt,
                          std::nullopt, "flagrig", std::nullopt, std::nullopt, "rt", std::nullopt);
  reply = SimHTTPAnswer::json(200, tokenAnswer(idToken(claims(R"(,"nonce":"x")"))));
  EXPECT_TRUE(perform(refresh, original).response);
}

}  // namespace
}  // namespace tarnwick
