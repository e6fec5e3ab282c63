#include "Platform/Linux/CurlTransport.h"
#include "Platform/Network/HTTPSession.h"

#include <gtest/gtest.h>

#include <zlib.h>
#include <chrono>
#include <optional>

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
    return fetchWith(session_, std::move(request), std::move(whileWaiting));
  }
  Outcome fetchWith(std::shared_ptr<HTTPSession> session, HTTPRequest request,
                    std::function<void()> whileWaiting = nullptr) {
    Outcome outcome;
    auto body = [&]() -> Task<void> {
      try {
        outcome.result = co_await session->data(request);
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

// A redirect is followed only on the same scheme, host and port: elsewhere it would carry the
// body (a refresh token) and the fields there. Otherwise the redirect itself is the answer.
TEST_F(CurlHTTPSessionTests, RedirectsAreFollowedOnlyWithinTheOrigin) {
  LoopbackHTTPServer elsewhere(
      [](const auto&) { return LoopbackHTTPServer::answer(200, {}, "stolen"); });
  std::string location;
  LoopbackHTTPServer origin([&](const LoopbackHTTPServer::Request& r) {
    if (r.target == "/moved") return LoopbackHTTPServer::answer(200, {}, "here: " + r.body);
    return LoopbackHTTPServer::answer(307, {{"Location", location}}, "redirect body");
  });
  int port = std::stoi(origin.url("").substr(std::string("http://127.0.0.1:").size()));
  struct Case {
    std::string location;
    bool followed;
  };
  for (const Case& c : std::vector<Case>{
           {"/moved", true},
           {origin.url("/moved"), true},
           {"HTTP://127.0.0.1:" + std::to_string(port) + "/moved", true},
           {elsewhere.url("/api/app-sessions/refresh"), false},
           {"http://localhost:" + std::to_string(port) + "/moved", false},
           {"https://127.0.0.1:" + std::to_string(port) + "/moved", false},
           {"//[::1]:" + std::to_string(port) + "/moved", false},
       }) {
    location = c.location;
    auto post = request(origin.url("/api/app-sessions/refresh"), "POST");
    post.setValue("DPoP proof", "DPoP");
    post.httpBody = Bytes{'r', 't'};
    auto outcome = fetch(post);
    ASSERT_TRUE(outcome.result) << c.location
                                << (outcome.error ? outcome.error->description() : "");
    const auto* http = outcome.result->response->asHTTP();
    if (c.followed) {
      EXPECT_EQ(http->statusCode(), 200) << c.location;
      EXPECT_EQ(text(outcome.result->data), "here: rt") << c.location;
    } else {
      EXPECT_EQ(http->statusCode(), 307) << c.location;
      EXPECT_EQ(http->value("Location"), c.location);
      EXPECT_EQ(http->url(), post.url);
    }
  }
  EXPECT_TRUE(elsewhere.requests().empty());
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

std::string gzipped(const std::string& text) {
  z_stream stream{};
  if (deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, 15 + 16, 9, Z_DEFAULT_STRATEGY) != Z_OK)
    throw std::runtime_error("deflateInit2");
  std::string out(deflateBound(&stream, text.size()), '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
  stream.avail_in = static_cast<uInt>(text.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  deflate(&stream, Z_FINISH);
  out.resize(stream.total_out);
  deflateEnd(&stream);
  return out;
}

// A body past the session's cap fails the transfer instead of filling memory, however it
// arrives: announced, unannounced, or compressed small and expanding past it.
TEST_F(CurlHTTPSessionTests, ResponseBodiesAreCappedAfterDecoding) {
  EXPECT_EQ(URLSessionConfiguration::defaultConfiguration().maximumResponseBodyBytes,
            16u * 1024 * 1024);
  constexpr std::size_t cap = 64 * 1024;
  auto configuration = URLSessionConfiguration::defaultConfiguration();
  configuration.maximumResponseBodyBytes = cap;
  auto capped = session_->makeSession(configuration);

  struct Case {
    const char* name;
    std::string reply;
    std::optional<std::size_t> bodySize;  // nothing: the cap is exceeded
  };
  const std::string full(cap, 'a');
  const std::string unannounced = "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + full + "b";
  const Case cases[] = {
      {"exactly the cap", LoopbackHTTPServer::answer(200, {}, full), cap},
      {"one byte past it, announced", LoopbackHTTPServer::answer(200, {}, full + "b"),
       std::nullopt},
      {"one byte past it, unannounced", unannounced, std::nullopt},
      {"a compressed body within it",
       LoopbackHTTPServer::answer(200, {{"Content-Encoding", "gzip"}}, gzipped(full)), cap},
      {"a compressed body that expands past it",
       LoopbackHTTPServer::answer(200, {{"Content-Encoding", "gzip"}},
                                  gzipped(std::string(8 * 1024 * 1024, '\0'))),
       std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    LoopbackHTTPServer server([&](const auto&) { return c.reply; });
    auto outcome = fetchWith(capped, request(server.url("/body")));
    if (c.bodySize) {
      ASSERT_TRUE(outcome.result) << outcome.error->description();
      EXPECT_EQ(outcome.result->data.size(), *c.bodySize);
    } else {
      ASSERT_TRUE(outcome.error);
      EXPECT_EQ(outcome.error->code(), URLError::dataLengthExceedsMaximum);
    }
  }
}

// Each byte resets the idle timeout; the session's limit for the whole transfer ends it.
TEST_F(CurlHTTPSessionTests, ADrippingServerIsEndedByTheResourceLimit) {
  EXPECT_LE(URLSessionConfiguration::sharedConfiguration().timeoutIntervalForResource, 600.0);
  auto configuration = URLSessionConfiguration::defaultConfiguration();
  configuration.timeoutIntervalForResource = 0.5;
  auto limited = session_->makeSession(configuration);
  LoopbackHTTPServer server(
      [](const auto&) { return LoopbackHTTPServer::answer(200, {}, std::string(1000, 'd')); });
  server.setDripInterval(20ms);
  auto dripped = request(server.url("/drip"));
  dripped.timeoutInterval = 5;
  auto began = std::chrono::steady_clock::now();
  auto outcome = fetchWith(limited, dripped);
  ASSERT_TRUE(outcome.error);
  EXPECT_EQ(outcome.error->code(), URLError::timedOut);
  EXPECT_LT(std::chrono::steady_clock::now() - began, 5s);
}

TEST_F(CurlHTTPSessionTests, AFieldWithALineBreakIsRefusedBeforeSending) {
  LoopbackHTTPServer server([](const auto&) { return LoopbackHTTPServer::answer(200, {}, ""); });
  const std::vector<std::pair<std::string, std::string>> fields = {
      {"X-Value", "a\r\nX-Injected: 1"},
      {"X-Value", "a\nb"},
      {"X-Value", "a\rb"},
      {"X-Value", std::string("a\0b", 3)},
      {"X-Name\r\nX-Injected", "1"},
      {"X-Name: x", "1"},
      {"", "1"},
  };
  for (const auto& [name, value] : fields) {
    auto r = request(server.url("/"));
    r.headerFields.set(name, value);
    auto outcome = fetch(r);
    ASSERT_TRUE(outcome.error) << name;
    EXPECT_EQ(outcome.error->code(), URLError::badURL) << name;
  }
  EXPECT_TRUE(server.requests().empty());
}

TEST_F(CurlHTTPSessionTests, AMalformedStatusLineIsABadServerResponse) {
  for (const char* reply : {"garbage\r\n\r\n", "HTTP/1.1 abc OK\r\n\r\n",
                            "HTTP/9.9 200 OK\r\nContent-Length: 0\r\n\r\n", "\r\n\r\n"}) {
    LoopbackHTTPServer server([reply](const auto&) { return std::string(reply); });
    auto outcome = fetch(request(server.url("/")));
    ASSERT_TRUE(outcome.error) << reply;
    EXPECT_EQ(outcome.error->code(), URLError::badServerResponse) << reply;
  }
}

}  // namespace
}  // namespace platform::testing
