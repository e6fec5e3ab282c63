#include "Platform/Linux/NetlinkPathMonitor.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>

#include "Platform/Foundation/SignalStack.h"

namespace platform::linuxbackend {

NetworkPathStatus pathStatus(std::span<const InterfaceAddress> addresses) {
  for (const auto& a : addresses) {
    if (a.up && a.running && !a.loopback && (a.family == AF_INET || a.family == AF_INET6) &&
        !a.linkLocal) {
      return NetworkPathStatus::satisfied;
    }
  }
  return NetworkPathStatus::unsatisfied;
}

std::vector<InterfaceAddress> currentInterfaceAddresses() {
  std::vector<InterfaceAddress> result;
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return result;
  for (ifaddrs* i = list; i; i = i->ifa_next) {
    if (!i->ifa_addr) continue;
    InterfaceAddress a;
    a.up = i->ifa_flags & IFF_UP;
    a.running = i->ifa_flags & IFF_RUNNING;
    a.loopback = i->ifa_flags & IFF_LOOPBACK;
    a.family = i->ifa_addr->sa_family;
    if (a.family == AF_INET) {
      auto address = ntohl(reinterpret_cast<const sockaddr_in*>(i->ifa_addr)->sin_addr.s_addr);
      a.linkLocal = (address >> 16) == 0xA9FE;  // 169.254.0.0/16
    } else if (a.family == AF_INET6) {
      const auto& bytes = reinterpret_cast<const sockaddr_in6*>(i->ifa_addr)->sin6_addr.s6_addr;
      a.linkLocal = bytes[0] == 0xFE && (bytes[1] & 0xC0) == 0x80;  // fe80::/10
    } else {
      continue;
    }
    result.push_back(a);
  }
  freeifaddrs(list);
  return result;
}

NetlinkPathMonitor::~NetlinkPathMonitor() {
  stop();
}

void NetlinkPathMonitor::didStart() {
  int netlink = socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC | SOCK_NONBLOCK, NETLINK_ROUTE);
  if (netlink >= 0) {
    sockaddr_nl local{};
    local.nl_family = AF_NETLINK;
    local.nl_groups = RTMGRP_LINK | RTMGRP_IPV4_IFADDR | RTMGRP_IPV6_IFADDR | RTMGRP_IPV4_ROUTE |
                      RTMGRP_IPV6_ROUTE;
    if (bind(netlink, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
      close(netlink);
      netlink = -1;
    }
  }
  wake_ = eventfd(0, EFD_CLOEXEC);
  auto addresses = currentInterfaceAddresses();
  deliver({pathStatus(addresses)});
  // Without events to wait for, the first answer is the only one.
  if (netlink < 0 || wake_ < 0) {
    if (netlink >= 0) close(netlink);
    return;
  }
  thread_ = std::thread([this, netlink] {
    SignalStack::installForThisThread();
    run(netlink, wake_);
  });
}

void NetlinkPathMonitor::run(int netlink, int wake) {
  pollfd fds[2] = {{netlink, POLLIN, 0}, {wake, POLLIN, 0}};
  for (;;) {
    if (poll(fds, 2, -1) < 0) continue;
    if (fds[1].revents) break;
    if (!fds[0].revents) continue;
    // Drain the burst (an address change comes with route changes); only the result counts.
    alignas(nlmsghdr) char buffer[8192];
    while (recv(netlink, buffer, sizeof buffer, 0) > 0) {
    }
    auto addresses = currentInterfaceAddresses();
    deliver({pathStatus(addresses)});
  }
  close(netlink);
}

void NetlinkPathMonitor::stop() {
  if (wake_ >= 0) {
    std::uint64_t one = 1;
    [[maybe_unused]] auto written = write(wake_, &one, sizeof one);
  }
  if (thread_.joinable()) thread_.join();
  if (wake_ >= 0) {
    close(wake_);
    wake_ = -1;
  }
}

void NetlinkPathMonitor::didCancel() {
  stop();
}

}  // namespace platform::linuxbackend
