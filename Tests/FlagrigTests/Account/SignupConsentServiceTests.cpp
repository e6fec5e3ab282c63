#include <gtest/gtest.h>

#include "AccountTest.h"
#include "Flagrig/Account/SignupConsentService.h"
#include "Flagrig/Shell/Constants.h"
#include "Platform/Foundation/Base64.h"
#include "Platform/Foundation/ProcessInfo.h"
#include "Platform/Security/SHA256.h"
#include "Support/CompactJWS.h"

namespace flagrig::testing {
namespace {

class SignupConsentServiceTest : public AccountTest {
 protected:
  static constexpr const char* kConsents = "https://account.test/api/account/consents";
  static constexpr const char* kCapture = "https://contacts.test/api/v1/contacts/capture";

  // Both services answer with `consents` and `capture` from now on (queued answers first).
  void answer(platform::sim::SimHTTPAnswer consents = platform::sim::SimHTTPAnswer::json(201, "{}"),
              platform::sim::SimHTTPAnswer capture = platform::sim::SimHTTPAnswer::json(200,
                                                                                        "{}")) {
    sim().http->respond("POST", kConsents, std::move(consents));
    sim().http->respond("POST", kCapture, std::move(capture));
  }

  // Signed in with a stored session whose token is `vas`.
  void signIn(const std::string& vas = "vas_token", const std::string& accountID = kAccountID,
              const std::string& email = kEmail) {
    signInWithSessionToken(vas, accountID, email);
  }
  void setRegion(std::optional<std::string> region) {
    auto fields = platform::env().processInfo->fields();
    fields.localeRegion = std::move(region);
    platform::env().processInfo->setFields(fields);
  }
  // As a screen built in the current locale submits it.
  void submit(bool marketingChecked, bool touched) {
    submitFrom(SignupConsentService::marketingPreChecked(), marketingChecked, touched);
  }
  void submitFrom(bool initiallyChecked, bool marketingChecked, bool touched) {
    await(SignupConsentService::submit(
        VoskaryAccountBridge::sharedPointer(),
        {.checked = marketingChecked, .touched = touched, .initiallyChecked = initiallyChecked}));
  }
  // The URLs of every consent and capture request, in the order they were sent.
  std::vector<std::string> sent() {
    std::vector<std::string> urls;
    for (const auto& recorded : sim().http->requests()) {
      auto url = recorded.request.url.absoluteString();
      if (url == kConsents || url == kCapture) urls.push_back(url);
    }
    return urls;
  }
  std::vector<std::string> warnings() {
    std::vector<std::string> out;
    for (const auto& line : logLines())
      if (line.find(" consent: ") != std::string::npos) out.push_back(line);
    return out;
  }
};

TEST_F(SignupConsentServiceTest, WithoutAnAccountSessionNothingIsSent) {
  // Signed out, then signed in with a token that is no account session token.
  submit(true, true);
  signIn("abc");
  submit(true, true);
  EXPECT_TRUE(sent().empty());
  EXPECT_EQ(warnings(),
            std::vector<std::string>(2, "warn consent: missing VAS; skipping consent capture"));
}

TEST_F(SignupConsentServiceTest, TwoConsentsTermsFirstWithTheTokenAndAProof) {
  answer();
  signIn();
  submit(false, false);
  ASSERT_EQ(sent(), (std::vector<std::string>{kConsents, kConsents}));
  auto requests = requestsToURL(kConsents);
  const char* kinds[] = {"terms", "privacy"};
  for (std::size_t i = 0; i < 2; ++i) {
    const auto& request = requests[i];
    EXPECT_EQ(request.httpMethod, "POST");
    EXPECT_EQ(request.timeoutInterval, 8.0);
    EXPECT_EQ(request.value("Content-Type"), "application/json");
    EXPECT_EQ(request.value("Authorization"), "Bearer vas_token");
    EXPECT_EQ(bodyText(request),
              std::string(R"({"kind":")") + kinds[i] +
                  R"(","version":"v1-2026-06","surface":"flagrig_mac_siwa_confirm",)"
                  R"("verbatim_text":"By creating an account you agree to the Terms of Service )"
                  R"(and Privacy Policy"})");
    // The proof binds the method, the URL and the token.
    auto proof = request.value("DPoP");
    ASSERT_TRUE(proof);
    auto jws = voskary::testing::CompactJWS::parse(*proof);
    ASSERT_TRUE(jws);
    auto header = platform::JSONSerialization::parse(jws->header);
    auto claims = platform::JSONSerialization::parse(jws->claims);
    EXPECT_EQ(header["typ"], "dpop+jwt");
    EXPECT_TRUE(jws->verifies(header["jwk"]["x"].get<std::string>(),
                              header["jwk"]["y"].get<std::string>()));
    EXPECT_EQ(claims["htm"], "POST");
    EXPECT_EQ(claims["htu"], kConsents);
    const std::string token = "vas_token";
    auto digest = platform::SHA256::hash(
        std::span(reinterpret_cast<const std::uint8_t*>(token.data()), token.size()));
    EXPECT_EQ(claims["ath"], platform::Base64::urlEncode(digest));
  }
}

TEST_F(SignupConsentServiceTest, RequestsAreStrictlySequential) {
  signIn();
  answer(platform::sim::SimHTTPAnswer::json(201, "{}").holding());
  auto out = start(SignupConsentService::submit(VoskaryAccountBridge::sharedPointer(),
                                                {.checked = true, .touched = true}));
  runUntilIdle();
  EXPECT_EQ(sent().size(), 1u) << "privacy waits for terms";
  ASSERT_TRUE(sim().http->releaseHeld());
  runUntilIdle();
  EXPECT_EQ(sent().size(), 2u) << "the capture waits for privacy";
  ASSERT_TRUE(sim().http->releaseHeld());
  runUntilIdle();
  EXPECT_EQ(sent(), (std::vector<std::string>{kConsents, kConsents, kCapture}));
  EXPECT_TRUE(out->done);
}

