#include "Flagrig/Analytics/Analytics.h"

#include <gtest/gtest.h>

#include <string>

#include "AnalyticsTest.h"
#include "Flagrig/Analytics/AnalyticsClient.h"
#include "Platform/Foundation/UserDefaults.h"
#include "Platform/Security/KeychainStatus.h"
#include "VoskaryAccount/Client/KeychainStorage.h"

namespace flagrig::testing {
namespace {

using platform::Value;
using platform::sim::KeychainOperation;

const std::string kKey = "phc_Q7mLx2RbVt9KwPz4HnYc6JfDs3GaUe8NrTk5WqZy1MvB";
const platform::GenericPasswordQuery kFirstOpenItem{"com.voskary.account.flagrig",
                                                    "voskary_first_open_fired"};

// The properties every capture starts with, as the body writes them.
std::string baseProperties(const std::string& installID, const std::string& authState) {
  return R"j("$os":"macOS","$os_version":"Version 6.1.0 (Simulated Linux, kernel 6.1.0-sim)",)j"
         R"("$app_version":"1.0.0","$lib":"flagrig-swift","$lib_version":"1.0.0",)"
         R"("app_slug":"flagrig","platform":"macos","version":"1.0.0","install_id":")" +
         installID + R"(","auth_state":")" + authState + R"(")";
}

std::string captureBody(const std::string& event, const std::string& distinctID,
                        const std::string& properties) {
  return R"({"api_key":")" + kKey + R"(","event":")" + event + R"(","distinct_id":")" + distinctID +
         R"(","properties":{)" + properties + R"(},"timestamp":"2027-01-15T08:00:00Z"})";
}

std::string mirrorBody(const std::string& event, const std::string& distinctID,
                       const std::string& installID, const std::string& properties) {
  return R"({"app_slug":"flagrig","platform":"macos","event":")" + event + R"(","distinct_id":")" +
         distinctID + R"(","app_version":"1.0.0","install_channel":"sparkle","install_id":")" +
         installID + R"(","device_id":"dev_0a1b2c3d-0000-4000-8000-00000000000d","properties":{)" +
         properties + "}}";
}

class AnalyticsTests : public AnalyticsTest {
 protected:
  static void store(std::string_view key, std::string_view text) {
    voskary::KeychainStorage("flagrig").setData(platform::Bytes(text.begin(), text.end()), key);
  }
  static std::optional<std::string> stored(std::string_view key) {
    auto data = voskary::KeychainStorage("flagrig").getData(key);
    if (!data) return std::nullopt;
    return std::string(data->begin(), data->end());
  }
};

TEST_F(AnalyticsTests, CapturesThePrefixedEventWithTheBasePropertiesAndTheDeviceId) {
  Analytics::track("tag_created");
  auto sent = captures();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].httpMethod, "POST");
  EXPECT_EQ(sent[0].value("Content-Type"), "application/json");
  EXPECT_EQ(sent[0].timeoutInterval, 5.0);
  // The install id was seeded from the device id: nothing was stored before.
  EXPECT_EQ(bodyText(sent[0]),
            captureBody("flagrig_tag_created", deviceId, baseProperties(deviceId, "anonymous")));
  EXPECT_TRUE(mirrors().empty());
}

TEST_F(AnalyticsTests, AStoredInstallIdIsKeptAndSent) {
  store("voskary_install_id", "id-1");
  Analytics::track("tag_created");
  auto sent = captures();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(bodyText(sent[0]),
            captureBody("flagrig_tag_created", deviceId, baseProperties("id-1", "anonymous")));
}

TEST_F(AnalyticsTests, AnUnreadableInstallIdIsNeverReplacedByTheSeed) {
  store("voskary_install_id", "id-1");
  // Reads fail, writes would still succeed.
  sim().keychain->failOperation(KeychainOperation::copy,
                                platform::KeychainStatus::interactionNotAllowed);
  Analytics::track("tag_created");
  ASSERT_EQ(captures().size(), 1u);
  sim().keychain->clearFailures();
  EXPECT_EQ(stored("voskary_install_id"), "id-1");
}

