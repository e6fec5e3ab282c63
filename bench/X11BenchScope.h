#pragma once

#include <benchmark/benchmark.h>

#include <functional>
#include <memory>

#include "Platform/Desktop/Desktop.h"
#include "Platform/Foundation/Clock.h"
#include "Platform/Foundation/Environment.h"
#include "Platform/Foundation/RunLoop.h"
#include "Platform/Foundation/SharedInstance.h"
#include "Platform/Linux/LinuxEnvironment.h"
#include "Platform/Linux/Qt/QtDesktopSetup.h"
#include "Platform/Sim/SimEnvironment.h"

namespace platform::bench {

// Installs a simulated machine whose clock is the system's and whose desktop is the real X11 one
// on its main loop (the desktop stays null when the display does not open).
inline std::shared_ptr<sim::SimEnvironment> installX11Environment() {
  auto sim = sim::makeSimEnvironment();
  Environment& e = *sim->environment;
  e.clock = std::make_shared<SystemClock>();
  e.mainLoop = std::make_shared<RunLoop>(e.clock);
  e.backgroundPool = e.mainLoop;
  installEnvironment(sim->environment);
  e.desktop = linuxbackend::makeX11Desktop(e.mainLoop);
  return sim;
}

// Takes the environment down: shared instances first, then the work they left queued (it can
// hold them), then the desktop.
inline void removeX11Environment(sim::SimEnvironment& sim) {
  resetSharedInstances();
  sim.environment->mainLoop->discardPendingWork();
  sim.environment->desktop.reset();
  installEnvironment(nullptr);
}

inline void runLoopFor(RunLoop& loop, double seconds) {
  loop.postAfter(seconds, [&loop] { loop.stop(); });
  loop.run();
}

// Runs `loop` until `condition` holds, checking it every `interval` seconds in `modes`, or until
// `seconds` have passed; whether it held.
inline bool runLoopUntil(RunLoop& loop, const std::function<bool()>& condition, double seconds,
                         double interval = 0.001, RunLoopModes modes = RunLoopMode::defaultMode) {
  if (condition()) return true;
  bool met = false;
  auto check = loop.scheduleTimer(
      interval, TimerKind::repeating,
      [&](Timer&) {
        if (condition()) {
          met = true;
          loop.stop();
        }
      },
      modes);
  auto limit = loop.postAfter(seconds, [&loop] { loop.stop(); });
  loop.run();
  check->invalidate();
  limit->cancel();
  return met;
}

// A benchmark on the X display it was started under (xvfb-run -a): the environment above while
// the scope lives, after every shared instance of an earlier benchmark is gone. False, with the
// benchmark skipped and the reason given, when there is no display or it does not open.
class X11BenchScope {
 public:
  explicit X11BenchScope(benchmark::State& state) {
    if (!linuxbackend::x11DisplayAvailable()) {
      state.SkipWithError("no X display: run under Xvfb (xvfb-run -a)");
      return;
    }
    resetSharedInstances();
    sim = installX11Environment();
    if (!sim->environment->desktop) {
      installEnvironment(nullptr);
      sim.reset();
      state.SkipWithError("the X display did not open");
    }
  }
  ~X11BenchScope() {
    if (sim) removeX11Environment(*sim);
  }
  X11BenchScope(const X11BenchScope&) = delete;
  X11BenchScope& operator=(const X11BenchScope&) = delete;

  explicit operator bool() const { return sim != nullptr; }
  RunLoop& loop() { return *sim->environment->mainLoop; }
  Desktop& desktop() { return *sim->environment->desktop; }
  void runFor(double seconds) { runLoopFor(loop(), seconds); }
  // Checked each millisecond, in every mode, so that a menu or modal session does not hide it.
  bool runUntil(const std::function<bool()>& condition, double seconds) {
    return runLoopUntil(loop(), condition, seconds, 0.001, RunLoopModes::common());
  }

  std::shared_ptr<sim::SimEnvironment> sim;
};

}  // namespace platform::bench
