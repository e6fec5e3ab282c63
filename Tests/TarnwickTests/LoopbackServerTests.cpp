#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "Platform/Foundation/Clock.h"
#include "Platform/Foundation/RunLoop.h"
#include "Support/SimTest.h"
#include "Tarnwick/HTTPConnection.h"
#include "Tarnwick/HTTPServer.h"
#include "Tarnwick/OIDRedirectHTTPHandler.h"
#include "TarnwickCore/HTTPMessage.h"
#include "TarnwickTests/TarnwickTestValues.h"

namespace tarnwick {
namespace {

using platform::URL;
using Status = HTTPRequestParser::Status;

TEST(HTTPRequestParserTest, WellFormedAndPartialRequests) {
  auto get = HTTPRequestParser::parse("GET /cb?code=1 HTTP/1.1\r\nHost: 127.0.0.1:5\r\n\r\nrest");
  ASSERT_EQ(get.status, Status::complete);
  EXPECT_EQ(get.request.method, "GET");
  EXPECT_EQ(get.request.target, "/cb?code=1");
  EXPECT_EQ(get.request.header("host"), "127.0.0.1:5");
  EXPECT_EQ(get.consumed,
            std::string_view("GET /cb?code=1 HTTP/1.1\r\nHost: 127.0.0.1:5\r\n\r\n").size());

  auto post = HTTPRequestParser::parse("POST / HTTP/1.0\r\nContent-Length: 3\r\n\r\nabcdef");
  ASSERT_EQ(post.status, Status::complete);
  EXPECT_EQ(post.request.body, "abc");

  const char* partial[] = {"", "GET / HTTP/1.1\r\nHost: x\r\n",
                           "POST / HTTP/1.1\r\nContent-Length: 5\r\n\r\nab"};
  for (const char* text : partial) {
    EXPECT_EQ(HTTPRequestParser::parse(text).status, Status::incomplete) << text;
  }
}

TEST(HTTPRequestParserTest, HostileRequestsAreRefusedNotBuffered) {
  const std::string cases[] = {
      "POST / HTTP/1.1\r\nContent-Length: -1\r\n\r\n",
      "POST / HTTP/1.1\r\nContent-Length: abc\r\n\r\n",
      "POST / HTTP/1.1\r\nContent-Length: 99999999999999999999999\r\n\r\n",
      "POST / HTTP/1.1\r\nContent-Length: 1048577\r\n\r\n",
      "POST / HTTP/1.1\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\nab",
      "POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n\r\n",
      "GET /\r\n\r\n",
      "GET / HTTP/1.1 extra\r\n\r\n",
      "GET / FTP/1.1\r\n\r\n",
      "G(T / HTTP/1.1\r\n\r\n",
      "GET / HTTP/1.1\r\nno colon here\r\n\r\n",
      "GET / HTTP/1.1\r\nA: 1\r\n folded\r\n\r\n",
      "GET / HTTP/1.1\r\nBad Name: 1\r\n\r\n",
      "GET /a\x01 HTTP/1.1\r\n\r\n",
      std::string(HTTPRequestParser::maxHeadLength + 1, 'a'),
      "GET / HTTP/1.1\r\nX: " + std::string(HTTPRequestParser::maxHeadLength, 'a') + "\r\n\r\n",
  };
  for (const auto& text : cases) {
    EXPECT_EQ(HTTPRequestParser::parse(text).status, Status::invalid) << text.substr(0, 60);
  }
  // Exactly the body limit is accepted.
  std::string limit = "POST / HTTP/1.1\r\nContent-Length: 1048576\r\n\r\n" +
                      std::string(HTTPRequestParser::maxBodyLength, 'x');
  EXPECT_EQ(HTTPRequestParser::parse(limit).status, Status::complete);
}

// A transport that takes at most `chunk` bytes per write and records them.
class RecordingTransport final : public HTTPConnection::Transport {
 public:
  std::size_t write(std::string_view bytes) override {
    if (blocked) return 0;
    std::size_t n = std::min(bytes.size(), chunk);
    written.append(bytes.substr(0, n));
    ++writes;
    return n;
  }
  void close() override { closed = true; }
  void setReading(bool on) override { reading = on; }

