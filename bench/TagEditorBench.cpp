// The tag appearance editor's height report: one full layout from the tag manager's state
// (what every editor action ends with) up to the height reaching the settings row, for the
// default palette and a long one, and the report alone when the height did not change.
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "Flagrig/Settings/TagEditorHost.h"
#include "Flagrig/Tagging/TagEditorView.h"
#include "Flagrig/Tagging/TagManager.h"
#include "Platform/Foundation/Environment.h"
#include "Platform/Foundation/RunLoop.h"
#include "Platform/Foundation/SharedInstance.h"
#include "Platform/Sim/SimEnvironment.h"

namespace {

using flagrig::TagEditorHost;
using flagrig::TagManager;

class Machine {
 public:
  explicit Machine(int paletteSize) : sim_(platform::sim::makeSimEnvironment()) {
    platform::installEnvironment(sim_->environment);
    std::vector<flagrig::PaletteEntry> palette;
    for (int i = 0; i < paletteSize; ++i)
      palette.push_back(TagManager::defaultPalette()[static_cast<std::size_t>(i % 8)]);
    TagManager::shared().setPalette(palette);
    host_ = TagEditorHost::make(TagEditorHost::HeightBinding(
        [this] { return height_; }, [this](const double& h) { height_ = h; }));
    loop().runUntilIdle();
  }
  ~Machine() {
    host_.reset();
    platform::resetSharedInstances();
    sim_->mainLoop->discardPendingWork();
    platform::installEnvironment(nullptr);
  }
  platform::RunLoop& loop() { return *sim_->mainLoop; }
  flagrig::TagEditorView& editor() { return *host_->editor(); }
  double height() const { return height_; }

 private:
  std::shared_ptr<platform::sim::SimEnvironment> sim_;
  std::shared_ptr<TagEditorHost> host_;
  double height_ = TagEditorHost::initialHeight;
};

void BM_RebuildAndReport(benchmark::State& state) {
  Machine machine(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    machine.editor().rebuild();
    machine.loop().runUntilIdle();
    benchmark::DoNotOptimize(machine.height());
  }
  state.counters["height"] = machine.height();
}
BENCHMARK(BM_RebuildAndReport)->Arg(8)->Arg(64);

void BM_ReportOnly(benchmark::State& state) {
  Machine machine(8);
  for (auto _ : state) {
    machine.editor().publishContentHeight();
    machine.loop().runUntilIdle();
  }
}
BENCHMARK(BM_ReportOnly);

}  // namespace

BENCHMARK_MAIN();
