// The work of one diagnostic report before it goes on the network: the full ring as the report
// document, its zip archive and the multipart body.
#include <benchmark/benchmark.h>

#include <span>
#include <string>

#include "Flagrig/Diagnostics/DiagnosticLogBuffer.h"
#include "Flagrig/Diagnostics/DiagnosticUploader.h"
#include "Flagrig/Diagnostics/ZipWriter.h"
#include "Platform/Foundation/Environment.h"
#include "Platform/Foundation/SharedInstance.h"
#include "Platform/Sim/SimEnvironment.h"

namespace {

using flagrig::DiagnosticLogBuffer;
using flagrig::DiagnosticUploader;

void BM_BuildFullReport(benchmark::State& state) {
  auto sim = platform::sim::makeSimEnvironment();
  auto previous = platform::installEnvironment(sim->environment);
  {
    auto& log = DiagnosticLogBuffer::shared();
    for (std::size_t i = 0; i < DiagnosticLogBuffer::sharedCapacity; ++i)
      log.add("info", "lifecycle",
              "request finished for the account service after 3 retries, entry " +
                  std::to_string(i) + ", category=auth, nothing to report beyond the timing");
    std::size_t bytes = 0;
    for (auto _ : state) {
      const std::string report = DiagnosticUploader::reportJSON();
      const auto zip = flagrig::ZipWriter::makeArchive(
          "diagnostic.json",
          std::span(reinterpret_cast<const std::uint8_t*>(report.data()), report.size()));
      auto body = DiagnosticUploader::multipartBody(
          "Boundary-6F1C2A0E-6B0C-4C39-9D4E-0D3B1C2A9F00",
          DiagnosticUploader::metadataJSON("manual", std::nullopt), zip, "flagrig-mac-1.zip");
      bytes = body.size();
      benchmark::DoNotOptimize(body.data());
    }
    state.counters["body_bytes"] = static_cast<double>(bytes);
  }
  platform::resetSharedInstances();
  platform::installEnvironment(previous);
}
BENCHMARK(BM_BuildFullReport);

}  // namespace

BENCHMARK_MAIN();