  std::size_t chunk = 7;
  bool reading = true;
  bool blocked = false;
  std::string written;
  int writes = 0;
  bool closed = false;
};

class RecordingDelegate final : public HTTPConnectionDelegate {
 public:
  void connectionDidReceiveRequest(HTTPConnection&,
                                   const std::shared_ptr<HTTPServerRequest>& request) override {
    received.push_back(request);
  }
  void connectionDidSendResponse(HTTPConnection&, const HTTPServerRequest&) override { ++sent; }
  std::vector<std::shared_ptr<HTTPServerRequest>> received;
  int sent = 0;
};

class HTTPConnectionTest : public platform::testing::SimTest {
 protected:
  std::shared_ptr<HTTPConnection> connect(bool withDelegate = true) {
    auto owned = std::make_unique<RecordingTransport>();
    transport = owned.get();
    auto connection =
        std::make_shared<HTTPConnection>("127.0.0.1", std::move(owned), sim().mainLoop);
    if (withDelegate) connection->setDelegate(delegate);
    connection->open();
    connections.push_back(connection);
    return connection;
  }

  // Connections keep themselves while their peer may still send.
  void TearDown() override {
    for (auto& connection : connections) connection->invalidate();
    connections.clear();
    Base::TearDown();
  }
  using Base = platform::testing::SimTest;

  std::vector<std::shared_ptr<HTTPConnection>> connections;

  static HTTPResponseMessage text(int status, std::string body) {
    return {status, {{"Content-Length", std::to_string(body.size())}}, std::move(body)};
  }

