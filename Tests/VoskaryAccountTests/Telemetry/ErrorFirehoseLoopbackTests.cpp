#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "Platform/Linux/CurlTransport.h"
#include "PlatformTests/Linux/LoopbackHTTPServer.h"
#include "TelemetryTest.h"

namespace voskary {
namespace {

using platform::testing::LoopbackHTTPServer;
using LoopbackTest = TelemetryTest;

TEST_F(LoopbackTest, ABatchReachesARealServerOverLibcurl) {
  std::optional<LoopbackHTTPServer> listening;
  try {
    listening.emplace(
        [](const auto&) { return LoopbackHTTPServer::answer(202, {}, R"({"accepted":1})"); });
  } catch (const std::runtime_error& e) {
    GTEST_SKIP() << "no loopback HTTP server: " << e.what();
  }
  auto& server = *listening;
  auto session = std::make_shared<platform::HTTPSession>(
      std::make_shared<platform::linuxbackend::CurlTransport>(),
      platform::URLSessionConfiguration::defaultConfiguration());
  client->configure("flagrig", "macos", "1.4.2", "14.5.0", "install-1",
                    platform::URL(server.url("/svc")), session);

  client->observeFromFacade(VoskaryLogLevel::error, "Upload failed for ann@example.org",
                            {{"category", "diagnostics"}}, std::nullopt);
  bool delivered = false, done = false;
  auto send = [&]() -> platform::Task<void> {
    std::vector<std::string> eventIds = {"event-1"};
    auto batch = Access::sendBatchWithIds(*client, Access::buffer(*client),
                                          Access::snapshot(*client), "batch-1", eventIds);
    delivered = co_await std::move(batch);
    done = true;
  };
  platform::spawn(send());
  // The answer comes back on libcurl's thread and resumes the send on the simulated main loop.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!done && std::chrono::steady_clock::now() < deadline) {
    runUntilIdle();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ASSERT_TRUE(done) << "no answer from the loopback server within 10 s";
  EXPECT_TRUE(delivered);
  ASSERT_EQ(server.requests().size(), 1u);

  const auto request = server.requests().at(0);
  EXPECT_EQ(request.method, "POST");
  EXPECT_EQ(request.target, "/svc/api/error-events");
  bool json = false;
  for (const auto& [name, value] : request.headerFields)
    json = json || (name == "Content-Type" && value == "application/json");
  EXPECT_TRUE(json);
  const auto batch = platform::JSONSerialization::parse(request.body);
  EXPECT_EQ(batch["schema_version"], 1);
  EXPECT_EQ(batch["batch_id"], "batch-1");
  EXPECT_EQ(batch["app_slug"], "flagrig");
  EXPECT_EQ(batch["daily_token"], "3e1ce64413ac4f47");
  ASSERT_EQ(batch["events"].size(), 1u);
  EXPECT_EQ(batch["events"][0]["message_template"],
            "upload failed for <email>: category=diagnostics");
  EXPECT_EQ(batch["events"][0]["category"], "diagnostics");
  EXPECT_EQ(batch["events"][0]["client_event_id"], "event-1");
}

}  // namespace
}  // namespace voskary
