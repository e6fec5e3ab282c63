#include "Tarnwick/TCPServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <cerrno>

#include <cstring>

namespace tarnwick {

namespace {

// The bound port of a socket, or 0.
std::uint16_t boundPort(int fd) {
  sockaddr_storage address{};
  socklen_t length = sizeof address;
  if (getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) return 0;
  if (address.ss_family == AF_INET) {
    return ntohs(reinterpret_cast<sockaddr_in*>(&address)->sin_port);
  }
  return ntohs(reinterpret_cast<sockaddr_in6*>(&address)->sin6_port);
}

bool bindLoopback(int fd, int family, std::uint16_t port) {
  int yes = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  if (family == AF_INET) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return false;
  } else {
    // Only ::1: the IPv4 socket serves 127.0.0.1 on the same port.
    setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &yes, sizeof yes);
    sockaddr_in6 address{};
    address.sin6_family = AF_INET6;
    address.sin6_port = htons(port);
    address.sin6_addr = in6addr_loopback;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return false;
  }
  return listen(fd, SOMAXCONN) == 0;
}

std::string describePeer(const sockaddr_storage& address) {
  char text[INET6_ADDRSTRLEN] = {};
  if (address.ss_family == AF_INET) {
    inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(&address)->sin_addr, text,
              sizeof text);
  } else if (address.ss_family == AF_INET6) {
    inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(&address)->sin6_addr, text,
              sizeof text);
  }
  return text;
}

void closeSocket(int& fd) {
  if (fd >= 0) close(fd);
  fd = -1;
}

}  // namespace

TCPServer::TCPServer(std::shared_ptr<platform::RunLoop> loop) : loop_(std::move(loop)) {}

TCPServer::~TCPServer() {
  stop();
}

bool TCPServer::start(std::optional<OIDError>* error) {
  stop();
  ipv4Socket_ = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  ipv6Socket_ = socket(AF_INET6, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (ipv4Socket_ < 0 && ipv6Socket_ < 0) {
    if (error)
      *error =
          OIDError(std::string(TCPServerErrorDomain), TCPServerCouldNotBindOrEstablishNetService);
    return false;
  }
  // A machine without IPv6 (or without IPv4) still serves the family it has.
  if (ipv4Socket_ >= 0 && !bindLoopback(ipv4Socket_, AF_INET, port_)) closeSocket(ipv4Socket_);
  if (ipv4Socket_ >= 0 && port_ == 0) port_ = boundPort(ipv4Socket_);
  if (ipv6Socket_ >= 0 && !bindLoopback(ipv6Socket_, AF_INET6, port_)) closeSocket(ipv6Socket_);
  if (ipv6Socket_ >= 0 && port_ == 0) port_ = boundPort(ipv6Socket_);
  if (ipv4Socket_ < 0 && ipv6Socket_ < 0) {
    if (error) *error = OIDError(std::string(TCPServerErrorDomain), TCPServerNoSocketsAvailable);
    return false;
  }
  listenOn(ipv4Socket_, ipv4Source_);
  listenOn(ipv6Socket_, ipv6Source_);
  return true;
}

void TCPServer::listenOn(int& fd, platform::RunLoop::SourceId& source) {
  if (fd < 0) return;
  int listener = fd;
  source = loop_->addReadSource(listener, [this, listener] { acceptConnections(listener); });
}

void TCPServer::acceptConnections(int listener) {
  for (;;) {
    sockaddr_storage peer{};
    socklen_t length = sizeof peer;
    int fd = accept4(listener, reinterpret_cast<sockaddr*>(&peer), &length,
                     SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
      if (errno == EINTR || errno == ECONNABORTED) continue;
      // Out of descriptors or memory, the waiting connection stays queued and the listener
      // readable: it is not watched for a while, or the loop would spin on it.
      if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM)
        pauseAccepting();
      return;  // EAGAIN: nothing more waiting
    }
    handleNewConnection(describePeer(peer), fd);
  }
}

void TCPServer::pauseAccepting() {
  if (acceptPaused_) return;
  acceptPaused_ = true;
  if (ipv4Socket_ >= 0) loop_->removeReadSource(ipv4Source_);
  if (ipv6Socket_ >= 0) loop_->removeReadSource(ipv6Source_);
  resume_ = loop_->postAfter(acceptBackoff, [this] {
    acceptPaused_ = false;
    listenOn(ipv4Socket_, ipv4Source_);
    listenOn(ipv6Socket_, ipv6Source_);
  });
}

bool TCPServer::stop() {
  if (resume_) resume_->cancel();
  resume_.reset();
  if (acceptPaused_) {
    // The sources are already off the loop.
    acceptPaused_ = false;
    closeSocket(ipv4Socket_);
    closeSocket(ipv6Socket_);
    return true;
  }
  if (ipv4Socket_ >= 0) loop_->removeReadSource(ipv4Source_);
  if (ipv6Socket_ >= 0) loop_->removeReadSource(ipv6Source_);
  closeSocket(ipv4Socket_);
  closeSocket(ipv6Socket_);
  return true;
}

}  // namespace tarnwick
