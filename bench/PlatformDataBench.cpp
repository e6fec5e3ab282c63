// The hot paths of the data utilities: URL parsing (every request and redirect) and one ICU
// replace-all over a log line (each of the log's redaction rules does this for every entry).
#include <benchmark/benchmark.h>

#include "Platform/Foundation/Regex.h"
#include "Platform/Foundation/URL.h"

namespace {

void BM_URLParse(benchmark::State& state) {
  const std::string text =
      "https://id.example.com/oauth2/authorize?response_type=code&client_id=flagrig"
      "&redirect_uri=flagrig://auth/callback&scope=openid%20voskary.account"
      "&state=3Jx8sK2pQ9vN1mL7cR5tY0wZ4aB6dE8fG2hJ4kM6nP8&code_challenge_method=S256";
  for (auto _ : state) benchmark::DoNotOptimize(platform::URL::parse(text));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_URLParse);

void BM_URLResolve(benchmark::State& state) {
  const platform::URL base("https://id.example.com/base/v1/");
  for (auto _ : state) {
    benchmark::DoNotOptimize(platform::URL::parse("/api/app-sessions/refresh", base));
  }
}
BENCHMARK(BM_URLResolve);

void BM_RegexReplaceAllLogLine(benchmark::State& state) {
  // 200 characters, with two addresses for the rule to replace.
  std::string line =
      "2026-01-31T09:15:02.123Z [WARN] auth: refresh failed for ann.lee@example.com after 3 "
      "attempts; contact bob@example.org or see https://help.example.com/signin for the steps "
      "to take next ok";
  line.resize(200, '.');
  const platform::Regex email("([A-Za-z0-9._%+\\-]+)@([A-Za-z0-9.\\-]+\\.[A-Za-z]{2,})");
  for (auto _ : state) benchmark::DoNotOptimize(email.replacingMatches(line, "x****@$2"));
}
BENCHMARK(BM_RegexReplaceAllLogLine);

}  // namespace

BENCHMARK_MAIN();
