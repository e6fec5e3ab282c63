#include "PlatformTests/Linux/LoopbackHTTPServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>

namespace platform::testing {

namespace {

int listenOnLoopback(int& port) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const int reuse = 1;
  if (fd >= 0 && port != 0) setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  socklen_t length = sizeof address;
  if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(fd, 16) != 0 || getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    throw std::runtime_error("cannot listen on 127.0.0.1");
  }
  port = ntohs(address.sin_port);
  return fd;
}

}  // namespace

LoopbackHTTPServer::LoopbackHTTPServer(Handler handler, Options options)
    : handler_(std::move(handler)), port_(options.port), wholeBody_(options.wholeBody) {
  listener_ = listenOnLoopback(port_);
  if (pipe2(wake_, O_CLOEXEC) != 0) throw std::runtime_error("cannot make a pipe");
  thread_ = std::thread([this] { serve(); });
}

LoopbackHTTPServer::~LoopbackHTTPServer() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  [[maybe_unused]] auto written = write(wake_[1], "x", 1);
  thread_.join();
  close(listener_);
  close(wake_[0]);
  close(wake_[1]);
}

std::string LoopbackHTTPServer::url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

std::vector<LoopbackHTTPServer::Request> LoopbackHTTPServer::requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

bool LoopbackHTTPServer::waitForRequests(std::size_t count) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, std::chrono::seconds(10),
                           [&] { return requests_.size() >= count; });
}

void LoopbackHTTPServer::holdUntilStopped() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return stopping_; });
}

void LoopbackHTTPServer::setDripInterval(std::chrono::milliseconds interval) {
  std::lock_guard lock(mutex_);
  drip_ = interval;
}

std::string LoopbackHTTPServer::answer(
    int status, const std::vector<std::pair<std::string, std::string>>& fields,
    const std::string& body) {
  std::string text = "HTTP/1.1 " + std::to_string(status) + " Status\r\n";
  for (const auto& [name, value] : fields) text += name + ": " + value + "\r\n";
  text += "Content-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
  return text;
}

int LoopbackHTTPServer::unusedPort() {
  int port = 0;
  close(listenOnLoopback(port));
  return port;
}

void LoopbackHTTPServer::serve() {
  pollfd fds[2] = {{listener_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
  while (poll(fds, 2, -1) >= 0 && !fds[1].revents) {
    if (!fds[0].revents) continue;
    int connection = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (connection < 0) continue;
    handle(connection);
    close(connection);
  }
}

void LoopbackHTTPServer::handle(int connection) {
  std::string data;
  char buffer[65536];
  std::size_t headerEnd;
  while ((headerEnd = data.find("\r\n\r\n")) == std::string::npos) {
    ssize_t n = recv(connection, buffer, sizeof buffer, 0);
    if (n <= 0) return;
    data.append(buffer, static_cast<std::size_t>(n));
  }
  Request request;
  std::size_t lineEnd = data.find("\r\n");
  std::string requestLine = data.substr(0, lineEnd);
  request.method = requestLine.substr(0, requestLine.find(' '));
  request.target = requestLine.substr(request.method.size() + 1,
                                      requestLine.rfind(' ') - request.method.size() - 1);
  std::size_t contentLength = 0;
  bool expectsContinue = false;
  for (std::size_t at = lineEnd + 2; at < headerEnd;) {
    std::size_t end = data.find("\r\n", at);
    std::string line = data.substr(at, end - at);
    auto colon = line.find(':');
    std::string name = line.substr(0, colon);
    std::string value =
        colon + 1 < line.size() ? line.substr(line.find_first_not_of(' ', colon + 1)) : "";
    if (name == "Content-Length") contentLength = std::stoul(value);
    if (name == "Expect" && value == "100-continue") expectsContinue = true;
    request.headerFields.emplace_back(name, value);
    at = end + 2;
  }
  request.body = data.substr(headerEnd + 4);
  if (wholeBody_) {
    if (expectsContinue && request.body.size() < contentLength)
      send(connection, "HTTP/1.1 100 Continue\r\n\r\n", 25, MSG_NOSIGNAL);
    while (request.body.size() < contentLength) {
      ssize_t n = recv(connection, buffer, sizeof buffer, 0);
      if (n <= 0) return;
      request.body.append(buffer, static_cast<std::size_t>(n));
    }
  }
  {
    std::lock_guard lock(mutex_);
    requests_.push_back(request);
  }
  changed_.notify_all();
  // The handler decides before the body is read, so that an empty answer closes the
  // connection while the client may still be sending.
  std::string reply = handler_(request);
  if (reply.empty()) return;
  while (request.body.size() < contentLength) {
    ssize_t n = recv(connection, buffer, sizeof buffer, 0);
    if (n <= 0) return;
    request.body.append(buffer, static_cast<std::size_t>(n));
  }
  {
    std::lock_guard lock(mutex_);
    requests_.back().body = request.body;
  }
  std::chrono::milliseconds drip;
  {
    std::lock_guard lock(mutex_);
    drip = drip_;
  }
  for (std::size_t sent = 0; sent < reply.size();) {
    if (drip.count() > 0 && sent > 0) {
      std::unique_lock lock(mutex_);
      if (changed_.wait_for(lock, drip, [&] { return stopping_; })) break;
    }
    const std::size_t chunk = drip.count() > 0 ? 1 : reply.size() - sent;
    ssize_t n = send(connection, reply.data() + sent, chunk, MSG_NOSIGNAL);
    if (n <= 0) break;
    sent += static_cast<std::size_t>(n);
  }
}

}  // namespace platform::testing
