// What error-telemetry capture costs the thread that logs a warning, and the normalisation alone.
#include <benchmark/benchmark.h>

#include <string>

#include "Platform/Foundation/Environment.h"
#include "Platform/Sim/SimEnvironment.h"
#include "VoskaryAccount/Telemetry/ErrorFirehoseClient.h"

namespace {

using voskary::ErrorFirehoseClient;
using voskary::VoskaryLogLevel;

// A 200-character warning with a number, an e-mail address and a home path, as the log facade
// hands it on.
const std::string typicalMessage =
    "Upload of report 48213 for ann.lee@example.org failed after 3 retries: server answered 503 "
    "while writing /home/ann/.local/state/Flagrig/flagrig.log; keeping it for the next try. Retry "
    "is due in a bit.";
// The same length with nothing for the rules to replace.
const std::string plainMessage =
    "The account service refused the session refresh because the refresh token was already "
    "used by another request of this app; signing in again will be needed before the next sync. "
    "Nothing at all was lost.";

// A simulated machine (preferences, clock) with a configured client whose loop is not started:
// capture fills the buffer and the queue, and nothing is sent.
struct Machine {
  Machine() {
    sim = platform::sim::makeSimEnvironment();
    platform::installEnvironment(sim->environment);
    client = ErrorFirehoseClient::create();
    client->configure("flagrig", "macos", "1.4.2", "14.5.0", "install-1",
                      platform::URL("https://account.example.test"), nullptr);
  }
  ~Machine() {
    client.reset();
    sim->mainLoop->discardPendingWork();
    platform::installEnvironment(nullptr);
  }
  std::shared_ptr<platform::sim::SimEnvironment> sim;
  std::shared_ptr<ErrorFirehoseClient> client;
};

// A repeated warning: normalisation, hashing and one count raised under the lock. The clock
// moves 0.11 s per call, so the breaker (100 per 10 s) never trips and the window rolls over
// once a minute, as it would for a steady trickle.
void BM_ObserveCoalesced(benchmark::State& state) {
  Machine machine;
  const ErrorFirehoseClient::Fields fields = {{"category", "diagnostics"}};
  for (auto _ : state) {
    machine.client->observeFromFacade(VoskaryLogLevel::warning, typicalMessage, fields,
                                      std::nullopt);
    machine.sim->clock->moveForward(platform::seconds(0.11));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ObserveCoalesced);

// A new warning every call: a new entry and breaker state each time, and every 50th call moves
// the buffer to the batch queue.
void BM_ObserveNew(benchmark::State& state) {
  Machine machine;
  const ErrorFirehoseClient::Fields fields = {{"category", "diagnostics"}};
  std::uint64_t n = 0;
  std::string message = plainMessage;
  for (auto _ : state) {
    // Letters beyond "f", so that no rule folds the variants together.
    std::uint64_t k = n++;
    for (std::size_t i = 0; i < 8; ++i, k /= 20) message[4 + i] = static_cast<char>('g' + k % 20);
    machine.client->observeFromFacade(VoskaryLogLevel::warning, message, fields, std::nullopt);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ObserveNew);

void BM_NormalizeTypicalMessage(benchmark::State& state) {
  Machine machine;
  for (auto _ : state)
    benchmark::DoNotOptimize(machine.client->normalizeMessage(typicalMessage, std::nullopt));
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(typicalMessage.size()));
}
BENCHMARK(BM_NormalizeTypicalMessage);

void BM_NormalizePlainMessage(benchmark::State& state) {
  Machine machine;
  for (auto _ : state)
    benchmark::DoNotOptimize(machine.client->normalizeMessage(plainMessage, std::nullopt));
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(plainMessage.size()));
}
BENCHMARK(BM_NormalizePlainMessage);

// 100 KB of near-matches, as a hostile answer quoted in a warning could hold: pieces that start
// every rule and fail late (an address without a domain, a time stamp one digit short, a UUID
// one group short, hex and digit runs glued to a letter, drive letters and slashes). Once in
// ASCII, where the scans run, and once with a letter outside ASCII, where the rules that need
// ICU's view of Unicode run as regular expressions. Target: at most 50 ms per message.
std::string nearMatches(bool unicode) {
  const std::string piece =
      "a.b_c%d+e-f@g.h-i.j 2024-01-02T03:04:0x 0123abcd-4567-89ab-cdef-0123456789a va_ "
      "deadbeef0g 12345z C:x \\ //,x " +
      std::string(unicode ? "\u00e9\u0663\u0663\u0663\u0663x " : "e 3333x ");
  std::string text;
  while (text.size() < 100 * 1024) text += piece;
  return text;
}

void BM_NormalizeHostileNearMatches(benchmark::State& state) {
  Machine machine;
  const std::string text = nearMatches(state.range(0) != 0);
  for (auto _ : state)
    benchmark::DoNotOptimize(machine.client->normalizeMessage(text, std::nullopt));
  state.SetLabel(state.range(0) ? "with non-ASCII letters" : "ASCII");
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_NormalizeHostileNearMatches)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
