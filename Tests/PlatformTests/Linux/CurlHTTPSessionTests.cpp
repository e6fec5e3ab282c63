#include "Platform/Linux/CurlTransport.h"
#include "Platform/Network/HTTPSession.h"

#include <gtest/gtest.h>

#include <chrono>

#include "Platform/Foundation/Clock.h"
#include "Platform/Foundation/RunLoop.h"
#include "PlatformTests/Linux/LoopbackHTTPServer.h"

namespace platform::testing {
namespace {

using namespace std::chrono_literals;
using Fields = std::vector<std::pair<std::string, std::string>>;

std::string text(const Bytes& bytes) {
  return std::string(bytes.begin(), bytes.end());
}

// Runs tasks on a real run loop on the test thread, as the application's main loop does.
class CurlHTTPSessionTests : public ::testing::Test {
 protected:
  struct Outcome {
    std::optional<HTTPResult> result;
    std::optional<URLError> error;
    bool resumedOnLoop = false;
  };

  Outcome fetch(HTTPRequest request, std::function<void()> whileWaiting = nullptr) {
    Outcome outcome;
    auto body = [&]() -> Task<void> {
      try {
        outcome.result = co_await session_->data(request);
      } catch (const URLError& e) {
        outcome.error = e;
      }
      outcome.resumedOnLoop = Executor::current() == loop_.get();
      loop_->stop();
    };
    handle_ = spawn(body(), loop_);
    if (whileWaiting) loop_->post(whileWaiting);
    loop_->run();
    return outcome;
  }
  static HTTPRequest request(const std::string& url, std::string method = "GET") {
    HTTPRequest r{URL(url)};
    r.httpMethod = std::move(method);
    return r;
  }

  std::shared_ptr<RunLoop> loop_ = std::make_shared<RunLoop>(std::make_shared<SystemClock>());
  std::shared_ptr<HTTPSession> session_ =
      std::make_shared<HTTPSession>(std::make_shared<linuxbackend::CurlTransport>(),
                                    URLSessionConfiguration::defaultConfiguration());
  TaskHandle handle_;
};

TEST_F(CurlHTTPSessionTests, SendsTheRequestAndReadsStatusFieldsAndBody) {
  LoopbackHTTPServer server([](const auto&) {
    return LoopbackHTTPServer::answer(
        201, {{"Content-Type", "application/json"}, {"X-Repeat", "a"}, {"x-repeat", "b"}},
        R"({"short_code":"AB12"})");
  });
  auto post = request(server.url("/diagnostics?x=1"), "POST");
  post.setValue("multipart/form-data; boundary=B", "Content-Type");
  post.setValue("Bearer token", "Authorization");
  post.setValue("", "X-Empty");
  post.httpBody = Bytes(3000, 'z');
  auto outcome = fetch(post);

  ASSERT_TRUE(outcome.result) << (outcome.error ? outcome.error->description() : "");
  EXPECT_TRUE(outcome.resumedOnLoop);
  const auto* http = outcome.result->response->asHTTP();
  ASSERT_NE(http, nullptr);
  EXPECT_EQ(http->statusCode(), 201);
  EXPECT_EQ(http->httpVersion(), "HTTP/1.1");
  EXPECT_EQ(http->value("X-REPEAT"), "a, b");
  EXPECT_EQ(http->mimeType(), "application/json");
  EXPECT_EQ(http->url(), post.url);
  EXPECT_EQ(text(outcome.result->data), R"({"short_code":"AB12"})");

  auto seen = server.requests();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].method, "POST");
  EXPECT_EQ(seen[0].target, "/diagnostics?x=1");
  EXPECT_EQ(seen[0].body, std::string(3000, 'z'));
  Fields ours;
  for (const auto& field : seen[0].headerFields) {
    if (field.first == "Content-Type" || field.first == "Authorization" || field.first == "X-Empty")
      ours.push_back(field);
    EXPECT_NE(field.first, "Expect");
  }
  EXPECT_EQ(ours, (Fields{{"Content-Type", "multipart/form-data; boundary=B"},
                          {"Authorization", "Bearer token"},
                          {"X-Empty", ""}}));
}

