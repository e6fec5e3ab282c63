// The simulated window server's hot paths: copying the window list and ordering a panel above a
// foreign window, as the tag poll does 30 times a second.
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "Platform/Desktop/Panel.h"
#include "Platform/Sim/SimEnvironment.h"
#include "Platform/WindowServer/WindowList.h"

namespace {

using namespace platform;

struct Desktop {
  std::shared_ptr<sim::SimEnvironment> sim = sim::makeSimEnvironment();
  std::vector<std::uint32_t> foreign;
  std::vector<std::shared_ptr<Panel>> panels;

  Desktop(int windows, int tags) {
    installEnvironment(sim->environment);
    auto& server = sim->desktop->windowServer();
    for (int app = 0; app < 10; ++app) {
      auto pid = server.launchApplication("App " + std::to_string(app));
      for (int w = 0; w < windows / 10; ++w) {
        foreign.push_back(server.openWindow(pid, Rect(10.0 * w, 30.0 + w, 400, 300), "Window"));
      }
    }
    for (int t = 0; t < tags; ++t) {
      auto panel = std::make_shared<Panel>(Rect(0, 0, 100, 26), StyleMask::nonactivatingPanel);
      panel->orderFrontRegardless();
      panel->order(WindowOrderingMode::above, foreign[static_cast<std::size_t>(t) * 10]);
      panels.push_back(panel);
    }
  }
  ~Desktop() {
    panels.clear();
    installEnvironment(nullptr);
  }
};

// One read of the on-screen list while nothing changes (the snapshot is shared), and one after a
// change (the list is built again): 200 foreign windows and 20 panels.
void BM_CopyWindowList(benchmark::State& state) {
  Desktop desktop(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  auto& server = desktop.sim->desktop->windowServer();
  for (auto _ : state) {
    auto list =
        server.copyWindowList(WindowList::optionOnScreenOnly | WindowList::excludeDesktopElements);
    benchmark::DoNotOptimize(list);
  }
}
BENCHMARK(BM_CopyWindowList)->Args({200, 20})->Unit(benchmark::kMicrosecond);

void BM_RebuildWindowList(benchmark::State& state) {
  Desktop desktop(200, 20);
  auto& server = desktop.sim->desktop->windowServer();
  for (auto _ : state) {
    server.invalidate();
    auto list =
        server.copyWindowList(WindowList::optionOnScreenOnly | WindowList::excludeDesktopElements);
    benchmark::DoNotOptimize(list);
  }
}
BENCHMARK(BM_RebuildWindowList)->Unit(benchmark::kMicrosecond);

// Ordering every panel directly above its window again, as one poll tick does.
void BM_OrderPanelsAboveTheirWindows(benchmark::State& state) {
  Desktop desktop(200, 20);
  for (auto _ : state) {
    for (std::size_t t = 0; t < desktop.panels.size(); ++t) {
      desktop.panels[t]->order(WindowOrderingMode::above, desktop.foreign[t * 10]);
    }
  }
  state.SetItemsProcessed(state.iterations() * 20);
}
BENCHMARK(BM_OrderPanelsAboveTheirWindows)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
