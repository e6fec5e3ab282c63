#include "Platform/Foundation/MainThread.h"

#if defined(FLAGRIG_CHECK_MAIN_THREAD)

#include <sys/syscall.h>
#include <unistd.h>

#include <string>

#include "Platform/Foundation/FatalError.h"

namespace platform {

bool isMainThread() {
  // The main thread's id is the process id, in a forked child too.
  return static_cast<pid_t>(::syscall(SYS_gettid)) == ::getpid();
}

void mainThreadViolation(const char* where) {
  fatalError(std::string(where) + " called off the main thread");
}

}  // namespace platform

#endif
