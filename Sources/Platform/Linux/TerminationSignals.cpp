#include "Platform/Linux/TerminationSignals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>

#include "Platform/Foundation/FatalError.h"
#include "Platform/Foundation/RunLoop.h"

namespace platform::linuxbackend {

namespace {

constexpr int handled[] = {SIGTERM, SIGINT, SIGHUP};

int writeEnd = -1;
std::atomic<bool> received{false};
static_assert(std::atomic<bool>::is_always_lock_free);

void onTerminationSignal(int signal) {
  int saved = errno;
  if (received.exchange(true)) {
    // Asked again while ending: end now, as the signal would have without us.
    ::signal(signal, SIG_DFL);
    ::raise(signal);
  } else {
    const char byte = static_cast<char>(signal);
    // A full pipe already holds a signal for the loop; nothing is lost by dropping this one.
    [[maybe_unused]] auto written = ::write(writeEnd, &byte, 1);
  }
  errno = saved;
}

}  // namespace

void TerminationSignals::install(RunLoop& loop, std::function<void(int signal)> onSignal) {
  if (writeEnd >= 0) fatalError("termination signals are installed once");
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
    std::perror("flagrig: no pipe for termination signals; they end the process at once");
    return;
  }
  writeEnd = fds[1];
  const int readEnd = fds[0];
  loop.addReadSource(readEnd, [readEnd, onSignal = std::move(onSignal)] {
    char byte = 0;
    if (::read(readEnd, &byte, 1) != 1) return;
    onSignal(static_cast<unsigned char>(byte));
  });
  struct sigaction action {};
  action.sa_handler = onTerminationSignal;
  sigemptyset(&action.sa_mask);
  // Slow calls interrupted by the signal go on; the loop learns of it through the pipe.
  action.sa_flags = SA_RESTART;
  for (int signal : handled) ::sigaction(signal, &action, nullptr);
}

}  // namespace platform::linuxbackend