  RecordingTransport* transport = nullptr;
  std::shared_ptr<RecordingDelegate> delegate = std::make_shared<RecordingDelegate>();
};

TEST_F(HTTPConnectionTest, RequestsSplitAndJoinedAreAnsweredInOrderInSmallWrites) {
  auto connection = connect();
  connection->didReceive("GET /one HTTP/1.1\r\nHo");
  connection->didReceive(
      "st: a\r\n\r\nGET /two HTTP/1.1\r\n\r\nPOST /three HTTP/1.1\r\nContent-Length: 4\r\n\r\nab");
  runUntilIdle();
  ASSERT_EQ(delegate->received.size(), 2u) << "the third waits for its body";
  connection->didReceive("cd");
  runUntilIdle();
  ASSERT_EQ(delegate->received.size(), 3u);
  EXPECT_EQ(delegate->received[2]->request().body, "abcd");

  // Answers go out in request order whatever order they are given in.
  delegate->received[1]->setResponse(text(200, "two"));
  EXPECT_TRUE(transport->written.empty());
  delegate->received[0]->setResponse(text(200, "one"));
  delegate->received[2]->setResponse(text(404, "three"));
  std::string expected = text(200, "one").serialized() + text(200, "two").serialized() +
                         text(404, "three").serialized();
  EXPECT_EQ(transport->written, expected);
  EXPECT_GT(transport->writes, static_cast<int>(expected.size() / 7) - 1);
  EXPECT_EQ(delegate->sent, 3);
  EXPECT_TRUE(connection->isValid());
  connection->didReachEndOfInput();
  EXPECT_FALSE(connection->isValid());
  EXPECT_TRUE(transport->closed);
}

TEST_F(HTTPConnectionTest, AFullTransportIsWrittenLater) {
  auto connection = connect();
  connection->didReceive("GET / HTTP/1.1\r\n\r\n");
  runUntilIdle();
  transport->blocked = true;
  delegate->received[0]->setResponse(text(200, "hello"));
  EXPECT_TRUE(transport->written.empty());
  transport->blocked = false;
  connection->canWrite();
  EXPECT_EQ(transport->written, text(200, "hello").serialized());
}

// A peer that pipelines requests and never reads the answers: reading stops once a few answers
// are owed, instead of taking every request it sends, and resumes when they have gone out.
TEST_F(HTTPConnectionTest, APeerThatDoesNotReadItsAnswersIsNotRead) {
  auto connection = connect(false);
  transport->blocked = true;
  std::string pipelined;
  for (int i = 0; i < 1000; ++i) pipelined += "GET /x HTTP/1.1\r\n\r\n";
  connection->didReceive(pipelined);
  EXPECT_FALSE(transport->reading);
  EXPECT_FALSE(connection->isReading());
  EXPECT_TRUE(transport->written.empty());

  transport->blocked = false;
  transport->chunk = 1 << 20;
  connection->canWrite();
  // Everything read so far is answered; then the peer is read again.
  std::size_t answers = 0;
  for (auto at = transport->written.find("HTTP/1.1 500"); at != std::string::npos;
       at = transport->written.find("HTTP/1.1 500", at + 1))
    ++answers;
  EXPECT_EQ(answers, 1000u);
  EXPECT_TRUE(transport->reading);
  EXPECT_TRUE(connection->isValid());

  // With a delegate that has not answered, no more than the limit is taken from the buffer.
  auto waiting = connect();
  std::string many;
  for (int i = 0; i < 100; ++i) many += "GET /y HTTP/1.1\r\n\r\n";
  waiting->didReceive(many);
  runUntilIdle();
  EXPECT_EQ(delegate->received.size(), HTTPConnection::maxUnansweredRequests);
  EXPECT_FALSE(transport->reading);
  for (auto& request : delegate->received) request->setResponse(text(200, "ok"));
  runUntilIdle();
  EXPECT_GT(delegate->received.size(), HTTPConnection::maxUnansweredRequests);
}

TEST_F(HTTPConnectionTest, MalformedInputIsAnswered400AndClosed) {
  auto connection = connect();
  connection->didReceive(
      "POST / HTTP/1.1\r\nContent-Length: -5\r\n\r\nGET /after HTTP/1.1\r\n\r\n");
  runUntilIdle();
  EXPECT_TRUE(delegate->received.empty());
  EXPECT_EQ(transport->written.rfind("HTTP/1.1 400 Bad Request\r\n", 0), 0u);
  EXPECT_FALSE(connection->isValid());
  EXPECT_TRUE(transport->closed);

  // A peer that stops halfway through a request gets the same.
  auto truncated = connect();
  truncated->didReceive("GET / HTTP/1.1\r\nHost");
  truncated->didReachEndOfInput();
  EXPECT_EQ(transport->written.rfind("HTTP/1.1 400", 0), 0u);
  EXPECT_FALSE(truncated->isValid());
}

TEST_F(HTTPConnectionTest, WithoutDelegateTheDefaultAnswersDependOnTheVersion) {
  auto connection = connect(false);
  connection->didReceive("GET / HTTP/1.1\r\n\r\nGET / HTTP/1.0\r\n\r\n");
  EXPECT_NE(transport->written.find("HTTP/1.1 500 "), std::string::npos);
  EXPECT_NE(transport->written.find("HTTP/1.1 505 "), std::string::npos);
}

// A flow that takes one redirect path and records how it ended.
class RedirectHandlerTest : public HTTPConnectionTest {
 protected:
  std::shared_ptr<OIDAuthorizationSession> flow() {
    auto session = std::make_shared<OIDAuthorizationSession>(request);
    session->presentAuthorizationWithExternalUserAgent(agent, testing::recordInto(outcomes));
    return session;
  }

  std::string answerTo(OIDRedirectHTTPHandler& handler, const std::string& target) {
    auto connection = connect(false);
    connection->setDelegate(handler.weak_from_this());
    connection->didReceive("GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1:7777\r\n\r\n");
    runUntilIdle();
    return transport->written;
  }

