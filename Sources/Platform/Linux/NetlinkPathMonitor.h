#pragma once

#include <memory>
#include <span>
#include <thread>
#include <vector>

#include "Platform/Network/PathMonitor.h"

namespace platform::linuxbackend {

// One address of one interface, as far as the path status cares.
struct InterfaceAddress {
  bool up = false;
  bool running = false;
  bool loopback = false;
  int family = 0;  // AF_INET or AF_INET6
  bool linkLocal = false;
};

// The path from the machine's interfaces: satisfied while some interface other than loopback
// is up, running and has an IPv4 or IPv6 address beyond link-local scope; unsatisfied
// otherwise. Linux knows no connection that must first be brought up on demand.
NetworkPathStatus pathStatus(std::span<const InterfaceAddress> addresses);
std::vector<InterfaceAddress> currentInterfaceAddresses();

// A path monitor on rtnetlink: a thread of its own waits for link, address and route events
// and re-reads the interfaces after each burst of them.
class NetlinkPathMonitor final : public PathMonitor {
 public:
  ~NetlinkPathMonitor() override;

 protected:
  void didStart() override;
  void didCancel() override;

 private:
  void run(int netlink, int wake);
  void stop();

  int wake_ = -1;
  std::thread thread_;
};

class NetlinkPathMonitorFactory final : public PathMonitorFactory {
 public:
  std::shared_ptr<PathMonitor> makeMonitor() override {
    return std::make_shared<NetlinkPathMonitor>();
  }
};

}  // namespace platform::linuxbackend
