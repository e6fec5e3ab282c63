#pragma once

#include <sys/resource.h>

namespace platform::testing {

// Turns core dumps off while it lives. The child of a death test inherits the limit, so a crash
// on purpose leaves no core file in the folder the tests run in; the limit comes back after.
class NoCoreDumps {
 public:
  NoCoreDumps() {
    restore_ = getrlimit(RLIMIT_CORE, &saved_) == 0;
    const rlimit off{0, restore_ ? saved_.rlim_max : 0};
    setrlimit(RLIMIT_CORE, &off);
  }
  ~NoCoreDumps() {
    if (restore_) setrlimit(RLIMIT_CORE, &saved_);
  }
  NoCoreDumps(const NoCoreDumps&) = delete;
  NoCoreDumps& operator=(const NoCoreDumps&) = delete;

 private:
  rlimit saved_{};
  bool restore_ = false;
};

}  // namespace platform::testing