  OIDAuthorizationRequest request = OIDAuthorizationRequest(
      testing::testConfiguration(), "flagrig", std::nullopt, std::optional<std::string>("openid"),
      URL("http://127.0.0.1:7777/cb"), std::string(OIDResponseTypeCode), "st", std::nullopt,
      std::nullopt, std::nullopt, std::nullopt, std::nullopt);
  std::shared_ptr<testing::RecordingUserAgent> agent =
      std::make_shared<testing::RecordingUserAgent>();
  std::vector<testing::FlowOutcome> outcomes;
};

TEST_F(RedirectHandlerTest, AnswersByWhatTheFlowMadeOfTheRequest) {
  auto handler = std::make_shared<OIDRedirectHTTPHandler>();
  EXPECT_EQ(answerTo(*handler, "/cb?code=1&state=st").rfind("HTTP/1.1 400 ", 0), 0u);

  handler->setCurrentAuthorizationFlow(flow());
  EXPECT_EQ(answerTo(*handler, "/favicon.ico").rfind("HTTP/1.1 404 ", 0), 0u);
  EXPECT_TRUE(outcomes.empty()) << "the flow keeps waiting";

  std::string done = answerTo(*handler, "/cb?code=c0de&state=st");
  EXPECT_EQ(done.rfind("HTTP/1.1 200 OK\r\n", 0), 0u);
  EXPECT_NE(
      done.find("\r\n\r\n<html><body>Authorization complete.<br> Return to the app.</body></html>"),
      std::string::npos);
  ASSERT_EQ(outcomes.size(), 1u);
  EXPECT_EQ(outcomes[0].response->authorizationCode(), "c0de");
  EXPECT_FALSE(handler->currentAuthorizationFlow());

  auto redirecting = std::make_shared<OIDRedirectHTTPHandler>(URL("https://example.test/done"));
  redirecting->setCurrentAuthorizationFlow(flow());
  std::string moved = answerTo(*redirecting, "/cb?code=2&state=st");
  EXPECT_EQ(moved.rfind("HTTP/1.1 302 Found\r\n", 0), 0u);
  EXPECT_NE(moved.find("Location: https://example.test/done\r\n"), std::string::npos);
}

TEST_F(RedirectHandlerTest, CancellingFailsTheWaitingFlow) {
  auto handler = std::make_shared<OIDRedirectHTTPHandler>();
  handler->setCurrentAuthorizationFlow(flow());
  handler->cancelHTTPListener();
  ASSERT_EQ(outcomes.size(), 1u);
  EXPECT_TRUE(outcomes[0].error->is(OIDErrorCode::programCancelledAuthorizationFlow));

  handler->setCurrentAuthorizationFlow(flow());
  handler.reset();
  ASSERT_EQ(outcomes.size(), 2u);
  EXPECT_TRUE(outcomes[1].error->is(OIDErrorCode::programCancelledAuthorizationFlow));
}

// Real sockets on a real run loop.
class LoopbackSocketTest : public platform::testing::SimTest {
 protected:
  static bool hasIPv6Loopback() {
    int fd = socket(AF_INET6, SOCK_STREAM, 0);
    if (fd < 0) return false;
    sockaddr_in6 address{};
    address.sin6_family = AF_INET6;
    address.sin6_addr = in6addr_loopback;
    bool ok = bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return ok;
  }

  // Holds a port on one loopback family.
  static int occupy(int family, std::uint16_t port) {
    int fd = socket(family, SOCK_STREAM, 0);
    int yes = 1;
    if (family == AF_INET6) setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &yes, sizeof yes);
    sockaddr_storage storage{};
    if (family == AF_INET) {
      auto* a = reinterpret_cast<sockaddr_in*>(&storage);
      a->sin_family = AF_INET;
      a->sin_port = htons(port);
      a->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    } else {
      auto* a = reinterpret_cast<sockaddr_in6*>(&storage);
      a->sin6_family = AF_INET6;
      a->sin6_port = htons(port);
      a->sin6_addr = in6addr_loopback;
    }
    socklen_t length = family == AF_INET ? sizeof(sockaddr_in) : sizeof(sockaddr_in6);
    if (bind(fd, reinterpret_cast<sockaddr*>(&storage), length) != 0 || listen(fd, 1) != 0) {
      close(fd);
      return -1;
    }
    return fd;
  }

