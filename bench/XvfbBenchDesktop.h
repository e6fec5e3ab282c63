#pragma once

#include <cstdlib>
#include <functional>
#include <memory>
#include <string>

#include "Platform/Foundation/Clock.h"
#include "Platform/Foundation/Environment.h"
#include "Platform/Foundation/RunLoop.h"
#include "Platform/Linux/LinuxEnvironment.h"
#include "Platform/Sim/SimEnvironment.h"
#include "Support/X11/XvfbDesktop.h"

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
    sim = sim::makeSimEnvironment();
    Environment& e = *sim->environment;
    e.clock = std::make_shared<SystemClock>();
    e.mainLoop = std::make_shared<RunLoop>(e.clock);
    e.backgroundPool = e.mainLoop;
    installEnvironment(sim->environment);
    e.desktop = linuxbackend::makeX11Desktop(e.mainLoop);
    if (!e.desktop) reason = "the X display did not open";
  }
  XvfbBenchDesktop(const XvfbBenchDesktop&) = delete;
  XvfbBenchDesktop& operator=(const XvfbBenchDesktop&) = delete;

  bool ready() const { return xvfb && reason.empty(); }

  // Runs the main loop until `condition` holds, checking it every `interval` seconds, or until
  // `seconds` have passed; whether it held.
  bool runUntil(const std::function<bool()>& condition, double seconds, double interval = 0.001) {
    auto& loop = *env().mainLoop;
    if (condition()) return true;
    bool met = false;
    auto check = loop.scheduleTimer(interval, true, [&](Timer&) {
      if (condition()) {
        met = true;
        loop.stop();
      }
    });
    auto limit = loop.postAfter(seconds, [&] { loop.stop(); });
    loop.run();
    check->invalidate();
    limit->cancel();
    return met;
  }
};

}  // namespace platform::bench
