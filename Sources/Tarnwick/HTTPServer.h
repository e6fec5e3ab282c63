#pragma once

#include <memory>
#include <string>
#include <vector>

#include "Tarnwick/HTTPConnection.h"
#include "Tarnwick/TCPServer.h"

namespace tarnwick {

// The loopback HTTP/1.1 server: one `HTTPConnection` per accepted socket, all on the run loop
// of the server. Stopping it stops accepting; connections finish their answers.
class HTTPServer final : public TCPServer {
 public:
  explicit HTTPServer(std::shared_ptr<platform::RunLoop> loop) : TCPServer(std::move(loop)) {}
  ~HTTPServer() override;

  // Given to every new connection.
  void setDelegate(std::weak_ptr<HTTPConnectionDelegate> delegate) {
    delegate_ = std::move(delegate);
  }
  const std::vector<std::shared_ptr<HTTPConnection>>& connections() const { return connections_; }

  // Connections open at once; later ones are closed as they come.
  static constexpr std::size_t maxConnections = 32;
  // A connection that owes nothing and has seen no byte for this long is closed.
  static constexpr double defaultIdleTimeout = 30;
  void setIdleTimeout(double seconds) { idleTimeout_ = seconds; }

 protected:
  void handleNewConnection(std::string peerAddress, int fd) override;

 private:
  void watchIdle(const std::weak_ptr<HTTPConnection>& connection, const void* socket);

  std::weak_ptr<HTTPConnectionDelegate> delegate_;
  std::vector<std::shared_ptr<HTTPConnection>> connections_;
  double idleTimeout_ = defaultIdleTimeout;
  // Timers posted for the idle watch do nothing once the server is gone.
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace tarnwick