  // Sends `request` to the port from another thread while the loop runs; the answer.
  std::string exchange(int family, std::uint16_t port, const std::string& request) {
    std::string answer;
    std::thread client([&] {
      int fd = socket(family, SOCK_STREAM, 0);
      sockaddr_storage storage{};
      socklen_t length;
      if (family == AF_INET) {
        auto* a = reinterpret_cast<sockaddr_in*>(&storage);
        a->sin_family = AF_INET;
        a->sin_port = htons(port);
        a->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        length = sizeof *a;
      } else {
        auto* a = reinterpret_cast<sockaddr_in6*>(&storage);
        a->sin6_family = AF_INET6;
        a->sin6_port = htons(port);
        a->sin6_addr = in6addr_loopback;
        length = sizeof *a;
      }
      timeval timeout{5, 0};
      setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
      if (connect(fd, reinterpret_cast<sockaddr*>(&storage), length) == 0) {
        // Sent in small pieces, as a slow browser might.
        for (std::size_t i = 0; i < request.size(); i += 5) {
          send(fd, request.data() + i, std::min<std::size_t>(5, request.size() - i), MSG_NOSIGNAL);
        }
        char buffer[4096];
        ssize_t n;
        while ((n = recv(fd, buffer, sizeof buffer, 0)) > 0) answer.append(buffer, n);
      }
      close(fd);
      loop->post([this] { loop->stop(); });
    });
    auto watchdog = loop->postAfter(10, [this] { loop->stop(); });
    loop->run();
    watchdog->cancel();
    client.join();
    return answer;
  }