TEST_F(AnalyticsTests, FunnelEventsAreMirroredUnprefixedWithTheAuthorizationHeaders) {
  signInAs(" va_0193\n", {{"Authorization", "Bearer vas-1"},
                          {"X-Voskary-Account-Id", "va_0193"},
                          {"X-Voskary-App", "flagrig"},
                          {"X-Voskary-Platform", "macos"}});
  Analytics::track("auth_completed", {{"source", "onboarding"}});

  std::string properties = baseProperties(deviceId, "signed_in") +
                           R"(,"source":"onboarding","voskary_account_id":"va_0193")";
  auto sent = captures();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(bodyText(sent[0]), captureBody("flagrig_auth_completed", "va_0193", properties));
  EXPECT_FALSE(sent[0].value("Authorization"));

  auto mirrored = mirrors();
  ASSERT_EQ(mirrored.size(), 1u);
  EXPECT_EQ(bodyText(mirrored[0]), mirrorBody("auth_completed", "va_0193", deviceId, properties));
  EXPECT_EQ(mirrored[0].httpMethod, "POST");
  EXPECT_EQ(mirrored[0].timeoutInterval, 5.0);
  EXPECT_EQ(mirrored[0].headerFields,
            (platform::HTTPHeaderFields{{"Content-Type", "application/json"},
                                        {"Authorization", "Bearer vas-1"},
                                        {"X-Voskary-Account-Id", "va_0193"},
                                        {"X-Voskary-App", "flagrig"},
                                        {"X-Voskary-Platform", "macos"}}));
}

TEST_F(AnalyticsTests, ExactlyTheFunnelEventsAreMirrored) {
  const char* funnel[] = {"app_first_opened",   "app_updated",          "app_relaunched",
                          "onboarding_started", "onboarding_completed", "login_screen_shown",
                          "auth_started",       "auth_completed",       "auth_failed",
                          "sign_in_completed",  "account_linked",       "settings_viewed"};
  const char* others[] = {"update_installed",
                          "deep_link_activated",
                          "permission_preflight_blocked",
                          "reset_local_data",
                          "beta_updates_setting_changed",
                          "verbose_diagnostics_changed",
                          "tag_created",
                          "tag_demo_skipped",
                          "tag_demo_completed",
                          "flagrig_auth_started",
                          "$identify"};
  for (const char* event : funnel) Analytics::track(event);
  for (const char* event : others) Analytics::track(event);

  EXPECT_EQ(captures().size(), std::size(funnel) + std::size(others));
  auto mirrored = mirrors();
  ASSERT_EQ(mirrored.size(), std::size(funnel));
  for (std::size_t i = 0; i < std::size(funnel); ++i) {
    EXPECT_NE(bodyText(mirrored[i]).find(std::string(R"("event":")") + funnel[i] + "\""),
              std::string::npos)
        << funnel[i];
  }
  // Signed out, the mirror carries no authorisation at all.
  EXPECT_EQ(mirrored[0].headerFields,
            (platform::HTTPHeaderFields{{"Content-Type", "application/json"}}));
}

TEST_F(AnalyticsTests, DollarEventsAreCapturedUnchanged) {
  Analytics::track("$pageview", {{"surface", "menu"}});
  auto sent = captures();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(bodyText(sent[0]),
            captureBody("$pageview", deviceId,
                        baseProperties(deviceId, "anonymous") + R"(,"surface":"menu")"));
}

