// The tag position poll on the real X11 desktop (Xvfb with openbox, the Qt desktop, the X11
// window server) with 100 foreign windows and 10 of them tagged: one tick while nothing moves
// (with the X requests it sends on our connection and on Qt's), and how long a window move
// takes to reach its tag through the 1/30 s poll.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QGuiApplication>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>

#include "Flagrig/Tagging/TagManager.h"
#include "Flagrig/Tagging/TagPanel.h"
#include "Flagrig/Tagging/WindowInfo.h"
#include "ForeignWindowCascade.h"
#include "Platform/Desktop/Screen.h"
#include "Platform/Foundation/Clock.h"
#include "Platform/Foundation/Environment.h"
#include "Platform/Foundation/RunLoop.h"
#include "Platform/Foundation/SharedInstance.h"
#include "Platform/Linux/LinuxEnvironment.h"
#include "Platform/Linux/Qt/QtDesktop.h"
#include "Platform/Linux/X11/X11Connection.h"
#include "Platform/Linux/X11/X11WindowServer.h"
#include "Platform/Sim/SimEnvironment.h"
#include "Platform/WindowServer/WindowList.h"
#include "Support/X11/XvfbDesktop.h"
#include "XvfbBenchDesktop.h"

namespace {

using namespace platform;
using flagrig::TagManager;
using linuxbackend::X11Connection;
using linuxbackend::X11WindowServer;

xcb_connection_t* qtConnection() {
  auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
  return x11 ? x11->connection() : nullptr;
}

// Requests sent on a connection since `since` (a no-op request marks the point).
std::uint32_t mark(xcb_connection_t* c) {
  return xcb_no_operation(c).sequence;
}

struct Desktop : bench::XvfbBenchDesktop {
  std::shared_ptr<X11Connection> client;
  std::vector<xcb_window_t> tagged;

  bool runUntil(const std::function<bool()>& condition, double seconds) {
    return XvfbBenchDesktop::runUntil(condition, seconds, 0.005);
  }

  Desktop() {
    if (!XvfbBenchDesktop::ready()) return;
    Environment& e = *sim->environment;
    client = X11Connection::open(xvfb->display());
    // Another process's windows: the parent shell's pid.
    std::uint32_t pid = static_cast<std::uint32_t>(::getppid());
    std::vector<xcb_window_t> windows = bench::mapForeignWindows(*client, 100, pid, {12, 60, 6});
    auto& server = static_cast<X11WindowServer&>(e.desktop->windowServer());
    if (!runUntil(
            [&] {
              auto list = server.copyWindowList(WindowList::optionOnScreenOnly);
              return list && list->asArray() && list->asArray()->size() >= 100;
            },
            30)) {
      reason = "openbox did not manage the windows";
      return;
    }
    auto list = server.copyWindowList(WindowList::optionOnScreenOnly);
    for (int i = 0; i < 100; i += 10) {
      for (const Value& entry : *list->asArray()) {
        auto number = entry.find(WindowList::numberKey)->exactly<std::uint32_t>();
        if (!number || *number != windows[static_cast<std::size_t>(i)]) continue;
        auto bounds = WindowList::rectFromBounds(*entry.find(WindowList::boundsKey));
        TagManager::shared().createTag(
            flagrig::WindowInfo{*number, static_cast<std::int32_t>(pid), *bounds, "bench"});
        tagged.push_back(*number);
      }
    }
    // Let every panel come up and settle above its window.
    runUntil([] { return false; }, 1.0);
  }
  bool ready() const { return xvfb && reason.empty() && tagged.size() == 10; }
};

Desktop& desktop() {
  static Desktop instance;
  return instance;
}

void BM_QtPollTickWhileNothingMoves(benchmark::State& state) {
  auto& d = desktop();
  if (!d.ready()) {
    state.SkipWithError(d.reason.empty() ? "tags were not created" : d.reason.c_str());
    return;
  }
  auto& server = static_cast<X11WindowServer&>(env().desktop->windowServer());
  xcb_connection_t* ours = server.connection().raw();
  xcb_connection_t* qt = qtConnection();
  auto& manager = TagManager::shared();
  std::uint64_t oursRequests = 0, qtRequests = 0, ticks = 0;
  for (auto _ : state) {
    std::uint32_t a = mark(ours), b = mark(qt);
    manager.updatePositions();
    state.PauseTiming();
    oursRequests += mark(ours) - a - 1;
    qtRequests += mark(qt) - b - 1;
    ++ticks;
    state.ResumeTiming();
  }
  state.counters["ourXRequestsPerTick"] =
      static_cast<double>(oursRequests) / static_cast<double>(ticks);
  state.counters["qtXRequestsPerTick"] =
      static_cast<double>(qtRequests) / static_cast<double>(ticks);
}
BENCHMARK(BM_QtPollTickWhileNothingMoves)->Unit(benchmark::kMicrosecond);

void BM_QtMoveReachesItsTag(benchmark::State& state) {
  auto& d = desktop();
  if (!d.ready()) {
    state.SkipWithError(d.reason.empty() ? "tags were not created" : d.reason.c_str());
    return;
  }
  auto* c = d.client->raw();
  xcb_window_t window = d.tagged.front();
  auto& manager = TagManager::shared();
  int step = 0;
  double worstTicks = 0;
  for (auto _ : state) {
    ++step;
    std::int32_t x = 200 + 40 * (step % 10);
    std::uint32_t values[] = {static_cast<std::uint32_t>(x)};
    auto start = std::chrono::steady_clock::now();
    xcb_configure_window(c, window, XCB_CONFIG_WINDOW_X, values);
    d.client->flush();
    // The tag is centred on its window: wait until its panel's frame says the new x.
    bool followed = d.runUntil(
        [&] {
          for (const auto& tag : manager.tags()) {
            if (tag.windowNumber != window) continue;
            return tag.lastBounds.x() != 0 &&
                   std::abs(tag.lastBounds.midX() - tag.panel->frame().midX()) < 1 &&
                   tag.lastBounds.x() >= x - 20 && tag.lastBounds.x() <= x + 20;
          }
          return false;
        },
        5);
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!followed) {
      state.SkipWithError("the tag did not follow its window");
      return;
    }
    state.SetIterationTime(seconds);
    worstTicks = std::max(worstTicks, seconds / TagManager::pollInterval);
  }
  state.counters["worstPollTicks"] = worstTicks;
}
BENCHMARK(BM_QtMoveReachesItsTag)->UseManualTime()->Iterations(30)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
