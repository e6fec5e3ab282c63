#include "Tarnwick/HTTPServer.h"

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "Platform/Foundation/SystemLogger.h"

namespace tarnwick {

namespace {

constexpr std::size_t kReadChunk = 16384;
// How soon a socket whose send buffer was full is tried again. Answers of this server are a
// few hundred bytes, so this is for a peer that does not read at all.
constexpr double kWriteRetryInterval = 0.05;

// A connected socket read through the run loop's read sources and written without blocking.
class SocketTransport final : public HTTPConnection::Transport {
 public:
  SocketTransport(int fd, std::shared_ptr<platform::RunLoop> loop)
      : fd_(fd), loop_(std::move(loop)) {}
  ~SocketTransport() override { close(); }

  void attach(const std::shared_ptr<HTTPConnection>& connection) {
    connection_ = connection;
    setReading(true);
  }

  void setReading(bool on) override {
    if (on == reading_ || fd_ < 0) return;
    if (!on) {
      loop_->removeReadSource(source_);
      reading_ = false;
      return;
    }
    std::weak_ptr<HTTPConnection> weak = connection_;
    int fd = fd_;
    auto* activity = &lastActivity_;
    auto loop = loop_;
    source_ = loop_->addReadSource(fd, [weak, fd, activity, loop] {
      auto self = weak.lock();
      if (!self) return;
      char buffer[kReadChunk];
      ssize_t n = recv(fd, buffer, sizeof buffer, 0);
      *activity = loop->clock().uptime();
      if (n > 0) {
        self->didReceive(std::string_view(buffer, static_cast<std::size_t>(n)));
      } else if (n == 0) {
        self->didReachEndOfInput();
      } else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
        static const platform::SystemLogger log("dev.voskary.tarnwick", "loopback");
        log.log(platform::SystemLogType::error,
                std::string("HTTPServer stream error: ") + std::strerror(errno));
        self->invalidate();
      }
    });
    reading_ = true;
  }

  platform::Uptime lastActivity() const { return lastActivity_; }

  std::size_t write(std::string_view bytes) override {
    if (fd_ < 0) return 0;
    ssize_t n = send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) lastActivity_ = loop_->clock().uptime();
    if (n > 0 && static_cast<std::size_t>(n) == bytes.size()) return bytes.size();
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
      // The peer is gone: nothing more can be written.
      if (auto connection = connection_.lock())
        loop_->post([connection] { connection->invalidate(); });
      return 0;
    }
    std::weak_ptr<HTTPConnection> weak = connection_;
    loop_->postAfter(kWriteRetryInterval, [weak] {
      if (auto connection = weak.lock()) connection->canWrite();
    });
    return n > 0 ? static_cast<std::size_t>(n) : 0;
  }

  void close() override {
    if (reading_) loop_->removeReadSource(source_);
    reading_ = false;
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_;
  std::shared_ptr<platform::RunLoop> loop_;
  std::weak_ptr<HTTPConnection> connection_;
  platform::RunLoop::SourceId source_ = 0;
  bool reading_ = false;
  platform::Uptime lastActivity_ = loop_->clock().uptime();
};

}  // namespace

HTTPServer::~HTTPServer() {
  // Connections outlive the server only until their answers are written; a browser's idle
  // keep-alive connection ends now.
  auto connections = std::move(connections_);
  for (auto& connection : connections) {
    connection->setOnInvalidate(nullptr);
    connection->finishAndClose();
  }
}

void HTTPServer::handleNewConnection(std::string peerAddress, int fd) {
  // Past the cap a connection is closed at once: taken off the queue, so that the listener
  // does not stay readable, and costing nothing while the ones already open are served.
  if (connections_.size() >= maxConnections) {
    ::close(fd);
    return;
  }
  auto transport = std::make_unique<SocketTransport>(fd, loop());
  auto* socket = transport.get();
  auto connection =
      std::make_shared<HTTPConnection>(std::move(peerAddress), std::move(transport), loop());
  connection->setDelegate(delegate_);
  connection->setOnInvalidate([this](HTTPConnection& gone) {
    std::erase_if(connections_, [&gone](const auto& c) { return c.get() == &gone; });
  });
  connection->open();
  socket->attach(connection);
  connections_.push_back(connection);
  watchIdle(connection, socket);
}

void HTTPServer::watchIdle(const std::weak_ptr<HTTPConnection>& weak, const void* socket) {
  auto connection = weak.lock();
  if (!connection || !connection->isValid()) return;
  const auto* transport = static_cast<const SocketTransport*>(socket);
  const auto quiet = loop()->clock().uptime() - transport->lastActivity();
  const auto limit = platform::seconds(idleTimeout_);
  // A connection that owes nothing and has been quiet for the whole limit is closed; one
  // waiting on its answer or on a slow peer is looked at again later.
  if (quiet >= limit && connection->isIdle()) {
    connection->finishAndClose();
    return;
  }
  double next = quiet >= limit ? idleTimeout_ : platform::toSeconds(limit - quiet);
  loop()->postAfter(next, [this, weak, socket, alive = std::weak_ptr<bool>(alive_)] {
    if (alive.lock()) watchIdle(weak, socket);
  });
}

}  // namespace tarnwick
