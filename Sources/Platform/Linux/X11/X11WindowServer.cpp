#include "Platform/Linux/X11/X11WindowServer.h"

#include <signal.h>

#include <cerrno>

namespace platform::linuxbackend {

const X11WindowEntry* X11WindowSnapshot::find(std::uint32_t number) const {
  for (const auto& w : windows) {
    if (w.number == number) return &w;
  }
  return nullptr;
}

X11WindowServer::X11WindowServer(std::shared_ptr<X11Connection> connection)
    : connection_(std::move(connection)) {}

X11WindowServer::~X11WindowServer() = default;

std::shared_ptr<const Value> X11WindowServer::copyWindowList(std::uint32_t, std::uint32_t) {
  return nullptr;
}

ProcessProbeResult X11WindowServer::probeProcess(std::int32_t pid) {
  int result = ::kill(pid, 0);
  return {result, result == 0 ? 0 : errno};
}

void X11WindowServer::setOwnWindowProvider(OwnWindowProvider provider) {
  ownWindows_ = std::move(provider);
  dirty_ = true;
}

void X11WindowServer::ownWindowsDidChange() {
  dirty_ = true;
}

void X11WindowServer::placeAbove(std::uint32_t, std::uint32_t) {}

std::shared_ptr<const X11WindowSnapshot> X11WindowServer::snapshot() {
  return snapshot_;
}

}  // namespace platform::linuxbackend