TEST_F(AnalyticsTests, CallerPropertiesReplaceBaseOnesInPlaceButNotTheAccountId) {
  struct Case {
    bool signedIn;
    std::string expectedProperties;
  };
  Value::Dictionary properties{{"platform", "linux"}, {"voskary_account_id", "va_forged"},
                               {"count", 3},          {"big", 18446744073709551615ull},
                               {"enabled", true},     {"ratio", 0.5},
                               {"nothing", nullptr},  {"list", Value::Array{1, "two", false}}};
  std::string replacedBase = baseProperties(deviceId, "anonymous");
  replacedBase.replace(replacedBase.find(R"("platform":"macos")"), 18, R"("platform":"linux")");
  const std::string extras =
      R"(,"big":18446744073709551615,"count":3,"enabled":true,"list":[1,"two",false],)"
      R"("nothing":null,"ratio":0.5)";

  // Anonymous: the caller's account id stays.
  Analytics::track("settings_viewed", properties);
  auto sent = captures();
  ASSERT_EQ(sent.size(), 1u);
  std::string expected = replacedBase + extras + R"(,"voskary_account_id":"va_forged")";
  // std::map orders the caller's keys, so "voskary_account_id" comes last among them.
  EXPECT_EQ(bodyText(sent[0]), captureBody("flagrig_settings_viewed", deviceId, expected));
  EXPECT_EQ(bodyText(mirrors().at(0)), mirrorBody("settings_viewed", deviceId, deviceId, expected));

  // Signed in: the account's id wins over the caller's.
  signInAs("va_real");
  advance(61);
  Analytics::track("settings_viewed", properties);
  sent = captures();
  ASSERT_EQ(sent.size(), 2u);
  std::string signedIn = replacedBase + extras + R"(,"voskary_account_id":"va_real")";
  signedIn.replace(signedIn.find(R"("auth_state":"anonymous")"), 24, R"("auth_state":"signed_in")");
  EXPECT_NE(bodyText(sent[1]).find(R"("distinct_id":"va_real")"), std::string::npos);
  EXPECT_NE(bodyText(sent[1]).find(R"("properties":{)" + signedIn + "}"), std::string::npos)
      << bodyText(sent[1]);
}

TEST_F(AnalyticsTests, TheDistinctIdIsTheTrimmedAccountIdOnlyWhenItIsOne) {
  struct Case {
    bool signedIn;
    const char* accountID;  // null: none
    std::string distinctID;
    std::string authState;
    bool accountProperty;
  };
  const Case cases[] = {
      {false, nullptr, deviceId, "anonymous", false},
      {true, "va_1", "va_1", "signed_in", true},
      {true, "\t va_2 \r\n", "va_2", "signed_in", true},
      {true, "acct_3", deviceId, "signed_in", false},
      {true, " ", deviceId, "signed_in", false},
      {true, nullptr, deviceId, "signed_in", false},
      // A stale id after signing out does not count.
      {false, "va_4", deviceId, "anonymous", false},
  };
  int n = 0;
  for (const auto& c : cases) {
    FakeSignIn::Snapshot state{c.signedIn, std::nullopt};
    if (c.accountID) state.voskaryAccountID = c.accountID;
    signIn->set(state);
    Analytics::track("event_" + std::to_string(n++));
    auto text = bodyText(captures().back());
    EXPECT_NE(text.find(R"("distinct_id":")" + c.distinctID + "\""), std::string::npos) << text;
    EXPECT_NE(text.find(R"("auth_state":")" + c.authState + "\""), std::string::npos) << text;
    EXPECT_EQ(text.find("voskary_account_id") != std::string::npos, c.accountProperty) << text;
  }
}

TEST_F(AnalyticsTests, OptOutSendsNothingAndSpendsNoBudget) {
  sim().environment->defaults->set("flagrig.analyticsDisabled", Value(true));
  for (int i = 0; i < 250; ++i) Analytics::track("event_" + std::to_string(i));
  Analytics::track("auth_completed");
  Analytics::identify("va_1");
  EXPECT_TRUE(sim().http->requests().empty());
  runUntilIdle();
  EXPECT_TRUE(sim().http->requests().empty());

  sim().environment->defaults->set("flagrig.analyticsDisabled", Value(false));
  for (int i = 0; i < 201; ++i) Analytics::track("event_" + std::to_string(i));
  EXPECT_EQ(captures().size(), 200u);
}

