#pragma once

#include <cstddef>

namespace platform {

// An alternate signal stack for the calling thread, so that a handler can still run after the
// thread's own stack overflowed. Every thread the runtime creates (the pool, the transport,
// the monitors) gets one as it starts; it is released when the thread ends. Cheap to call
// again: a thread that already has one keeps it.
struct SignalStack {
  static constexpr std::size_t size = 256 * 1024;

  static void installForThisThread();
  // Whether the calling thread has an alternate signal stack of at least `size` bytes.
  static bool isInstalledForThisThread();
};

}  // namespace platform
