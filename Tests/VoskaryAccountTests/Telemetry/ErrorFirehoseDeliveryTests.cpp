#include <gtest/gtest.h>

#include <set>

#include "Platform/Foundation/UUID.h"
#include "TelemetryTest.h"
#include "VoskaryAccount/Telemetry/ErrorTelemetryConsent.h"

namespace voskary {
namespace {

using platform::sim::SimHTTPAnswer;
using DeliveryTest = TelemetryTest;

bool isLowerCaseUUID(const std::string& text) {
  auto uuid = platform::UUID::parse(text);
  return uuid && uuid->lowercaseString() == text;
}

TEST_F(DeliveryTest, EntriesAreQueuedInChunksOfFiftyAndAtMostTenBatches) {
  Access::enqueue(*client, {});
  EXPECT_TRUE(Access::pending(*client).empty());
  Access::enqueue(*client, entries(120));
  EXPECT_EQ(sizes(Access::pending(*client)), (std::vector<std::size_t>{50, 50, 20}));

  auto fresh = ErrorFirehoseClient::create();
  for (int i = 0; i < 10; ++i) Access::enqueue(*fresh, entries(1, "b" + std::to_string(i) + "-"));
  Access::enqueue(*fresh, entries(60, "new"));
  const auto pending = Access::pending(*fresh);
  ASSERT_EQ(pending.size(), 10u);
  EXPECT_EQ(pending.front()[0].fingerprint, "b1-0");  // the oldest went
  EXPECT_EQ(pending.back().size(), 50u);
  EXPECT_EQ(pending.back().back().fingerprint, "new49");
}

TEST_F(DeliveryTest, TheFlushLoopSendsEverySixtySecondsFromStart) {
  sim().http->respond("POST", std::string(batchURL), SimHTTPAnswer::status(202));
  client->start();
  client->start();
  client->observeFromFacade(VoskaryLogLevel::warning, "Refresh failed", {{"category", "auth"}}, {});
  advance(59.9);
  EXPECT_TRUE(batchRequests().empty());
  advance(0.1);
  auto requests = batchRequests();
  ASSERT_EQ(requests.size(), 1u);  // one loop, however often it was started

  const auto& request = requests[0].request;
  EXPECT_EQ(request.httpMethod, "POST");
  EXPECT_EQ(request.value("Content-Type"), "application/json");
  EXPECT_EQ(request.timeoutInterval, 60.0);
  const auto batch = body(requests[0]);
  EXPECT_EQ(batch["schema_version"], 1);
  EXPECT_TRUE(isLowerCaseUUID(batch["batch_id"]));
  EXPECT_EQ(batch["daily_token"], "3e1ce64413ac4f47");
  EXPECT_EQ(batch["app_slug"], "flagrig");
  EXPECT_EQ(batch["platform"], "macos");
  EXPECT_EQ(batch["app_version"], "1.4.2");
  EXPECT_EQ(batch["os_version"], "14.5.0");
  ASSERT_EQ(batch["events"].size(), 1u);
  const auto& event = batch["events"][0];
  EXPECT_TRUE(isLowerCaseUUID(event["client_event_id"]));
  EXPECT_EQ(event["severity"], "warn");
  EXPECT_EQ(event["category"], "auth");
  EXPECT_EQ(event["fingerprint"], "48de295039918ae5");
  EXPECT_EQ(event["message_template"], "refresh failed: category=auth");
  EXPECT_EQ(event["count"], 1);
  EXPECT_EQ(event["first_seen"], "2027-01-15T08:00:00.000Z");
  EXPECT_EQ(event["last_seen"], "2027-01-15T08:00:00.000Z");
  EXPECT_EQ(event["signed_in"], false);
  EXPECT_EQ(event["online"], true);
  for (auto absent : {"spec_id", "exception_type", "top_frames", "frame_digest", "breadcrumbs",
                      "session_uptime_seconds"})
    EXPECT_FALSE(event.contains(absent)) << absent;
  EXPECT_TRUE(Access::pending(*client).empty());

  // A round with nothing new still tries what is pending.
  Access::enqueue(*client, entries(2));
  advance(60);
  EXPECT_EQ(batchRequests().size(), 2u);
}

TEST_F(DeliveryTest, OptionalMembersAreWrittenWhenPresent) {
  auto e = entry("f1");
  e.specId = "S-1";
  e.exceptionType = "IOError";
  e.topFrames = std::vector<std::string>{"a"};
  e.frameDigest = "0123456789ab";
  e.breadcrumbs = std::vector<BreadcrumbEntry>{{"t", "info", "auth", "m"}};
  e.sessionUptimeSeconds = 90;
  const auto text = ErrorFirehoseClient::encodeBatch({e}, Access::snapshot(*client), "b", {"e"});
  const auto event = platform::JSONSerialization::parse(text)["events"][0];
  EXPECT_EQ(event["spec_id"], "S-1");
  EXPECT_EQ(event["exception_type"], "IOError");
  EXPECT_EQ(event["top_frames"], platform::JSON::array({"a"}));
  EXPECT_EQ(event["frame_digest"], "0123456789ab");
  EXPECT_EQ(event["breadcrumbs"][0],
            (platform::JSON{{"ts", "t"}, {"level", "info"}, {"category", "auth"}, {"msg", "m"}}));
  EXPECT_EQ(event["session_uptime_seconds"], 90);
  EXPECT_EQ(event["first_seen"], "2027-01-15T08:00:00.250Z");
}

TEST_F(DeliveryTest, StatusesEndRetryOrDropTheBatch) {
  struct Case {
    SimHTTPAnswer answer;
    std::size_t attempts;  // within one pass
    bool putBack;
  };
  const std::vector<Case> cases = {
      {SimHTTPAnswer::status(200), 1, false},
      {SimHTTPAnswer::status(201), 1, false},
      {SimHTTPAnswer::status(202), 1, false},
      {SimHTTPAnswer::status(204), 1, false},
      {SimHTTPAnswer::status(400), 1, false},
      {SimHTTPAnswer::status(401), 1, false},
      {SimHTTPAnswer::status(404), 1, false},
      {SimHTTPAnswer::status(413), 1, false},
      {SimHTTPAnswer::notHTTP(), 1, false},
      {SimHTTPAnswer::status(408), 4, true},
      {SimHTTPAnswer::status(429), 4, true},
      {SimHTTPAnswer::status(500), 4, true},
      {SimHTTPAnswer::status(503), 4, true},
      {SimHTTPAnswer::status(302), 4, true},
      {SimHTTPAnswer::failing(platform::URLError::timedOut), 4, true},
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    auto fresh = ErrorFirehoseClient::create();
    const std::string base = "https://case" + std::to_string(i) + ".example.test";
    fresh->configure("flagrig", "macos", "1", "14.5.0", "id", platform::URL(base),
                     platform::env().httpSession);
    const std::string url = base + "/api/error-events";
    sim().http->respond("POST", url, cases[i].answer);
    Access::enqueue(*fresh, entries(3));
    fresh->sendPendingBatches();
    advance(400);
    std::size_t attempts = 0;
    for (const auto& r : sim().http->requests()) attempts += r.request.url.absoluteString() == url;
    EXPECT_EQ(attempts, cases[i].attempts) << i;
    EXPECT_EQ(Access::pending(*fresh).size(), cases[i].putBack ? 1u : 0u) << i;
  }
}

TEST_F(DeliveryTest, RetriesWaitWithJitterAndKeepTheirIdsUntilTheNextPass) {
  sim().http->respond("POST", std::string(batchURL), SimHTTPAnswer::status(500));
  Access::enqueue(*client, entries(2));
  Access::enqueue(*client, entries(1, "second"));
  client->sendPendingBatches();
  advance(400);
  auto requests = batchRequests();
  ASSERT_EQ(requests.size(), 4u);
  const std::vector<std::pair<double, double>> bounds = {{20, 40}, {50, 70}, {110, 130}};
  for (std::size_t i = 1; i < 4; ++i) {
    const double waited = platform::toSeconds(requests[i].at - requests[i - 1].at);
    EXPECT_GE(waited, bounds[i - 1].first) << i;
    EXPECT_LE(waited, bounds[i - 1].second) << i;
  }
  for (const auto& r : requests) {
    EXPECT_EQ(body(r)["batch_id"], body(requests[0])["batch_id"]);
    EXPECT_EQ(body(r)["events"], body(requests[0])["events"]);
  }
  // The pass ended; the failed batch is at the front again, before the one never tried.
  const auto pending = Access::pending(*client);
  ASSERT_EQ(sizes(pending), (std::vector<std::size_t>{2, 1}));
  EXPECT_EQ(pending[0][0].fingerprint, "e0");

  client->sendPendingBatches();
  runUntilIdle();
  requests = batchRequests();
  ASSERT_EQ(requests.size(), 5u);
  const auto next = body(requests[4]);
  EXPECT_NE(next["batch_id"], body(requests[0])["batch_id"]);
  EXPECT_NE(next["events"][0]["client_event_id"],
            body(requests[0])["events"][0]["client_event_id"]);
  EXPECT_EQ(next["events"][0]["fingerprint"], "e0");
}

TEST_F(DeliveryTest, ABatchLargerThanTheLimitIsDroppedUnsent) {
  sim().http->respond("POST", std::string(batchURL), SimHTTPAnswer::status(202));
  const auto context = Access::snapshot(*client);
  auto sized = [&](std::size_t bytes) {
    auto e = entry("f");
    const auto base = ErrorFirehoseClient::encodeBatch({e}, context, "b", {"e"}).size();
    e.category += std::string(bytes - base, 'c');
    EXPECT_EQ(ErrorFirehoseClient::encodeBatch({e}, context, "b", {"e"}).size(), bytes);
    return e;
  };
  EXPECT_TRUE(await(Access::sendBatchWithIds(*client, {sized(262'144)}, context, "b", {"e"})));
  EXPECT_EQ(batchRequests().size(), 1u);
  EXPECT_TRUE(await(Access::sendBatchWithIds(*client, {sized(262'145)}, context, "b", {"e"})));
  EXPECT_EQ(batchRequests().size(), 1u);
}

TEST_F(DeliveryTest, ABatchSentAfterMidnightCarriesTheNewDaysToken) {
  sim().http->respond("POST", std::string(batchURL), SimHTTPAnswer::status(202));
  client->start();
  advance(16 * 3600 - 30);  // 23:59:30 UTC
  client->observeFromFacade(VoskaryLogLevel::error, "Late", {}, {});
  advance(60);
  ASSERT_FALSE(batchRequests().empty());
  EXPECT_EQ(body(batchRequests().back())["daily_token"], "3a3dc038a4456f1c");
}

TEST_F(DeliveryTest, NothingHeldIsSentOnceReportsAreOff) {
  sim().http->respond("POST", std::string(batchURL), SimHTTPAnswer::status(500));
  Access::enqueue(*client, entries(2));
  client->sendPendingBatches();
  runUntilIdle();
  ASSERT_EQ(batchRequests().size(), 1u);
  // Switched off while the batch waits for its retry.
  ErrorTelemetryConsent::setEnabled(false);
  advance(400);
  EXPECT_EQ(batchRequests().size(), 1u);
  EXPECT_TRUE(Access::pending(*client).empty());

  // A region answer that turns reports off for a user without a choice: the same.
  defaults().removeObject(ErrorTelemetryConsent::Keys::enabled);
  Access::enqueue(*client, entries(2));
  defaults().set(ErrorTelemetryConsent::Keys::resolvedIsEU, true);
  client->sendPendingBatches();
  advance(400);
  EXPECT_EQ(batchRequests().size(), 1u);
}

}  // namespace
}  // namespace voskary
