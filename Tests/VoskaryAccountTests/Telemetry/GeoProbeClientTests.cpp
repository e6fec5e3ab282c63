#include "VoskaryAccount/Telemetry/GeoProbeClient.h"

#include <gtest/gtest.h>

#include "TelemetryTest.h"
#include "VoskaryAccount/Telemetry/ErrorTelemetryConsent.h"

namespace voskary {
namespace {

using platform::sim::SimHTTPAnswer;
using GeoProbeTest = TelemetryTest;

constexpr std::string_view geoURL = "https://account.example.test/v1/api/geo";

TEST_F(GeoProbeTest, AnyAnswerWithABooleanIsStoredWhateverItsStatus) {
  struct Case {
    SimHTTPAnswer answer;
    bool result;
    std::optional<bool> cached;  // what is cached afterwards, starting from "not EU"
  };
  const std::vector<Case> cases = {
      {SimHTTPAnswer::json(200, R"({"eu": true})"), true, true},
      {SimHTTPAnswer::json(200, R"({"eu": false, "country": "CH"})"), false, false},
      {SimHTTPAnswer::json(500, R"({"eu": true})"), true, true},
      {SimHTTPAnswer::json(200, R"({})"), false, false},
      {SimHTTPAnswer::json(200, R"({"eu": "true"})"), false, false},
      {SimHTTPAnswer::json(200, R"({"eu": 1})"), false, false},
      {SimHTTPAnswer::json(200, R"([{"eu": true}])"), false, false},
      {SimHTTPAnswer::status(200, "<html>eu</html>"), false, false},
      {SimHTTPAnswer::status(200, "{\"eu\": tr"), false, false},
      {SimHTTPAnswer::notHTTP(R"({"eu": true})"), true, true},
      {SimHTTPAnswer::failing(platform::URLError::notConnectedToInternet), false, false},
  };
  for (const auto& c : cases) sim().http->respond("GET", std::string(geoURL), c.answer);
  for (std::size_t i = 0; i < cases.size(); ++i) {
    defaults().set(GeoProbeClient::userDefaultsKey, false);
    const bool isEU =
        await(GeoProbeClient::probe(platform::env().httpSession, platform::URL(serviceBase)));
    EXPECT_EQ(isEU, cases[i].result) << i;
    EXPECT_EQ(GeoProbeClient::cachedIsEU(), cases[i].cached) << i;
  }
  const auto requests = sim().http->requests();
  ASSERT_EQ(requests.size(), cases.size());
  EXPECT_EQ(requests[0].request.httpMethod, "GET");
  EXPECT_FALSE(requests[0].request.httpBody);
  EXPECT_EQ(requests[0].request.timeoutInterval, 60.0);
}

TEST_F(GeoProbeTest, AnEUAnswerSwitchesTelemetryOffForUsersWithoutAChoice) {
  EXPECT_EQ(GeoProbeClient::cachedIsEU(), std::nullopt);
  EXPECT_TRUE(ErrorTelemetryConsent::isEnabled());
  sim().http->respond("GET", std::string(geoURL), SimHTTPAnswer::json(200, R"({"eu":true})"));
  EXPECT_TRUE(
      await(GeoProbeClient::probe(platform::env().httpSession, platform::URL(serviceBase))));
  EXPECT_FALSE(ErrorTelemetryConsent::isEnabled());
  EXPECT_TRUE(ErrorTelemetryConsent::shouldShowEUOptIn());
}

}  // namespace
}  // namespace voskary
