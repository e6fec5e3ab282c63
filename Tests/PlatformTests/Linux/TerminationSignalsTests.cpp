#include <gtest/gtest.h>
#include <signal.h>

#include <cstdlib>
#include <memory>

#include "Platform/Foundation/Clock.h"
#include "Platform/Foundation/RunLoop.h"
#include "Platform/Linux/TerminationSignals.h"

namespace platform::linuxbackend {
namespace {

// Each case runs in a child of its own: the handlers are the process's, installed once.
// `second` raises the signal again from inside the first one's handling.
[[noreturn]] void endOn(int signal, bool second) {
  RunLoop loop(std::make_shared<SystemClock>());
  TerminationSignals::install(loop, [signal, second](int received) {
    if (second) ::raise(signal);
    // Reached on the loop's turn, with the signal that asked.
    std::_Exit(received == signal ? 0 : 3);
  });
  ::raise(signal);
  loop.run();
  std::_Exit(4);
}

TEST(TerminationSignalsDeathTest, ASignalReachesTheLoopInsteadOfEndingTheProcess) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
    SCOPED_TRACE(signal);
    EXPECT_EXIT(endOn(signal, false), ::testing::ExitedWithCode(0), "");
  }
}

TEST(TerminationSignalsDeathTest, ASecondSignalWhileEndingEndsAtOnce) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(endOn(SIGTERM, true), ::testing::KilledBySignal(SIGTERM), "");
}

}  // namespace
}  // namespace platform::linuxbackend
