#pragma once

#include <array>
#include <csignal>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace flagrig {

// Records the last moments of a dying process: an uncaught exception or a fatal signal becomes
// an "error" entry in category "crash" of the diagnostic log and an error-telemetry event, and
// the log file is put on disk before the process dies the ordinary way, with the same signal.
// Start-up installs it first thing.
//
// The crashing thread may hold the log's or the telemetry's lock, so the exception path only
// ever tries locks and skips a step it cannot take. The signal path goes further, since a
// signal may come from a corrupt heap or interrupt any lock's holder: it allocates nothing,
// takes no lock, opens no file and leaves ICU alone. It formats into a buffer set aside at
// install and appends to the log file through a descriptor the log keeps open. Handlers run
// on an alternate stack, which every thread the runtime starts has, so a stack overflow on any
// of them is recorded too; a watchdog ends the process with the crash's signal should
// recording hang.
struct CrashCapture {
  // In the order they are registered.
  static constexpr std::array<int, 7> signals = {SIGABRT, SIGILL,  SIGSEGV, SIGFPE,
                                                 SIGBUS,  SIGPIPE, SIGTRAP};
  static constexpr std::string_view category = "crash";
  static constexpr unsigned defaultWatchdogMilliseconds = 5000;

  // Idempotent: registers the uncaught-exception handler and one handler for each signal.
  static void install();
  static bool isInstalled();

  // The signal path's hand-over to error telemetry: called with the message (valid only during
  // the call) between the log line and the file synchronisation. It must be
  // async-signal-safe. `install` sets error telemetry's own unless one was set before.
  using SignalForwarder = void (*)(std::string_view message) noexcept;
  static void setSignalForwarder(SignalForwarder forwarder);
  static SignalForwarder currentSignalForwarder();

  // How long recording may take before the watchdog ends the process.
  static void setWatchdogMilliseconds(unsigned milliseconds);

  // The exception handler's steps: the log entry, the telemetry event (redacted) and the file
  // synchronisation, each skipped when its lock is taken.
  static void record(const std::string& message);

  // "uncaught NSException name=<name> reason=<reason or <no reason>>" and the frames, each on
  // a line of its own after two blanks.
  static std::string exceptionMessage(std::string_view name, std::optional<std::string_view> reason,
                                      const std::vector<std::string>& frames);
  // "fatal signal <n> (<description>)" and the frames likewise, as the signal path writes it.
  static std::string signalMessage(int signal, const std::vector<std::string>& frames);

  // The calling thread's stack, innermost first, leaving out `skip` frames of the caller's:
  // "module(symbol+0x1f) [0x7f…]" with the module's base name, never its full path.
  static std::vector<std::string> callStackSymbols(int skip = 0);
};

}  // namespace flagrig
