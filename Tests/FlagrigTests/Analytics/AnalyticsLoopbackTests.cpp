#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>

#include "AnalyticsTest.h"
#include "Flagrig/Analytics/Analytics.h"
#include "Platform/Linux/CurlTransport.h"
#include "Platform/Network/HTTPSession.h"
#include "PlatformTests/Linux/LoopbackHTTPServer.h"

namespace flagrig::testing {
namespace {

using platform::testing::LoopbackHTTPServer;

// A capture over the real libcurl session, to a capture service on 127.0.0.1.
class AnalyticsLoopbackTests : public AnalyticsTest {};

TEST_F(AnalyticsLoopbackTests, ACaptureReachesTheServiceWithTheExactBody) {
  std::unique_ptr<LoopbackHTTPServer> server;
  try {
    server = std::make_unique<LoopbackHTTPServer>(
        [](const auto&) { return LoopbackHTTPServer::answer(200, {}, R"({"status":1})"); });
  } catch (const std::runtime_error& e) {
    GTEST_SKIP() << "no loopback HTTP server: " << e.what();
  }
  ServiceAddresses::setActiveForTesting(
      {platform::URL(server->url("/account")), platform::URL(server->url("/ph")),
       platform::URL("https://web.test"), platform::URL("https://contacts.test")});
  sim().environment->httpSession = std::make_shared<platform::HTTPSession>(
      std::make_shared<platform::linuxbackend::CurlTransport>(),
      platform::URLSessionConfiguration::defaultConfiguration());

  Analytics::track("tag_created", {{"colour", "amber"}, {"count", 2}, {"big", false}});
  runUntilIdle();
  ASSERT_TRUE(server->waitForRequests(1));

  auto request = server->requests().at(0);
  EXPECT_EQ(request.method, "POST");
  EXPECT_EQ(request.target, "/ph/capture/");
  bool json = false;
  for (const auto& [name, value] : request.headerFields) {
    if (name == "Content-Type") json = value == "application/json";
  }
  EXPECT_TRUE(json);
  EXPECT_EQ(
      request.body,
      R"j({"api_key":"phc_Q7mLx2RbVt9KwPz4HnYc6JfDs3GaUe8NrTk5WqZy1MvB",)j"
      R"j("event":"flagrig_tag_created","distinct_id":"dev_0a1b2c3d-0000-4000-8000-00000000000d",)j"
      R"j("properties":{"$os":"macOS","$os_version":"Version 6.1.0 (Simulated Linux, kernel 6.1.0-sim)",)j"
      R"j("$app_version":"1.0.0","$lib":"flagrig-swift","$lib_version":"1.0.0","app_slug":"flagrig",)j"
      R"j("platform":"macos","version":"1.0.0","install_id":"dev_0a1b2c3d-0000-4000-8000-00000000000d",)j"
      R"j("auth_state":"anonymous","big":false,"colour":"amber","count":2},)j"
      R"j("timestamp":"2027-01-15T08:00:00Z"})j");
}

}  // namespace
}  // namespace flagrig::testing
