// One DPoP proof, as every signed-in request to the account service makes: two compact JSON
// objects, a SHA-256 of the token, an ECDSA P-256 signature of a keychain-held key and its
// DER-to-JOSE conversion.
#include <benchmark/benchmark.h>

#include <memory>

#include "Platform/Foundation/Clock.h"
#include "Platform/Foundation/Environment.h"
#include "Platform/Security/KeychainKeyStore.h"
#include "Platform/Sim/SimKeychain.h"
#include "VoskaryAccount/Client/DPoPSigner.h"

namespace {

void BM_DPoPProof(benchmark::State& state) {
  auto environment = std::make_shared<platform::Environment>();
  environment->clock = std::make_shared<platform::SystemClock>();
  auto previous = platform::installEnvironment(environment);
  // An in-memory keychain, so that the benchmark never touches the user's.
  auto keyStore =
      std::make_shared<platform::KeychainKeyStore>(std::make_shared<platform::sim::SimKeychain>());
  voskary::DPoPSigner signer(keyStore);
  const platform::URL url("https://account.voskary.test/api/app-data-token");
  const std::string token = "vas_0190b3c4-5d6e-7f80-9a1b-2c3d4e5f6a7b";
  for (auto _ : state) benchmark::DoNotOptimize(signer.generateProof(url, "POST", token));
  platform::installEnvironment(previous);
}
BENCHMARK(BM_DPoPProof);

}  // namespace
BENCHMARK_MAIN();
