// Rebuilding the status menu as it opens: every item made again, with one 10 by 10 colour dot
// drawn per tag.
#include <benchmark/benchmark.h>

#include <memory>

#include "Flagrig/Shell/AppDelegate.h"
#include "Flagrig/Tagging/TagManager.h"
#include "Flagrig/Tagging/WindowInfo.h"
#include "Platform/Desktop/Menu.h"
#include "Platform/Foundation/Environment.h"
#include "Platform/Foundation/RunLoop.h"
#include "Platform/Foundation/SharedInstance.h"
#include "Platform/Sim/SimEnvironment.h"

namespace {

void BM_StatusMenuRebuild(benchmark::State& state) {
  auto sim = platform::sim::makeSimEnvironment();
  platform::installEnvironment(sim->environment);
  {
    auto& server = sim->desktop->windowServer();
    auto& manager = flagrig::TagManager::shared();
    for (int i = 0; i < state.range(0); ++i) {
      auto pid = server.launchApplication("App " + std::to_string(i));
      platform::Rect bounds(20.0 * i, 60.0 + 10 * i, 600, 400);
      manager.createTag(flagrig::WindowInfo{server.openWindow(pid, bounds), pid, bounds, "App"});
    }
    auto delegate = std::make_shared<flagrig::AppDelegate>();
    auto menu = std::make_shared<platform::Menu>();
    for (auto _ : state) {
      delegate->menuNeedsUpdate(*menu);
      benchmark::DoNotOptimize(menu->numberOfItems());
    }
    state.SetItemsProcessed(state.iterations());
  }
  platform::resetSharedInstances();
  sim->mainLoop->discardPendingWork();
  platform::installEnvironment(nullptr);
}
BENCHMARK(BM_StatusMenuRebuild)->Arg(0)->Arg(5)->Arg(20);

}  // namespace

BENCHMARK_MAIN();
