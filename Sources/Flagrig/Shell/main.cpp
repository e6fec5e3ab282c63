// The process entry point: one running instance per user, the real Linux services, then the
// app's start-up.
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "Flagrig/Shell/AppStartup.h"
#include "Flagrig/Shell/LaunchAddress.h"
#include "Platform/Foundation/Environment.h"
#include "Platform/Foundation/RunLoop.h"
#include "Platform/Linux/LinuxEnvironment.h"
#include "Platform/Linux/SingleInstance.h"

int main(int argc, char** argv) {
  using platform::linuxbackend::SingleInstance;
  auto address = flagrig::LaunchAddress::find(argc, argv);

  // A later process hands its address to the running one and ends.
  std::unique_ptr<SingleInstance> single;
  if (auto folder = SingleInstance::defaultDirectory()) {
    single = std::make_unique<SingleInstance>(*folder);
    if (!single->acquire()) {
      if (single->isUsable()) {
        if (!address) {
          std::fprintf(stderr, "flagrig: Flagrig is already running.\n");
          return 0;
        }
        if (single->handOver(*address)) return 0;
        std::fprintf(stderr, "flagrig: the running Flagrig did not take %s\n",
                     flagrig::LaunchAddress::describe(*address).c_str());
        return 1;
      }
      // No usable lock: run on our own, as if we were the only one.
      std::fprintf(stderr,
                   "flagrig: no single-instance lock can be had in %s; running without one, so "
                   "a sign-in may return to another Flagrig\n",
                   folder->c_str());
      single.reset();
    }
  } else {
    std::fprintf(stderr,
                 "flagrig: no private folder for the single-instance lock; running without one, "
                 "so a sign-in may return to another Flagrig\n");
  }

  platform::installEnvironment(platform::linuxbackend::makeLinuxEnvironment());
  if (single) single->listen(&SingleInstance::deliverAsURLEvent);
  // Our own address arrives as the event too, once the application takes events.
  if (address) {
    platform::env().mainLoop->post([a = *address] { SingleInstance::deliverAsURLEvent(a); });
  }
  return flagrig::AppStartup::run();
}
