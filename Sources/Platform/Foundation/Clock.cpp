#include "Platform/Foundation/Clock.h"

namespace platform {

Date SystemClock::now() const {
  auto since = std::chrono::system_clock::now().time_since_epoch();
  return Date{std::chrono::duration<double>(since).count()};
}

Uptime SystemClock::uptime() const {
  return std::chrono::duration_cast<Uptime>(std::chrono::steady_clock::now().time_since_epoch());
}

Date ManualClock::now() const {
  std::lock_guard lock(mutex_);
  return wall_;
}

Uptime ManualClock::uptime() const {
  std::lock_guard lock(mutex_);
  return uptime_;
}

void ManualClock::moveForward(Uptime delta) {
  std::lock_guard lock(mutex_);
  uptime_ += delta;
  wall_ = wall_.addingTimeInterval(toSeconds(delta));
}

void ManualClock::setWallTime(Date date) {
  std::lock_guard lock(mutex_);
  wall_ = date;
}

}  // namespace platform
