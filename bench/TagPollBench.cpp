// One tick of the tag manager's position poll on the simulated desktop: with tags while nothing
// moves (the list read once, each tag looked up by number, panels placed and ordered), after a
// tagged window moved (the list is built again), and without tags (returns before reading the
// list).
#include <benchmark/benchmark.h>

#include <memory>

#include "Flagrig/Tagging/TagManager.h"
#include "Flagrig/Tagging/WindowInfo.h"
#include "Platform/Foundation/Environment.h"
#include "Platform/Foundation/RunLoop.h"
#include "Platform/Foundation/SharedInstance.h"
#include "Platform/Sim/SimEnvironment.h"

namespace {

using flagrig::TagManager;
using platform::Rect;

// A simulated desktop with `windows` foreign windows (ten per application) and `tags` of them
// tagged, spread through the stack.
class Desktop {
 public:
  Desktop(int windows, int tags) : sim_(platform::sim::makeSimEnvironment()) {
    platform::installEnvironment(sim_->environment);
    auto& server = sim_->desktop->windowServer();
    std::int32_t pid = 0;
    int every = tags > 0 ? windows / tags : 0;
    for (int i = 0; i < windows; ++i) {
      if (i % 10 == 0) pid = server.launchApplication("App " + std::to_string(i / 10));
      Rect bounds(20.0 * (i % 50), 40.0 + 2 * (i % 300), 600, 400);
      auto number = server.openWindow(pid, bounds);
      if (every && i % every == 0 && static_cast<int>(manager().tags().size()) < tags)
        manager().createTag(flagrig::WindowInfo{number, pid, bounds, "App"});
    }
    sim_->mainLoop->runUntilIdle();
  }
  ~Desktop() {
    platform::resetSharedInstances();
    sim_->mainLoop->discardPendingWork();
    platform::installEnvironment(nullptr);
  }
  TagManager& manager() { return TagManager::shared(); }
  platform::sim::SimWindowServer& server() { return sim_->desktop->windowServer(); }
  int listReads() { return server().windowListRequests(); }

 private:
  std::shared_ptr<platform::sim::SimEnvironment> sim_;
};

void BM_PollTick(benchmark::State& state) {
  Desktop desktop(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  auto& manager = desktop.manager();
  if (static_cast<long>(manager.tags().size()) != state.range(1)) {
    state.SkipWithError("could not tag the windows");
    return;
  }
  for (auto _ : state) manager.updatePositions();
  if (manager.tags().size() != static_cast<std::size_t>(state.range(1)))
    state.SkipWithError("the poll lost tags");
}
BENCHMARK(BM_PollTick)
    ->ArgNames({"windows", "tags"})
    ->Args({200, 20})
    ->Args({400, 20})
    ->Args({800, 20})
    ->Args({200, 40})
    ->Args({200, 80})
    ->Args({800, 80})
    ->Unit(benchmark::kMicrosecond);

void BM_PollTickWithoutTags(benchmark::State& state) {
  Desktop desktop(200, 0);
  auto& manager = desktop.manager();
  int before = desktop.listReads();
  for (auto _ : state) manager.updatePositions();
  if (desktop.listReads() != before) state.SkipWithError("the window list was read");
}
BENCHMARK(BM_PollTickWithoutTags);

// A tick after one tagged window moved by a point: the simulated server builds the list again
// (its own cost is in WindowListBench) and one panel follows its window.
void BM_PollTickAfterAMove(benchmark::State& state) {
  Desktop desktop(200, 20);
  auto& manager = desktop.manager();
  auto& server = desktop.server();
  const auto& tag = manager.tags().front();
  Rect bounds = tag.lastBounds;
  std::uint32_t number = tag.windowNumber;
  for (auto _ : state) {
    bounds = bounds.offsetBy(bounds.x() > 500 ? -300 : 1, 0);
    server.moveWindow(number, bounds);
    manager.updatePositions();
  }
  if (manager.tags().front().lastBounds != bounds) state.SkipWithError("the panel did not follow");
}
BENCHMARK(BM_PollTickAfterAMove)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