TEST_F(AnalyticsTests, AThrottledEventIsNotSent) {
  Analytics::track("tag_created");
  Analytics::track("tag_created");
  advance(60);
  Analytics::track("tag_created");
  EXPECT_EQ(captures().size(), 2u);
}

TEST_F(AnalyticsTests, APlaceholderKeySendsNothing) {
  auto client = std::make_shared<AnalyticsClient>(AnalyticsClient::Configuration{
      "REPLACE_WITH_PROJECT_KEY", platform::URL(captureURL), platform::URL(funnelURL),
      voskary::AnalyticsEmitThrottleOptions::production,
      voskary::AnalyticsEmitThrottle::monotonicClock()});
  client->track("auth_completed", {});
  client->track("tag_created", {});
  client->identify("va_1");
  runUntilIdle();
  EXPECT_TRUE(sim().http->requests().empty());
  EXPECT_EQ(client->emitThrottle().budgetTokens(), 200.0);
}

TEST_F(AnalyticsTests, EventsThatJSONCannotCarryAreDropped) {
  const Value::Dictionary unsendable[] = {
      {{"data", Value(platform::Bytes{1, 2})}},
      {{"when", Value(platform::Date{0})}},
      {{"ratio", Value(std::numeric_limits<double>::quiet_NaN())}},
      {{"nested", Value::Array{Value(std::numeric_limits<double>::infinity())}}},
  };
  for (const auto& properties : unsendable) Analytics::track("auth_started", properties);
  Analytics::track("auth_failed");
  EXPECT_EQ(captures().size(), 1u);
  EXPECT_EQ(mirrors().size(), 1u);
}

TEST_F(AnalyticsTests, HeaderFieldsThatWouldSplitTheRequestAreLeftOut) {
  signInAs("va_1", {{"Authorization", "Bearer a\r\nX-Injected: 1"},
                    {"X-Voskary-Account-Id", "va_1"},
                    {"Bad\nName", "x"}});
  Analytics::track("auth_started");
  auto mirrored = mirrors();
  ASSERT_EQ(mirrored.size(), 1u);
  EXPECT_EQ(mirrored[0].headerFields,
            (platform::HTTPHeaderFields{{"Content-Type", "application/json"},
                                        {"X-Voskary-Account-Id", "va_1"}}));
}

TEST_F(AnalyticsTests, TrackReturnsBeforeAnythingIsSentAndEventsGoOutInOrder) {
  Analytics::track("first");
  Analytics::track("second");
  Analytics::trackUpdateInstalled("1.0.0", "1.1.0");
  // Built and sent on the analytics queue, not in the caller's call.
  EXPECT_TRUE(sim().http->requests().empty());
  auto sent = captures();
  ASSERT_EQ(sent.size(), 3u);
  EXPECT_NE(bodyText(sent[0]).find("flagrig_first"), std::string::npos);
  EXPECT_NE(bodyText(sent[1]).find("flagrig_second"), std::string::npos);
  EXPECT_NE(bodyText(sent[2]).find(R"("event":"flagrig_update_installed")"), std::string::npos);
  EXPECT_NE(bodyText(sent[2]).find(R"("from_version":"1.0.0","to_version":"1.1.0"})"),
            std::string::npos);
}

TEST_F(AnalyticsTests, HeldAnswersHoldNothingBack) {
  sim().http->respond("POST", captureURL, platform::sim::SimHTTPAnswer::json(200, "{}").holding());
  Analytics::track("one");
  Analytics::track("two");
  Analytics::track("auth_failed");
  EXPECT_EQ(captures().size(), 3u);
  EXPECT_EQ(mirrors().size(), 1u);
  // The fixture's answer serves the first capture; the later ones stay held.
  EXPECT_EQ(sim().http->heldCount(), 2u);
}

