#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "Platform/Foundation/RunLoop.h"
#include "TarnwickCore/OIDError.h"

namespace tarnwick {

inline constexpr std::string_view TCPServerErrorDomain = "TCPServerErrorDomain";
// No socket could be bound.
inline constexpr long TCPServerNoSocketsAvailable = 1;
// A socket could not be created.
inline constexpr long TCPServerCouldNotBindOrEstablishNetService = 3;

// Listens on 127.0.0.1 and ::1 on one port (0: a free port the system picks), on the read
// sources of a run loop: no thread of its own. A service type is kept for callers that set
// one; nothing is announced on this platform.
class TCPServer {
 public:
  explicit TCPServer(std::shared_ptr<platform::RunLoop> loop);
  virtual ~TCPServer();
  TCPServer(const TCPServer&) = delete;
  TCPServer& operator=(const TCPServer&) = delete;

  // True when at least one loopback socket listens; otherwise false with the reason in
  // `error` (codes of `TCPServerErrorDomain`).
  bool start(std::optional<OIDError>* error = nullptr);
  // Closes both listening sockets; connections already accepted go on. Always true.
  bool stop();

  bool hasIPv4Socket() const { return ipv4Socket_ >= 0; }
  bool hasIPv6Socket() const { return ipv6Socket_ >= 0; }
  std::uint16_t port() const { return port_; }
  void setPort(std::uint16_t port) { port_ = port; }
  const std::string& domain() const { return domain_; }
  void setDomain(std::string domain) { domain_ = std::move(domain); }
  const std::string& name() const { return name_; }
  void setName(std::string name) { name_ = std::move(name); }
  const std::string& type() const { return type_; }
  void setType(std::string type) { type_ = std::move(type); }

  const std::shared_ptr<platform::RunLoop>& loop() const { return loop_; }

  // How long the listeners rest after accepting failed for want of descriptors or memory.
  static constexpr double acceptBackoff = 0.25;
  bool isAccepting() const { return !acceptPaused_ && (ipv4Socket_ >= 0 || ipv6Socket_ >= 0); }

 protected:
  // A connection was accepted: `fd` is a non-blocking socket that the callee now owns.
  virtual void handleNewConnection(std::string peerAddress, int fd) = 0;

 private:
  void listenOn(int& fd, platform::RunLoop::SourceId& source);
  void acceptConnections(int listener);
  void pauseAccepting();

  std::shared_ptr<platform::RunLoop> loop_;
  int ipv4Socket_ = -1;
  int ipv6Socket_ = -1;
  platform::RunLoop::SourceId ipv4Source_ = 0;
  platform::RunLoop::SourceId ipv6Source_ = 0;
  bool acceptPaused_ = false;
  std::shared_ptr<platform::WorkItem> resume_;
  std::uint16_t port_ = 0;
  std::string domain_;
  std::string name_;
  std::string type_;
};

}  // namespace tarnwick