TEST_F(CurlHTTPSessionTests, EveryStatusIsAnAnswerNotAnError) {
  for (int status : {200, 204, 301, 404, 426, 500}) {
    LoopbackHTTPServer server([status](const auto&) {
      return LoopbackHTTPServer::answer(status, {},
                                        status == 204 ? "" : "body " + std::to_string(status));
    });
    auto outcome = fetch(request(server.url("/api/geo")));
    ASSERT_TRUE(outcome.result) << status;
    EXPECT_EQ(outcome.result->response->asHTTP()->statusCode(), status);
    EXPECT_EQ(text(outcome.result->data), status == 204 ? "" : "body " + std::to_string(status));
  }
}

TEST_F(CurlHTTPSessionTests, ASlowAnswerHitsTheTimeout) {
  LoopbackHTTPServer server([&server](const auto&) {
    server.holdUntilStopped();
    return std::string();
  });
  auto slow = request(server.url("/slow"));
  slow.timeoutInterval = 0.3;
  auto began = std::chrono::steady_clock::now();
  auto outcome = fetch(slow);
  auto took = std::chrono::steady_clock::now() - began;
  ASSERT_TRUE(outcome.error);
  EXPECT_EQ(outcome.error->code(), URLError::timedOut);
  EXPECT_GE(took, 250ms);
  EXPECT_LT(took, 5s);
}

TEST_F(CurlHTTPSessionTests, TransportFailuresCarryTheURLErrorCodes) {
  auto refused =
      fetch(request("http://127.0.0.1:" + std::to_string(LoopbackHTTPServer::unusedPort()) + "/"));
  ASSERT_TRUE(refused.error);
  EXPECT_EQ(refused.error->code(), URLError::cannotConnectToHost);
  EXPECT_TRUE(refused.resumedOnLoop);

  LoopbackHTTPServer silent([](const auto&) { return std::string(); });
  auto nothing = fetch(request(silent.url("/")));
  ASSERT_TRUE(nothing.error);
  EXPECT_EQ(nothing.error->code(), URLError::networkConnectionLost);

  for (const char* url :
       {"file:///etc/passwd", "ftp://127.0.0.1/x", "mailto:someone@example.com"}) {
    auto unsupported = fetch(request(url));
    ASSERT_TRUE(unsupported.error) << url;
    EXPECT_EQ(unsupported.error->code(), URLError::unsupportedURL) << url;
  }
}

TEST_F(CurlHTTPSessionTests, CancellingTheTaskStopsTheTransfer) {
  LoopbackHTTPServer server([&server](const auto&) {
    server.holdUntilStopped();
    return std::string();
  });
  auto began = std::chrono::steady_clock::now();
  auto outcome = fetch(request(server.url("/held")), [&] {
    ASSERT_TRUE(server.waitForRequests(1));
    handle_.cancel();
  });
  ASSERT_TRUE(outcome.error);
  EXPECT_EQ(outcome.error->code(), URLError::cancelled);
  EXPECT_LT(std::chrono::steady_clock::now() - began, 5s);
}

TEST_F(CurlHTTPSessionTests, APeerThatClosesDuringTheUploadRaisesNoSignal) {
  // Without protection the write to the closed socket would raise SIGPIPE and end this process.
  LoopbackHTTPServer server([](const auto&) { return std::string(); });
  auto upload = request(server.url("/upload"), "PUT");
  upload.httpBody = Bytes(32 * 1024 * 1024, 'u');
  auto outcome = fetch(upload);
  ASSERT_TRUE(outcome.error);
  EXPECT_EQ(outcome.error->code(), URLError::networkConnectionLost);
}

TEST_F(CurlHTTPSessionTests, FireAndForgetReturnsAtOnce) {
  LoopbackHTTPServer server([&server](const auto&) {
    server.holdUntilStopped();
    return std::string();
  });
  auto began = std::chrono::steady_clock::now();
  auto ephemeral = session_->makeSession(URLSessionConfiguration::ephemeral());
  ephemeral->send(request(server.url("/capture/"), "POST"));
  EXPECT_LT(std::chrono::steady_clock::now() - began, 100ms);
  EXPECT_TRUE(server.waitForRequests(1));
}

}  // namespace
}  // namespace platform::testing
