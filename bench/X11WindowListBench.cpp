// The X11 window server's list on a private Xvfb desktop with openbox and 100 foreign windows:
// read again after a change (cached properties, every request batched), read the first time
// (everything), and while nothing changed (no round trip).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>

#include "ForeignWindowCascade.h"
#include "Platform/Linux/X11/X11Connection.h"
#include "Platform/Linux/X11/X11WindowServer.h"
#include "Platform/WindowServer/WindowList.h"
#include "Support/X11/XvfbDesktop.h"

namespace {

using namespace platform;
using linuxbackend::X11Connection;
using linuxbackend::X11WindowServer;

// 100 managed windows of another client, with the properties an application sets.
struct Desktop {
  std::unique_ptr<testing::XvfbDesktop> xvfb;
  std::shared_ptr<X11Connection> client;
  std::shared_ptr<X11Connection> ours;
  std::unique_ptr<X11WindowServer> server;
  std::string reason;

  explicit Desktop(int windows) {
    xvfb = testing::XvfbDesktop::start(reason);
    if (!xvfb) return;
    client = X11Connection::open(xvfb->display());
    ours = X11Connection::open(xvfb->display());
    server = std::make_unique<X11WindowServer>(ours);
    bench::mapForeignWindows(*client, windows, static_cast<std::uint32_t>(::getpid()), {10, 0, 8});
    bool listed = testing::XvfbDesktop::waitUntil(*ours, [&] {
      auto snapshot = server->snapshot();
      return snapshot && static_cast<int>(snapshot->windows.size()) >= windows;
    });
    if (!listed) reason = "openbox did not manage the windows";
  }
  bool ready() const { return xvfb && reason.empty(); }
};

Desktop& desktop() {
  static Desktop instance(100);
  return instance;
}

void BM_X11WindowListAfterAChange(benchmark::State& state) {
  auto& d = desktop();
  if (!d.ready()) {
    state.SkipWithError(d.reason.c_str());
    return;
  }
  std::size_t entries = 0;
  for (auto _ : state) {
    // Whatever changed, the whole list is read again in three batched rounds.
    d.server->ownWindowsDidChange();
    auto list = d.server->copyWindowList(WindowList::optionOnScreenOnly);
    entries = list->asArray()->size();
    benchmark::DoNotOptimize(list);
  }
  state.counters["windows"] = static_cast<double>(entries);
}
BENCHMARK(BM_X11WindowListAfterAChange)->Unit(benchmark::kMillisecond);

void BM_X11WindowListFirstRead(benchmark::State& state) {
  auto& d = desktop();
  if (!d.ready()) {
    state.SkipWithError(d.reason.c_str());
    return;
  }
  for (auto _ : state) {
    // A new window server knows nothing: every property of every window is read.
    X11WindowServer cold(d.ours);
    auto list = cold.copyWindowList(WindowList::optionOnScreenOnly);
    benchmark::DoNotOptimize(list);
  }
}
BENCHMARK(BM_X11WindowListFirstRead)->Unit(benchmark::kMillisecond);

void BM_X11WindowListWhileNothingChanged(benchmark::State& state) {
  auto& d = desktop();
  if (!d.ready()) {
    state.SkipWithError(d.reason.c_str());
    return;
  }
  d.server->copyWindowList(WindowList::optionOnScreenOnly);
  auto refreshes = d.server->refreshCount();
  for (auto _ : state) {
    auto list = d.server->copyWindowList(WindowList::optionOnScreenOnly);
    benchmark::DoNotOptimize(list);
  }
  state.counters["reads from the server"] =
      static_cast<double>(d.server->refreshCount() - refreshes);
}
BENCHMARK(BM_X11WindowListWhileNothingChanged);

}  // namespace

BENCHMARK_MAIN();
