#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace platform::testing {

// A small HTTP/1.1 server on 127.0.0.1 for the libcurl session's tests: one request per
// connection, answered by the test's handler with raw response bytes. The handler sees the
// request line and fields; an empty answer closes the connection at once, before the body is
// read and without an answer. A handler may wait in `holdUntilStopped` to play a server that
// never answers.
class LoopbackHTTPServer {
 public:
  struct Request {
    std::string method;
    std::string target;
    std::vector<std::pair<std::string, std::string>> headerFields;
    std::string body;
  };
  using Handler = std::function<std::string(const Request&)>;
  struct Options {
    // 0 takes a free port.
    int port = 0;
    // Reads the whole body (answering "Expect: 100-continue") before the handler runs, as a
    // service that reads its requests' bodies does; otherwise the handler sees only what came
    // with the header fields.
    bool wholeBody = false;
  };

  explicit LoopbackHTTPServer(Handler handler) : LoopbackHTTPServer(std::move(handler), {}) {}
  LoopbackHTTPServer(Handler handler, Options options);
  ~LoopbackHTTPServer();
  LoopbackHTTPServer(const LoopbackHTTPServer&) = delete;
  LoopbackHTTPServer& operator=(const LoopbackHTTPServer&) = delete;

  std::string url(const std::string& path) const;
  std::vector<Request> requests() const;
  // Waits (at most ten seconds) until `count` requests have arrived.
  bool waitForRequests(std::size_t count) const;
  void holdUntilStopped();
  // Sends every later answer one byte at a time, `interval` apart, as a server that drips.
  void setDripInterval(std::chrono::milliseconds interval);

  // "HTTP/1.1 <status> …" with the fields, Content-Length and Connection: close.
  static std::string answer(int status,
                            const std::vector<std::pair<std::string, std::string>>& fields,
                            const std::string& body);
  // A port on which nothing listens.
  static int unusedPort();

 private:
  void serve();
  void handle(int connection);

  Handler handler_;
  int listener_ = -1;
  int port_ = 0;
  int wake_[2] = {-1, -1};
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::vector<Request> requests_;
  bool stopping_ = false;
  std::chrono::milliseconds drip_{0};
  bool wholeBody_ = false;
  std::thread thread_;
};

}  // namespace platform::testing
