// Main-queue throughput and the cost of one timer tick.
#include <benchmark/benchmark.h>

#include <memory>

#include "Platform/Foundation/Clock.h"
#include "Platform/Foundation/RunLoop.h"

namespace {

using platform::ManualClock;
using platform::RunLoop;

// Posts a batch of work items and drains them: the cost per item of post + run.
void BM_MainQueuePostAndRun(benchmark::State& state) {
  auto loop = std::make_shared<RunLoop>(std::make_shared<ManualClock>());
  const int batch = static_cast<int>(state.range(0));
  long ran = 0;
  for (auto _ : state) {
    for (int i = 0; i < batch; ++i) loop->post([&ran] { ++ran; });
    loop->runUntilIdle();
  }
  benchmark::DoNotOptimize(ran);
  state.SetItemsProcessed(state.iterations() * batch);
}
BENCHMARK(BM_MainQueuePostAndRun)->Arg(1)->Arg(1000);

// One tick of a 30 Hz repeating timer with an empty body: dequeue, reschedule, fire.
void BM_TimerTick(benchmark::State& state) {
  auto loop = std::make_shared<RunLoop>(std::make_shared<ManualClock>());
  long fires = 0;
  auto timer = loop->scheduleTimer(
      1.0 / 30.0, platform::TimerKind::repeating, [&fires](platform::Timer&) { ++fires; },
      platform::RunLoopModes::common());
  const auto tick = platform::seconds(1.0 / 30.0);
  auto target = loop->clock().uptime();
  for (auto _ : state) {
    target += tick;
    loop->advanceTo(target);
  }
  benchmark::DoNotOptimize(fires);
  state.SetItemsProcessed(fires);
  timer->invalidate();
}
BENCHMARK(BM_TimerTick);

}  // namespace

BENCHMARK_MAIN();
