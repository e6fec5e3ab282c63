// The sign-in stand-ins as a program of their own, for the end-to-end sign-in with the real app:
//   flagrig-signin-standins <port>
// prints "ready <base>" once it listens on 127.0.0.1:<port> and serves until it is ended.

#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>

#include "Platform/Foundation/Clock.h"
#include "Platform/Foundation/Environment.h"
#include "Support/StandIns/SignInStandIns.h"

int main(int argc, char** argv) {
  if (argc != 2 || std::atoi(argv[1]) <= 0) {
    std::fprintf(stderr, "usage: %s <port>\n", argv[0]);
    return 2;
  }
  sigset_t ending;
  sigemptyset(&ending);
  sigaddset(&ending, SIGTERM);
  sigaddset(&ending, SIGINT);
  // Blocked before the server's thread starts, so that only `sigwait` takes them.
  pthread_sigmask(SIG_BLOCK, &ending, nullptr);
  // The fake service dates sessions and proofs by the environment's clock: here the real one, as
  // the app's proofs and expiry times are.
  auto environment = std::make_shared<platform::Environment>();
  environment->clock = std::make_shared<platform::SystemClock>();
  platform::installEnvironment(environment);
  try {
    voskary::testing::SignInStandIns standIns(std::atoi(argv[1]));
    std::printf("ready %s\n", standIns.base().c_str());
    std::fflush(stdout);
    int signal = 0;
    sigwait(&ending, &signal);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "flagrig-signin-standins: %s\n", error.what());
    return 1;
  }
  return 0;
}
