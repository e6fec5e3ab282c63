// The cost of logging one entry to the file and of redacting one typical log line.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "Flagrig/Diagnostics/DiagnosticLogBuffer.h"
#include "Flagrig/Diagnostics/DiagnosticRedaction.h"

namespace {

using flagrig::DiagnosticLogBuffer;
using flagrig::DiagnosticRedaction;

// A 200-character line with an e-mail address, an address with a port, a home path and a key.
const std::string typicalLine =
    "request_transport_failed for alice.smith@example.com via 192.168.10.42:8443 while "
    "reading /home/alice/.config/flagrig/defaults.json code=-1001 after 3 retries, "
    "category=auth, giving up for now. Sorry.";

// One "info" entry: redaction, timestamp, ring, rotation check and one append to the file.
// No environment is installed, so nothing is mirrored to the machine's system log.
void BM_AddInfoEntryWithFile(benchmark::State& state) {
  std::string folder = (std::filesystem::temp_directory_path() / "flagrig-bench-XXXXXX").string();
  if (!mkdtemp(folder.data())) {
    state.SkipWithError("no temporary folder");
    return;
  }
  DiagnosticLogBuffer log(DiagnosticLogBuffer::sharedCapacity,
                          std::filesystem::path(folder) / "flagrig.log");
  for (auto _ : state) log.add("info", "lifecycle", "App launched (v1.4.2) with 3 tags restored");
  state.SetItemsProcessed(state.iterations());
  std::filesystem::remove_all(folder);
}
BENCHMARK(BM_AddInfoEntryWithFile);

void BM_RedactTypicalLine(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(DiagnosticRedaction::redact(typicalLine));
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(typicalLine.size()));
}
BENCHMARK(BM_RedactTypicalLine);

}  // namespace

BENCHMARK_MAIN();
