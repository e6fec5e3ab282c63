#include "Flagrig/Diagnostics/Log.h"

#include <gtest/gtest.h>

#include <set>

#include "DiagnosticsTest.h"
#include "Platform/Foundation/Environment.h"
#include "Platform/Foundation/JSONSerialization.h"
#include "VoskaryAccount/Telemetry/ErrorFirehoseClient.h"
#include "VoskaryAccount/Telemetry/ErrorTelemetryConsent.h"

namespace flagrig {
namespace {

using platform::sim::SimHTTPAnswer;
using voskary::ErrorFirehoseClient;

// The log facade in front of the process's telemetry client, which posts to a simulated
// account service.
class LogTest : public DiagnosticsTest {
 protected:
  static constexpr std::string_view batchURL = "https://account.example.test/api/error-events";

  void SetUp() override {
    DiagnosticsTest::SetUp();
    sim().http->respond("POST", std::string(batchURL), SimHTTPAnswer::status(202));
    auto& telemetry = ErrorFirehoseClient::shared();
    telemetry.configure("flagrig", "macos", "1.0", "14.5.0", "install-1",
                        platform::URL("https://account.example.test"), nullptr);
    telemetry.start();
  }

  // What the telemetry sends at its next flush: template to category and count.
  std::map<std::string, std::pair<std::string, std::int64_t>> sentEvents() {
    advance(ErrorFirehoseClient::flushIntervalSeconds);
    std::map<std::string, std::pair<std::string, std::int64_t>> events;
    for (const auto& r : sim().http->requests()) {
      const auto& bytes = *r.request.httpBody;
      const auto batch = platform::JSONSerialization::parse(
          std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
      for (const auto& e : batch["events"])
        events[e["message_template"]] = {e["category"], e["count"].get<std::int64_t>()};
    }
    return events;
  }
};

TEST_F(LogTest, WarningsAndErrorsAreLoggedAndForwardedToTelemetry) {
  std::runtime_error offline("The network connection was lost.");
  Log::error("consent", "marketing capture network error", &offline);
  Log::warn("lifecycle", "fallback route 12345");
  Log::warn("lifecycle", "fallback route 67890");

  const auto ring = DiagnosticLogBuffer::shared().logBufferJSON();
  ASSERT_EQ(ring.size(), 3u);
  EXPECT_EQ(*ring[0].find("level")->asString(), "error");
  EXPECT_EQ(*ring[0].find("exception_message")->asString(), "The network connection was lost.");
  EXPECT_EQ(*ring[1].find("level")->asString(), "warn");

  using Sent = std::map<std::string, std::pair<std::string, std::int64_t>>;
  EXPECT_EQ(sentEvents(),
            (Sent{{"marketing capture network error: the network connection was lost.: "
                   "category=consent",
                   {"consent", 1}},
                  {"fallback route <n>: category=lifecycle", {"lifecycle", 2}}}));
}

TEST_F(LogTest, TelemetryGetsOnlyRedactedText) {
  std::runtime_error refused("server said password=hunter2");
  Log::error("auth", "refresh failed for bob@example.org token=abc", &refused);

  const auto sent = sentEvents();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent.begin()->first,
            "refresh failed for x****@example.org <redacted>: server said <redacted>: "
            "category=auth");
}

TEST_F(LogTest, WithReportsOffTheEntryIsStillLoggedAndNothingIsSent) {
  voskary::ErrorTelemetryConsent::setEnabled(false);
  Log::warn("settings", "no telemetry wanted");
  EXPECT_EQ(DiagnosticLogBuffer::shared().logBufferJSON().size(), 1u);
  EXPECT_EQ(contents(logFile()), "2027-01-15T08:00:00.000Z [WARN] settings: no telemetry wanted\n");
  EXPECT_TRUE(sentEvents().empty());
}

// Outside any fixture no platform is installed: the entry is all there is, and nothing throws.
TEST(LogWithoutPlatformTest, WarningsStillReachTheRing) {
  ASSERT_FALSE(platform::hasEnvironment());
  EXPECT_NO_THROW(Log::warn("lifecycle", "before the platform"));
  EXPECT_FALSE(ErrorFirehoseClient::tryShared());
}

}  // namespace
}  // namespace flagrig
