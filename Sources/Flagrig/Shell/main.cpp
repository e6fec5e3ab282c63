// The process entry point: one running instance per user, the real Linux services, then the
// app's start-up.
#include <malloc.h>
#include <string.h>

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "Flagrig/Diagnostics/CrashCapture.h"
#include "Flagrig/Diagnostics/DiagnosticLogBuffer.h"
#include "Flagrig/Shell/AppStartup.h"
#include "Flagrig/Shell/LaunchAddress.h"
#include "Platform/Desktop/Application.h"
#include "Platform/Foundation/Environment.h"
#include "Platform/Foundation/NotificationCenter.h"
#include "Platform/Foundation/RunLoop.h"
#include "Platform/Linux/LinuxEnvironment.h"
#include "Platform/Linux/Qt/DisplayLoss.h"
#include "Platform/Linux/SingleInstance.h"
#include "Platform/Linux/TerminationSignals.h"

int main(int argc, char** argv) {
  using platform::linuxbackend::SingleInstance;
  // Every pick draws screen-sized images. With the threshold fixed, glibc maps such blocks and
  // returns them when freed; left to adjust itself it raises the threshold after the first one
  // and keeps every later one in the heap for good (some 10 MB after ten picks).
  ::mallopt(M_MMAP_THRESHOLD, 1 << 20);
  auto address = flagrig::LaunchAddress::find(argc, argv);

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

  // A lost display (a logout) ends the run with one line and nothing torn down against it.
  platform::linuxbackend::DisplayLoss::setHandler([] {
    if (auto log = flagrig::DiagnosticLogBuffer::tryShared()) {
      log->add("info", "lifecycle", "The X display went away; ending");
      log->flushSync();
    }
  });
  platform::linuxbackend::attachX11Desktop(platform::env());
  if (single) {
    single->listen(&SingleInstance::deliver);
    // Quitting ends the process without unwinding: let go of the lock and the socket first,
    // so that no socket file is left behind.
    platform::env().notificationCenter->addObserver(
        std::string(platform::Application::willTerminateNotification), nullptr, nullptr,
        [&single](const platform::Notification&) { single.reset(); });
  }
  // A logout or shutdown asks with SIGTERM: ended as Quit ends it, not where the signal fell.
  platform::linuxbackend::TerminationSignals::install(*platform::env().mainLoop, [](int signal) {
    flagrig::DiagnosticLogBuffer::shared().add(
        "info", "lifecycle", std::string("Ending on SIG") + ::sigabbrev_np(signal));
    platform::Application::shared().terminate();
  });
  // Our own address arrives as the event too, once the application takes events.
  if (address) {
    platform::env().mainLoop->post([a = *address] { SingleInstance::deliverAsURLEvent(a); });
  }
  return flagrig::AppStartup::run();
}
