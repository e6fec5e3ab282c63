#include "VoskaryAccount/Client/VoskaryError.h"

#include <gtest/gtest.h>

#include <vector>

namespace voskary {
namespace {

using platform::URL;

TEST(VoskaryErrorTests, DescriptionsReadWordForWord) {
  struct Case {
    VoskaryError error;
    std::string sentence;
  };
  const Case cases[] = {
      {VoskaryError::serverError(500), "Server error (500)."},
      {VoskaryError::serverError(400, "invalid_grant"), "Server error (400 \u2014 invalid_grant)."},
      {VoskaryError::serverError(500, ""), "Server error (500 \u2014 )."},
      {VoskaryError::serverError(-7, " x "), "Server error (-7 \u2014  x )."},
      {VoskaryError::malformedResponse(), "Couldn't read the server response."},
      {VoskaryError::malformedResponse("url"), "Couldn't read the server response (url)."},
      {VoskaryError::malformedResponse(""), "Couldn't read the server response ()."},
      {VoskaryError::authorizationFailed("no code."), "Sign-in failed: no code."},
      {VoskaryError::authorizationFailed(""), "Sign-in failed: "},
      {VoskaryError::keychainFailure(-25300), "Couldn't read your stored sign-in (-25300)."},
      {VoskaryError::clientKilled(), "This version is no longer supported. Please update."},
      {VoskaryError::clientKilled(URL("https://example.com/update")),
       "This version is no longer supported. Please update."},
      {VoskaryError::requiresUpgrade("2.0.0"), "Please update to version 2.0.0 or later."},
      {VoskaryError::dpopUnavailable("no key"), "Device security key unavailable: no key"},
      {VoskaryError::notSignedIn(), "Sign in to continue."},
      {VoskaryError::sessionExpired(), "Your session expired. Please sign in again."},
      {VoskaryError::networkUnavailable(), "Can't reach the network. Try again."},
      {VoskaryError::authorizationCancelled(), "Sign-in was cancelled."},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.error.description(), c.sentence);
    EXPECT_EQ(c.error.errorDescription(), c.sentence);
    EXPECT_STREQ(c.error.what(), c.sentence.c_str());
  }
}

TEST(VoskaryErrorTests, EqualityComparesCaseAndEveryPayloadField) {
  EXPECT_NE(VoskaryError::serverError(401), VoskaryError::serverError(401, ""));
  EXPECT_NE(VoskaryError::serverError(401, "a"), VoskaryError::serverError(402, "a"));
  EXPECT_EQ(VoskaryError::serverError(401, "a"), VoskaryError::serverError(401, "a"));
  EXPECT_EQ(VoskaryError::sessionExpired(), VoskaryError::sessionExpired());
  EXPECT_NE(VoskaryError::sessionExpired(), VoskaryError::notSignedIn());
  EXPECT_NE(VoskaryError::clientKilled(), VoskaryError::clientKilled(URL("https://a.example/")));
  EXPECT_EQ(VoskaryError::clientKilled(URL("https://a.example/")),
            VoskaryError::clientKilled(URL("https://a.example/")));
  EXPECT_NE(VoskaryError::authorizationFailed("x"), VoskaryError::dpopUnavailable("x"));
  EXPECT_NE(VoskaryError::malformedResponse(), VoskaryError::malformedResponse(""));
}

TEST(VoskaryErrorTests, CasesAreReadableThroughKindAndPayload) {
  auto error = VoskaryError::keychainFailure(-25308);
  EXPECT_EQ(error.kind(), VoskaryError::Kind::keychainFailure);
  ASSERT_NE(error.as<VoskaryError::KeychainFailure>(), nullptr);
  EXPECT_EQ(error.as<VoskaryError::KeychainFailure>()->status, -25308);
  EXPECT_EQ(error.as<VoskaryError::ServerError>(), nullptr);

  // Thrown and caught as the platform's error, it keeps its case.
  try {
    throw VoskaryError::requiresUpgrade("3.1");
  } catch (const platform::Error& caught) {
    ASSERT_NE(dynamic_cast<const VoskaryError*>(&caught), nullptr);
    EXPECT_EQ(*dynamic_cast<const VoskaryError*>(&caught), VoskaryError::requiresUpgrade("3.1"));
  }
}

TEST(VoskaryErrorTests, BridgesWithItsTypeAsDomainAndItsCaseAsCode) {
  EXPECT_EQ(platform::bridgedDomain(VoskaryError::sessionExpired()), "voskary::VoskaryError");
  EXPECT_EQ(platform::bridgedCode(VoskaryError::serverError(500)), 0);
  EXPECT_EQ(platform::bridgedCode(VoskaryError::authorizationCancelled()), 10);
}

}  // namespace
}  // namespace voskary
