#include "Platform/Foundation/RunLoopWaiter.h"

#include <poll.h>

#include <cerrno>
#include <climits>

namespace platform {

void PollRunLoopWaiter::wait(int wakeFd, std::span<const int> watched,
                             std::optional<Uptime> timeout, std::vector<int>& ready) {
  int timeoutMs = -1;
  if (timeout) {
    // Round up, so that a wake-up never comes before the deadline and spins.
    auto ms = (timeout->count() + 999'999) / 1'000'000;
    timeoutMs = ms > INT_MAX ? INT_MAX : static_cast<int>(ms < 0 ? 0 : ms);
  }
  std::vector<pollfd> fds;
  fds.reserve(watched.size() + 1);
  fds.push_back({wakeFd, POLLIN, 0});
  for (int fd : watched) fds.push_back({fd, POLLIN, 0});
  int n = poll(fds.data(), fds.size(), timeoutMs);
  if (n <= 0) return;
  for (std::size_t i = 1; i < fds.size(); ++i) {
    if (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) ready.push_back(fds[i].fd);
  }
}

}  // namespace platform
