#pragma once

#include <chrono>
#include <mutex>

#include "Platform/Foundation/Date.h"

namespace platform {

// Monotonic time since an arbitrary origin; never steps.
using Uptime = std::chrono::nanoseconds;

inline Uptime seconds(double s) {
  return std::chrono::duration_cast<Uptime>(std::chrono::duration<double>(s));
}
inline double toSeconds(Uptime t) {
  return std::chrono::duration<double>(t).count();
}

// Where time comes from: wall time for timestamps, uptime for intervals and deadlines.
class Clock {
 public:
  virtual ~Clock() = default;
  virtual Date now() const = 0;
  virtual Uptime uptime() const = 0;
};

// The real clocks of the machine.
class SystemClock final : public Clock {
 public:
  Date now() const override;
  Uptime uptime() const override;
};

// A clock that only moves when a test says so. `advance` and `runUntilIdle` live on the
// run loop that the clock drives (see `RunLoop::advance`), since moving time means running
// what falls due.
class ManualClock final : public Clock {
 public:
  explicit ManualClock(Date start = Date{1'800'000'000.0}) : wall_(start) {}

  Date now() const override;
  Uptime uptime() const override;

  // Moves both clocks forward. Only the run loop calls this; tests call `RunLoop::advance`.
  void moveForward(Uptime delta);
  // Steps the wall clock alone, as a user changing the system time would.
  void setWallTime(Date date);

 private:
  mutable std::mutex mutex_;
  Date wall_;
  Uptime uptime_{std::chrono::hours(1)};
};

}  // namespace platform
