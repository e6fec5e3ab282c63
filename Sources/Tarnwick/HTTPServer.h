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

 protected:
  void handleNewConnection(std::string peerAddress, int fd) override;

 private:
  std::weak_ptr<HTTPConnectionDelegate> delegate_;
  std::vector<std::shared_ptr<HTTPConnection>> connections_;
};

}  // namespace tarnwick
