#include <gtest/gtest.h>

#include "Platform/Network/HTTPSession.h"
#include "Support/SimTest.h"

namespace platform {
namespace {

using sim::SimHTTPAnswer;

std::string text(const Bytes& bytes) {
  return std::string(bytes.begin(), bytes.end());
}

class SimHTTPSessionTests : public testing::SimTest {
 protected:
  HTTPRequest request(std::string method = "GET",
                      std::string url = "https://api.example.com/api/geo") {
    HTTPRequest r{URL(url)};
    r.httpMethod = std::move(method);
    return r;
  }
  Task<HTTPResult> fetch(HTTPRequest r) { return env().httpSession->data(std::move(r)); }
  URLError::Code failureOf(HTTPRequest r) {
    try {
      await(fetch(std::move(r)));
    } catch (const URLError& e) {
      return e.code();
    }
    ADD_FAILURE() << "the transfer did not fail";
    return URLError::unknown;
  }
};

TEST_F(SimHTTPSessionTests, AnswersFromTheScriptInOrderAndRecordsRequests) {
  sim().http->respond("POST", "https://api.example.com/api/geo", SimHTTPAnswer::status(500));
  sim().http->respond("POST", "https://api.example.com/api/geo",
                      SimHTTPAnswer::status(200, R"({"eu":true})", {{"Retry-After", "5"}}));
  auto post = request("POST");
  post.setValue("application/json", "Content-Type");
  post.httpBody = Bytes{'{', '}'};

  std::vector<int> statuses;
  for (int i = 0; i < 3; ++i)
    statuses.push_back(await(fetch(post)).response->asHTTP()->statusCode());
  EXPECT_EQ(statuses, (std::vector{500, 200, 200}));  // the last answer keeps answering
  auto last = await(fetch(post));
  EXPECT_EQ(text(last.data), R"({"eu":true})");
  EXPECT_EQ(last.response->asHTTP()->value("retry-after"), "5");
  EXPECT_EQ(last.response->url(), post.url);

  auto recorded = sim().http->requests();
  ASSERT_EQ(recorded.size(), 4u);
  EXPECT_EQ(recorded[0].request.value("content-type"), "application/json");
  EXPECT_EQ(recorded[0].request.httpBody, post.httpBody);
  EXPECT_EQ(recorded[0].request.timeoutInterval, 60.0);  // filled in from the session
}

TEST_F(SimHTTPSessionTests, FailuresAndAnswersThatAreNotHTTP) {
  EXPECT_EQ(failureOf(request()), URLError::cannotConnectToHost);  // nothing scripted
  sim().http->respond("GET", "https://api.example.com/api/geo",
                      SimHTTPAnswer::failing(URLError::notConnectedToInternet));
  EXPECT_EQ(failureOf(request()), URLError::notConnectedToInternet);

  sim().http->respond("GET", "https://api.example.com/other", SimHTTPAnswer::notHTTP("x"));
  auto odd = await(fetch(request("GET", "https://api.example.com/other")));
  EXPECT_EQ(odd.response->asHTTP(), nullptr);
  EXPECT_EQ(text(odd.data), "x");
}

TEST_F(SimHTTPSessionTests, HeldAnswersWaitForTheTestOrTheTimeout) {
  sim().http->respond("GET", "https://api.example.com/api/geo",
                      SimHTTPAnswer::status(204).holding());
  std::optional<int> status;
  auto run = [this, &status]() -> Task<void> {
    status = (co_await fetch(request())).response->asHTTP()->statusCode();
  };
  spawn(run());
  runUntilIdle();
  EXPECT_EQ(sim().http->heldCount(), 1u);
  advance(59);
  EXPECT_FALSE(status);
  EXPECT_TRUE(sim().http->releaseHeld());
  runUntilIdle();
  EXPECT_EQ(status, 204);

  auto slow = request();
  slow.timeoutInterval = 5;
  EXPECT_EQ(failureOf(slow), URLError::timedOut);
  EXPECT_EQ(sim().http->heldCount(), 0u);

  sim().http->respond("GET", "https://api.example.com/late", SimHTTPAnswer::status(200).after(10));
  auto late = request("GET", "https://api.example.com/late");
  late.timeoutInterval = 8;
  EXPECT_EQ(failureOf(late), URLError::timedOut);
  late.timeoutInterval = 12;
  EXPECT_EQ(await(fetch(late)).response->asHTTP()->statusCode(), 200);
}

TEST_F(SimHTTPSessionTests, CancellingTheTaskEndsTheTransferWithCancelled) {
  sim().http->respond("GET", "https://api.example.com/api/geo",
                      SimHTTPAnswer::status(200).holding());
  std::optional<URLError::Code> failure;
  auto run = [this, &failure]() -> Task<void> {
    try {
      co_await fetch(request());
    } catch (const URLError& e) {
      failure = e.code();
    }
  };
  auto handle = spawn(run());
  runUntilIdle();
  handle.cancel();
  runUntilIdle();
  EXPECT_EQ(failure, URLError::cancelled);
  EXPECT_EQ(sim().http->heldCount(), 0u);
}

TEST_F(SimHTTPSessionTests, SessionsCarryTheirConfigurationAndSendNeverWaits) {
  auto configuration = URLSessionConfiguration::ephemeral();
  configuration.timeoutIntervalForRequest = 15;
  configuration.timeoutIntervalForResource = 20;
  auto session = env().httpSession->makeSession(configuration);
  sim().http->respond("POST", "https://api.example.com/capture/",
                      SimHTTPAnswer::status(200).holding());
  auto capture = request("POST", "https://api.example.com/capture/");
  session->send(capture);
  env().httpSession->send(capture);
  auto recorded = sim().http->requests();
  ASSERT_EQ(recorded.size(), 2u);
  EXPECT_TRUE(recorded[0].configuration.isEphemeral);
  EXPECT_EQ(recorded[0].request.timeoutInterval, 15.0);
  EXPECT_FALSE(recorded[1].configuration.isEphemeral);
  // The ephemeral session's 15-second limit ends its transfer; the shared one is still held.
  advance(20);
  EXPECT_EQ(sim().http->heldCount(), 1u);
}

TEST(HTTPHeaderFieldsTests, NamesIgnoreCaseAndRepeatedNamesJoin) {
  HTTPHeaderFields fields{{"Set-Cookie", "a=1"}, {"Content-Type", "text/html; charset=utf-8"}};
  fields.add("set-cookie", "b=2");
  fields.set("CONTENT-TYPE", "Application/JSON; charset=utf-8");
  fields.set("Accept", "*/*");
  EXPECT_EQ(fields.fields(), (std::vector<HTTPHeaderFields::Field>{
                                 {"Set-Cookie", "a=1, b=2"},
                                 {"Content-Type", "Application/JSON; charset=utf-8"},
                                 {"Accept", "*/*"}}));
  HTTPURLResponse response(URL("https://example.com/"), 200, "HTTP/1.1", fields);
  EXPECT_EQ(response.mimeType(), "application/json");
  EXPECT_EQ(response.value("set-COOKIE"), "a=1, b=2");
  EXPECT_FALSE(response.value("Retry-After"));
  fields.remove("set-cookie");
  EXPECT_EQ(fields.fields().size(), 2u);
}

}  // namespace
}  // namespace platform
