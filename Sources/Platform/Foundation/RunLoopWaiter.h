#pragma once

#include <optional>
#include <span>
#include <vector>

#include "Platform/Foundation/Clock.h"

namespace platform {

// How a run loop on the system clock sleeps between passes. The default waits in poll(2); a
// desktop backend can put its own event dispatcher here, so that the run loop stays the one
// main loop while the toolkit's events are handled inside the wait.
class RunLoopWaiter {
 public:
  virtual ~RunLoopWaiter() = default;

  // Sleeps until `wakeFd` or one of `watched` is readable (or has hung up), or `timeout` has
  // passed (no timeout: no limit). Appends the readable descriptors of `watched` to `ready`.
  // The run loop drains `wakeFd` itself. Returning early is allowed: the loop waits again.
  virtual void wait(int wakeFd, std::span<const int> watched, std::optional<Uptime> timeout,
                    std::vector<int>& ready) = 0;
};

// The default: one poll(2) call.
class PollRunLoopWaiter final : public RunLoopWaiter {
 public:
  void wait(int wakeFd, std::span<const int> watched, std::optional<Uptime> timeout,
            std::vector<int>& ready) override;
};

}  // namespace platform
