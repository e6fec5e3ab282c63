#pragma once

#include <functional>

namespace platform {
class RunLoop;
}

namespace platform::linuxbackend {

// Ends the run the way Quit does when the session asks for it: SIGTERM at logout or shutdown,
// SIGHUP when the controlling terminal goes, SIGINT from a terminal. Left at their default
// actions these kill the process wherever it is, so nothing of the app's own ending runs (the
// single-instance socket stays behind, a preferences write in progress leaves its temporary
// file). The handler only writes the signal's number to a pipe; the loop reads it and calls
// `onSignal` on its own thread. A second signal while that runs ends the process at once, so a
// termination that hangs never holds up a logout. Handlers revert to the default in a program
// the app starts, so nothing it launches inherits them.
class TerminationSignals {
 public:
  // Once per process, on the loop's thread.
  static void install(RunLoop& loop, std::function<void(int signal)> onSignal);
};

}  // namespace platform::linuxbackend