TEST_F(SignupConsentServiceTest, TheMarketingCaptureCarriesTheTrimmedAddressAndTheMethod) {
  struct Case {
    const char* region;
    bool touched;
    const char* accountID;
    const char* expectedBody;
  };
  const std::vector<Case> cases{
      {"US", false, kAccountID,
       R"({"email":"someone@voskary.test","list_slug":"flagrig_marketing","app_slug":"flagrig",)"
       R"("source_type":"signup","consent_method":"default_checked",)"
       R"("consent_text":"Send me app updates & offers from Voskary Studios",)"
       R"("consent_version":"v1-2026-06",)"
       R"("voskary_account_id":"va_0190b3c4-5d6e-7f80-9a1b-2c3d4e5f6a7b"})"},
      {"US", true, "acct_9",
       R"({"email":"someone@voskary.test","list_slug":"flagrig_marketing","app_slug":"flagrig",)"
       R"("source_type":"signup","consent_method":"explicit_checkbox",)"
       R"("consent_text":"Send me app updates & offers from Voskary Studios",)"
       R"("consent_version":"v1-2026-06"})"},
      {"DE", false, kAccountID, nullptr},
      {nullptr, false, kAccountID, nullptr},
  };
  answer();
  for (const auto& c : cases) {
    setRegion(c.region ? std::optional<std::string>(c.region) : std::nullopt);
    signIn("vas_token", c.accountID, " \n someone@voskary.test\t\n");
    submit(true, c.touched);
    auto captures = requestsToURL(kCapture);
    ASSERT_FALSE(captures.empty());
    const auto& request = captures.back();
    EXPECT_EQ(request.value("Authorization"), std::nullopt);
    EXPECT_EQ(request.value("DPoP"), std::nullopt);
    EXPECT_EQ(request.timeoutInterval, 8.0);
    auto body = platform::JSONSerialization::parse(bodyText(request));
    if (c.expectedBody) {
      EXPECT_EQ(bodyText(request), c.expectedBody);
    } else {
      EXPECT_EQ(body["consent_method"], "explicit_checkbox") << (c.region ? c.region : "none");
    }
  }
}

// The method says what the screen showed, whatever the locale says by the time of Continue.
TEST_F(SignupConsentServiceTest, TheMethodFollowsTheBoxAsTheScreenStartedIt) {
  struct Case {
    const char* regionNow;
    bool initiallyChecked;
    bool touched;
    const char* method;
  };
  const Case cases[] = {
      {"DE", true, false, "default_checked"},
      {"US", false, false, "explicit_checkbox"},
      {"US", true, true, "explicit_checkbox"},
  };
  answer();
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.regionNow) + (c.initiallyChecked ? " pre-checked" : ""));
    setRegion(c.regionNow);
    signIn("vas_token", kAccountID, "someone@voskary.test");
    submitFrom(c.initiallyChecked, true, c.touched);
    auto captures = requestsToURL(kCapture);
    ASSERT_FALSE(captures.empty());
    auto body = platform::JSONSerialization::parse(bodyText(captures.back()));
    EXPECT_EQ(body["consent_method"], c.method);
  }
}

TEST_F(SignupConsentServiceTest, ABlankAddressSendsTheConsentsButNoCapture) {
  answer();
  signIn("vas_token", kAccountID, " \u2003\n ");
  submit(true, false);
  EXPECT_EQ(sent(), (std::vector<std::string>{kConsents, kConsents}));
}

TEST_F(SignupConsentServiceTest, FailuresAreLoggedAndNeverRetried) {
  signIn();
  sim().http->respond("POST", kConsents, platform::sim::SimHTTPAnswer::json(401, "{}"));
  answer(platform::sim::SimHTTPAnswer::json(201, "{}"),
         platform::sim::SimHTTPAnswer::failing(platform::URLError::notConnectedToInternet));
  submit(true, true);
  EXPECT_EQ(sent(), (std::vector<std::string>{kConsents, kConsents, kCapture}));
  EXPECT_EQ(warnings(),
            (std::vector<std::string>{"warn consent: consent terms HTTP 401",
                                      "error consent: marketing capture network error"}));
}

TEST_F(SignupConsentServiceTest, NonHTTPAnswersPassSilentlyAndAFailedCaptureIsLogged) {
  signIn();
  answer(platform::sim::SimHTTPAnswer::notHTTP(), platform::sim::SimHTTPAnswer::json(503, "{}"));
  submit(true, true);
  EXPECT_EQ(sent().size(), 3u);
  EXPECT_EQ(warnings(), (std::vector<std::string>{"warn consent: marketing capture HTTP 503"}));
}

TEST_F(SignupConsentServiceTest, WithoutADeviceKeyTheConsentsGoOutWithoutAProof) {
  answer();
  signIn();
  sim().keyStore->setSigningFails(true);
  submit(false, false);
  auto requests = requestsToURL(kConsents);
  ASSERT_EQ(requests.size(), 2u);
  for (const auto& request : requests) {
    EXPECT_EQ(request.value("Authorization"), "Bearer vas_token");
    EXPECT_EQ(request.value("DPoP"), std::nullopt);
  }
}

}  // namespace
}  // namespace flagrig::testing
