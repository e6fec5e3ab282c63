// The process entry point: one running instance per user, the real Linux services, then the
// app's start-up.
#include <malloc.h>

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "Flagrig/Diagnostics/CrashCapture.h"
#include "Flagrig/Diagnostics/DiagnosticLogBuffer.h"
#include "Flagrig/Shell/AppStartup.h"
#include "Platform/Foundation/Environment.h"
#include "Platform/Foundation/RunLoop.h"
#include "Platform/Linux/LinuxEnvironment.h"
#include "Platform/Linux/Qt/DisplayLoss.h"
#include "Platform/Linux/SingleInstance.h"

namespace {

// The flagrig:// address the desktop started us with (`Exec=flagrig %u`), if any.
std::optional<std::string> schemeAddress(int argc, char** argv) {
  constexpr std::string_view scheme = "flagrig:";
  for (int i = 1; i < argc; ++i) {
    std::string_view argument = argv[i];
    if (argument.size() < scheme.size()) continue;
    bool matches = true;
    for (std::size_t j = 0; j < scheme.size(); ++j) {
      char c = argument[j];
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
      if (c != scheme[j]) matches = false;
    }
    if (matches) return std::string(argument);
  }
  return std::nullopt;
}

}  // namespace

int main(int argc, char** argv) {
  using platform::linuxbackend::SingleInstance;
  // Every pick draws screen-sized images. With the threshold fixed, glibc maps such blocks and
  // returns them when freed; left to adjust itself it raises the threshold after the first one
  // and keeps every later one in the heap for good (some 10 MB after ten picks).
  ::mallopt(M_MMAP_THRESHOLD, 1 << 20);
  auto address = schemeAddress(argc, argv);

  // The services without the desktop, so that crash capture (which writes to the log) is in
  // place before the hand-over, and a later process never opens the display.
  platform::installEnvironment(platform::linuxbackend::makeLinuxServices());
  flagrig::CrashCapture::install();

  // A later process hands its address, or else a reopen, to the running one and ends.
  std::unique_ptr<SingleInstance> single;
  if (auto folder = SingleInstance::defaultDirectory()) {
    single = std::make_unique<SingleInstance>(*folder);
    if (!single->acquire()) {
      if (single->isUsable()) {
        if (!address) {
          std::fprintf(stderr, "flagrig: Flagrig is already running.\n");
          single->handOver(SingleInstance::reopenRequest);
          return 0;
        }
        if (single->handOver(*address)) return 0;
        std::fprintf(stderr, "flagrig: the running Flagrig did not take %s\n", address->c_str());
        return 1;
      }
      // No usable lock: run on our own, as if we were the only one.
      single.reset();
    }
  }

  // A lost display (a logout) ends the run with one line and nothing torn down against it.
  platform::linuxbackend::DisplayLoss::setHandler([] {
    if (auto log = flagrig::DiagnosticLogBuffer::tryShared()) {
      log->add("info", "lifecycle", "The X display went away; ending");
      log->flushSync();
    }
  });
  platform::linuxbackend::attachX11Desktop(platform::env());
  if (single) single->listen(&SingleInstance::deliver);
  // Our own address arrives as the event too, once the application takes events.
  if (address) {
    platform::env().mainLoop->post([a = *address] { SingleInstance::deliverAsURLEvent(a); });
  }
  return flagrig::AppStartup::run();
}
