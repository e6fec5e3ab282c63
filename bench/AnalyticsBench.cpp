// What `Analytics::track` costs its caller while the network does not answer: an event that
// passes the throttle and is handed to the analytics queue, and a repeat that the throttle
// drops. The queue's own work (building, serialising and sending the bodies) is measured
// apart, per event.
#include <benchmark/benchmark.h>

#include <memory>

#include "Flagrig/Analytics/Analytics.h"
#include "Platform/Foundation/Environment.h"
#include "Platform/Foundation/RunLoop.h"
#include "Platform/Foundation/SharedInstance.h"
#include "Platform/Network/HTTPSession.h"
#include "Platform/Sim/SimEnvironment.h"

namespace {

// A network that takes every request and never answers.
class HeldTransport final : public platform::HTTPTransport {
 public:
  struct Held final : Transfer {
    void cancel() override {}
  };
  std::shared_ptr<Transfer> start(platform::HTTPRequest, const platform::URLSessionConfiguration&,
                                  Completion) override {
    ++started;
    return std::make_shared<Held>();
  }
  std::size_t started = 0;
};

// A simulated machine (no user home, no keychain of the user's) with the held network.
struct Machine {
  Machine() {
    platform::resetSharedInstances();
    sim = platform::sim::makeSimEnvironment();
    sim->environment->httpSession = std::make_shared<platform::HTTPSession>(
        transport, platform::URLSessionConfiguration::defaultConfiguration());
    platform::installEnvironment(sim->environment);
  }
  ~Machine() {
    sim->mainLoop->runUntilIdle();
    platform::resetSharedInstances();
    platform::installEnvironment(nullptr);
  }
  std::shared_ptr<HeldTransport> transport = std::make_shared<HeldTransport>();
  std::shared_ptr<platform::sim::SimEnvironment> sim;
};

// "auth_completed" always passes the throttle and is mirrored: the most work a caller hands on.
void BM_TrackSentEvent(benchmark::State& state) {
  Machine machine;
  std::size_t sinceDrain = 0;
  for (auto _ : state) {
    flagrig::Analytics::track("auth_completed", {{"source", "onboarding"},
                                                 {"auth_transport", "system_browser"},
                                                 {"provider_hint", "google"}});
    if (++sinceDrain == 1024) {
      // Lets the queue catch up, outside the measurement, so that memory stays flat.
      state.PauseTiming();
      machine.sim->mainLoop->runUntilIdle();
      sinceDrain = 0;
      state.ResumeTiming();
    }
  }
  machine.sim->mainLoop->runUntilIdle();
  state.counters["requests"] = static_cast<double>(machine.transport->started);
}
BENCHMARK(BM_TrackSentEvent);

void BM_TrackThrottledEvent(benchmark::State& state) {
  Machine machine;
  flagrig::Analytics::track("tag_created", {{"source", "menu"}});
  for (auto _ : state) flagrig::Analytics::track("tag_created", {{"source", "menu"}});
  machine.sim->mainLoop->runUntilIdle();
  state.counters["requests"] = static_cast<double>(machine.transport->started);
}
BENCHMARK(BM_TrackThrottledEvent);

// The queue's side of one sent event: install id, base properties, two bodies, two requests.
void BM_BuildAndSendOneEvent(benchmark::State& state) {
  Machine machine;
  for (auto _ : state) {
    flagrig::Analytics::track("auth_completed", {{"source", "onboarding"}});
    machine.sim->mainLoop->runUntilIdle();
  }
}
BENCHMARK(BM_BuildAndSendOneEvent);

}  // namespace
BENCHMARK_MAIN();