  std::shared_ptr<platform::RunLoop> loop =
      std::make_shared<platform::RunLoop>(std::make_shared<platform::SystemClock>());
};

TEST_F(LoopbackSocketTest, TakesTheRedirectOnBothFamilies) {
  auto handler = std::make_shared<OIDRedirectHTTPHandler>(std::nullopt, loop);
  std::optional<OIDError> error;
  auto base = handler->startHTTPListener(&error);
  ASSERT_TRUE(base) << (error ? error->description() : "");
  EXPECT_EQ(base->host(), "127.0.0.1");
  auto port = static_cast<std::uint16_t>(*base->port());

  std::vector<testing::FlowOutcome> outcomes;
  auto request = OIDAuthorizationRequest(
      testing::testConfiguration(), "flagrig", std::nullopt, std::optional<std::string>("openid"),
      URL(base->absoluteString() + "cb"), std::string(OIDResponseTypeCode), "st", std::nullopt,
      std::nullopt, std::nullopt, std::nullopt, std::nullopt);
  auto session = std::make_shared<OIDAuthorizationSession>(request);
  session->presentAuthorizationWithExternalUserAgent(
      std::make_shared<testing::RecordingUserAgent>(), testing::recordInto(outcomes));
  handler->setCurrentAuthorizationFlow(session);

  int family = hasIPv6Loopback() ? AF_INET6 : AF_INET;
  std::string host = family == AF_INET6 ? "[::1]" : "127.0.0.1";
  std::string miss = exchange(family, port,
                              "GET /nope HTTP/1.1\r\nHost: " + host + ":" + std::to_string(port) +
                                  "\r\nConnection: close\r\n\r\n");
  EXPECT_EQ(miss.rfind("HTTP/1.1 404 ", 0), 0u) << miss;
  // The redirect goes to 127.0.0.1; the answer arrives although the listener stops for it.
  std::string hit = exchange(
      AF_INET, port,
      "GET /cb?code=xyz&state=st HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) + "\r\n\r\n");
  EXPECT_EQ(hit.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << hit;
  ASSERT_EQ(outcomes.size(), 1u);
  EXPECT_EQ(outcomes[0].response->authorizationCode(), "xyz");
}

// Connects to 127.0.0.1:`port`; the socket, or -1.
int connectTo(std::uint16_t port) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

// Whether the server closed `fd` (its read sees the end), waiting at most `seconds`.
bool closedByServer(int fd, int milliseconds) {
  pollfd p{fd, POLLIN, 0};
  if (poll(&p, 1, milliseconds) <= 0) return false;
  char c;
  return recv(fd, &c, 1, MSG_DONTWAIT) == 0;
}

// Idle peers are not kept, and no more than a few dozen are served at once.
TEST_F(LoopbackSocketTest, ConnectionsAreCappedAndIdleOnesClosed) {
  HTTPServer server(loop);
  server.setIdleTimeout(0.3);
  ASSERT_TRUE(server.start());
  std::vector<int> peers;
  for (std::size_t i = 0; i < HTTPServer::maxConnections + 8; ++i) {
    int fd = connectTo(server.port());
    ASSERT_GE(fd, 0);
    peers.push_back(fd);
  }
  auto until = [&](auto done) {
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done() && std::chrono::steady_clock::now() < end) {
      auto tick = loop->postAfter(0.01, [this] { loop->stop(); });
      loop->run();
      tick->cancel();
    }
    return done();
  };
  ASSERT_TRUE(until([&] { return server.connections().size() == HTTPServer::maxConnections; }));
  // The ones past the cap were closed as they came.
  std::size_t turnedAway = 0;
  for (int fd : peers) turnedAway += closedByServer(fd, 0);
  EXPECT_EQ(turnedAway, 8u);
  EXPECT_EQ(server.connections().size(), HTTPServer::maxConnections);

  // Nobody sends anything: every connection ends after the idle time.
  EXPECT_TRUE(until([&] { return server.connections().empty(); }));
  for (int fd : peers) EXPECT_TRUE(closedByServer(fd, 1000));
  for (int fd : peers) close(fd);
}

// Out of descriptors, a waiting connection cannot be taken: the listener rests instead of
// waking the loop again at once, and takes it once descriptors are free.
TEST_F(LoopbackSocketTest, AcceptingRestsWhileDescriptorsRunOut) {
  HTTPServer server(loop);
  ASSERT_TRUE(server.start());
  int peer = connectTo(server.port());
  ASSERT_GE(peer, 0);
  rlimit old{};
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &old), 0);
  // No descriptor free above the ones open now.
  int highest = dup(0);
  close(highest);
  rlimit none = old;
  none.rlim_cur = static_cast<rlim_t>(highest);
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &none), 0);
  auto tick = loop->postAfter(0.05, [this] { loop->stop(); });
  loop->run();
  const bool resting = !server.isAccepting();
  setrlimit(RLIMIT_NOFILE, &old);
  tick->cancel();
  EXPECT_TRUE(resting);
  EXPECT_TRUE(server.connections().empty());
  auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (server.connections().empty() && std::chrono::steady_clock::now() < end) {
    auto again = loop->postAfter(0.05, [this] { loop->stop(); });
    loop->run();
    again->cancel();
  }
  EXPECT_EQ(server.connections().size(), 1u);
  EXPECT_TRUE(server.isAccepting());
  close(peer);
}

TEST_F(LoopbackSocketTest, BindingFailures) {
  if (!hasIPv6Loopback()) GTEST_SKIP() << "this machine has no ::1";
  // Find a port free on both families, then take it on IPv4 only.
  int probe = occupy(AF_INET, 0);
  sockaddr_in bound{};
  socklen_t length = sizeof bound;
  getsockname(probe, reinterpret_cast<sockaddr*>(&bound), &length);
  std::uint16_t port = ntohs(bound.sin_port);
  auto handler = std::make_shared<OIDRedirectHTTPHandler>(std::nullopt, loop);
  std::optional<OIDError> error;
  auto url = handler->startHTTPListener(&error, port);
  ASSERT_TRUE(url);
  EXPECT_EQ(url->absoluteString(), "http://[::1]:" + std::to_string(port) + "/");
  handler->stopHTTPListener();

  int v6 = occupy(AF_INET6, port);
  ASSERT_GE(v6, 0);
  EXPECT_FALSE(handler->startHTTPListener(&error, port));
  ASSERT_TRUE(error);
  EXPECT_TRUE(error->is(TCPServerErrorDomain, TCPServerNoSocketsAvailable));
  close(v6);
  close(probe);
}

}  // namespace
}  // namespace tarnwick
