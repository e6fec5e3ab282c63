#include <gtest/gtest.h>

#include "TarnwickCore/OIDAuthorizationRequest.h"
#include "TarnwickTests/TarnwickTestValues.h"

namespace tarnwick {
namespace {

using platform::URL;
using testing::queryOf;
using testing::testConfiguration;
using testing::testRequest;
using Query = std::map<std::string, std::vector<std::string>>;

bool isBase64url43(const std::optional<std::string>& text) {
  return text && text->size() == 43 &&
         text->find_first_not_of(
             "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_") ==
             std::string::npos;
}

TEST(OIDAuthorizationRequestTest, GeneratesFreshSecretsForEachRequest) {
  auto a = testRequest();
  auto b = testRequest();
  for (const auto* request : {&a, &b}) {
    EXPECT_TRUE(isBase64url43(request->state()));
    EXPECT_TRUE(isBase64url43(request->nonce()));
    EXPECT_TRUE(isBase64url43(request->codeVerifier()));
    EXPECT_EQ(request->codeChallenge(),
              OIDAuthorizationRequest::codeChallengeS256ForVerifier(request->codeVerifier()));
    EXPECT_EQ(request->codeChallengeMethod(), "S256");
    EXPECT_NE(request->state(), request->nonce());
  }
  EXPECT_NE(a.state(), b.state());
  EXPECT_NE(a.nonce(), b.nonce());
  EXPECT_NE(a.codeVerifier(), b.codeVerifier());

  auto withNonce = OIDAuthorizationRequest::withNonce(
      testConfiguration(), "flagrig", {"a"}, std::nullopt, "code", "my-nonce", std::nullopt);
  EXPECT_EQ(withNonce.nonce(), "my-nonce");
  EXPECT_TRUE(isBase64url43(withNonce.state()));
}

TEST(OIDAuthorizationRequestTest, ChallengeIsTheS256OfTheVerifier) {
  // SHA-256 of "abc" is ba7816bf...f20015ad; in base64url it needs both "-" and "_".
  EXPECT_EQ(OIDAuthorizationRequest::codeChallengeS256ForVerifier(std::string("abc")),
            "ungWv48Bz-pBQUDeXa4iI7ADYaOWF3qctBD_YfIAFa0");
  EXPECT_EQ(OIDAuthorizationRequest::codeChallengeS256ForVerifier(std::nullopt), std::nullopt);
}

TEST(OIDAuthorizationRequestTest, URLCarriesTheRequestAndDropsTheEndpointsQuery) {
  auto request = testRequest(testConfiguration(URL("https://id.example.test/authorize?tenant=x#f")),
                             OIDParameters{{"prompt", "select_account"}});
  URL url = request.authorizationRequestURL();
  EXPECT_EQ(url.scheme(), "https");
  EXPECT_EQ(url.path(), "/authorize");
  EXPECT_EQ(url.fragment(), "f");
  EXPECT_EQ(queryOf(url), (Query{
                              {"response_type", {"code"}},
                              {"client_id", {"flagrig"}},
                              {"redirect_uri", {"flagrig://auth/callback"}},
                              {"scope", {"voskary.account"}},
                              {"state", {*request.state()}},
                              {"nonce", {*request.nonce()}},
                              {"code_challenge", {*request.codeChallenge()}},
                              {"code_challenge_method", {"S256"}},
                              {"prompt", {"select_account"}},
                          }));
  // The redirect URL's ":" and "/" travel as they are, and the base64url values unchanged.
  EXPECT_NE(url.query()->find("redirect_uri=flagrig://auth/callback"), std::string::npos);
  EXPECT_NE(url.query()->find("state=" + *request.state()), std::string::npos);
  EXPECT_EQ(request.externalUserAgentRequestURL(), url);
  EXPECT_EQ(request.redirectScheme(), "flagrig");
}

TEST(OIDAuthorizationRequestTest, URLHoldsOnlyWhatTheRequestHas) {
  OIDAuthorizationRequest bare(testConfiguration(), "client", std::nullopt, std::nullopt,
                               std::nullopt, "code", std::nullopt, std::nullopt, std::nullopt,
                               std::nullopt, std::nullopt, OIDParameters{{"state", "extra"}});
  EXPECT_EQ(queryOf(bare.authorizationRequestURL()),
            (Query{{"response_type", {"code"}}, {"client_id", {"client"}}, {"state", {"extra"}}}));
  EXPECT_EQ(bare.redirectScheme(), std::nullopt);

  // A repeated name sends both values; a space in the scope travels as %20.
  auto twice = testRequest(testConfiguration(), OIDParameters{{"state", "extra"}});
  EXPECT_EQ(queryOf(twice.authorizationRequestURL())["state"],
            (std::vector<std::string>{"extra", *twice.state()}));
  OIDAuthorizationRequest spaced(testConfiguration(), "flagrig", {"openid", "voskary.account"},
                                 std::nullopt, "code", std::nullopt);
  EXPECT_NE(spaced.authorizationRequestURL().query()->find("scope=openid%20voskary.account"),
            std::string::npos);
}

TEST(OIDAuthorizationRequestTest, AcceptsOnlyTheCodeResponseTypes) {
  for (const char* type : {"code", "code id_token", "id_token code"}) {
    EXPECT_TRUE(OIDAuthorizationRequest::isSupportedResponseType(type)) << type;
    EXPECT_NO_THROW(
        OIDAuthorizationRequest(testConfiguration(), "c", {}, std::nullopt, type, std::nullopt));
  }
  for (const char* type : {"token", "id_token", "Code", "code  id_token", "code token", ""}) {
    EXPECT_FALSE(OIDAuthorizationRequest::isSupportedResponseType(type)) << type;
  }
  try {
    OIDAuthorizationRequest(testConfiguration(), "c", {}, std::nullopt, "token", std::nullopt);
    ADD_FAILURE() << "accepted token";
  } catch (const platform::ProgrammingError& e) {
    EXPECT_STREQ(e.what(),
                 "The response_type \"token\" isn't supported. Tarnwick only supports the \"code\" "
                 "or \"code id_token\" response_type.");
  }
}

TEST(OIDAuthorizationRequestTest, ArchivesRoundTrip) {
  auto request = testRequest(testConfiguration(), OIDParameters{{"provider", "google"}});
  auto restored = OIDAuthorizationRequest::fromArchive(request.archive());
  ASSERT_TRUE(restored);
  EXPECT_EQ(*restored, request);
  EXPECT_EQ(restored->authorizationRequestURL(), request.authorizationRequestURL());

  auto archive = *request.archive().asDictionary();
  archive["response_type"] = "token";
  EXPECT_THROW(OIDAuthorizationRequest::fromArchive(archive), platform::ProgrammingError);
  archive.erase("client_id");
  EXPECT_EQ(OIDAuthorizationRequest::fromArchive(archive), std::nullopt);
}

}  // namespace
}  // namespace tarnwick