TEST_F(AnalyticsTests, TheTimestampIsTheCallersTimeInWholeSeconds) {
  advance(1.75);
  Analytics::track("late");
  advance(30);
  EXPECT_NE(bodyText(captures().at(0)).find(R"("timestamp":"2027-01-15T08:00:01Z")"),
            std::string::npos);
}

TEST_F(AnalyticsTests, IdentifyLinksTheDeviceToTheTrimmedAccountWithoutTheThrottle) {
  for (int i = 0; i < 200; ++i) Analytics::track("burst_" + std::to_string(i));
  Analytics::identify("  va_0193 \n");
  Analytics::identify("va_0193");
  Analytics::identify("acct_1");
  Analytics::identify("");
  auto sent = captures();
  ASSERT_EQ(sent.size(), 202u);
  const std::string expected =
      R"({"api_key":")" + kKey +
      R"(","event":"$identify","distinct_id":"va_0193","properties":{)"
      R"("$anon_distinct_id":"dev_0a1b2c3d-0000-4000-8000-00000000000d","$os":"macOS",)"
      R"("$app_version":"1.0.0","$lib":"flagrig-swift","app_slug":"flagrig","platform":"macos",)"
      R"("version":"1.0.0","install_id":"dev_0a1b2c3d-0000-4000-8000-00000000000d",)"
      R"("voskary_account_id":"va_0193"},"timestamp":"2027-01-15T08:00:00Z"})";
  EXPECT_EQ(bodyText(sent[200]), expected);
  EXPECT_EQ(bodyText(sent[201]), expected);
  EXPECT_TRUE(mirrors().empty());
}

TEST_F(AnalyticsTests, FirstOpenIsSentOncePerInstall) {
  Analytics::emitAppFirstOpenedIfNeeded();
  Analytics::emitAppFirstOpenedIfNeeded();
  auto sent = captures();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_NE(bodyText(sent[0]).find(R"("event":"flagrig_app_first_opened")"), std::string::npos);
  EXPECT_EQ(mirrors().size(), 1u);
  EXPECT_TRUE(sim().environment->defaults->boolForKey("flagrig.appFirstOpened.v1"));
}

TEST_F(AnalyticsTests, FirstOpenFollowsBothFlags) {
  struct Case {
    const char* name;
    bool defaultsFlag;
    bool keychainFlag;
    bool keychainRefusesWrites;
    bool sent;
    bool defaultsFlagAfter;
    bool keychainFlagAfter;
  };
  const Case cases[] = {
      {"fresh install", false, false, false, true, true, true},
      {"flag in defaults only: keychain catches up", true, false, false, false, true, true},
      {"reinstall keeping the keychain", false, true, false, false, false, true},
      {"keychain refuses the flag", false, false, true, false, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TearDown();
    SetUp();
    if (c.defaultsFlag) sim().environment->defaults->set("flagrig.appFirstOpened.v1", Value(true));
    if (c.keychainFlag) store("voskary_first_open_fired", "1");
    if (c.keychainRefusesWrites) {
      sim().keychain->failItem(KeychainOperation::add, kFirstOpenItem.service,
                               kFirstOpenItem.account, platform::KeychainStatus::io);
    }
    Analytics::emitAppFirstOpenedIfNeeded();
    EXPECT_EQ(captures().size(), c.sent ? 1u : 0u);
    EXPECT_EQ(sim().environment->defaults->boolForKey("flagrig.appFirstOpened.v1"),
              c.defaultsFlagAfter);
    sim().keychain->clearFailures();
    EXPECT_EQ(stored("voskary_first_open_fired").has_value(), c.keychainFlagAfter);
  }
}

TEST_F(AnalyticsTests, TheSeedRunsBeforeTheFirstInstallIdEvenWhenFirstOpenComesFirst) {
  Analytics::emitAppFirstOpenedIfNeeded();
  EXPECT_EQ(stored("voskary_install_id"), deviceId);
}

}  // namespace
}  // namespace flagrig::testing
