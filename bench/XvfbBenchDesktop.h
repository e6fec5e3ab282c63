#pragma once

#include <cstdlib>
#include <functional>
#include <memory>
#include <string>

#include "Platform/Sim/SimEnvironment.h"
#include "Support/X11/XvfbDesktop.h"
#include "X11BenchScope.h"

namespace platform::bench {

// A private X desktop for the benchmarks that draw: the tests' Xvfb with openbox, a simulated
// environment on the real clock, and the X11 desktop on its main loop. `reason` says why it is
// not ready.
struct XvfbBenchDesktop {
  std::unique_ptr<testing::XvfbDesktop> xvfb;
  std::shared_ptr<sim::SimEnvironment> sim;
  std::string reason;

  XvfbBenchDesktop() {
    xvfb = testing::XvfbDesktop::start(reason);
    if (!xvfb) return;
    setenv("DISPLAY", xvfb->display().c_str(), 1);
    sim = installX11Environment();
    if (!sim->environment->desktop) reason = "the X display did not open";
  }
  XvfbBenchDesktop(const XvfbBenchDesktop&) = delete;
  XvfbBenchDesktop& operator=(const XvfbBenchDesktop&) = delete;

  bool ready() const { return xvfb && reason.empty(); }

  // Runs the main loop until `condition` holds, checking it every `interval` seconds, or until
  // `seconds` have passed; whether it held.
  bool runUntil(const std::function<bool()>& condition, double seconds, double interval = 0.001) {
    return runLoopUntil(*env().mainLoop, condition, seconds, interval);
  }
};

}  // namespace platform::bench
