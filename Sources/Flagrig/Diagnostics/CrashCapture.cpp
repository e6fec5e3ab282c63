#include "Flagrig/Diagnostics/CrashCapture.h"

#include <cxxabi.h>
#include <dlfcn.h>
#include <execinfo.h>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <sys/time.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>

#include "Flagrig/Diagnostics/DiagnosticLogBuffer.h"
#include "Flagrig/Diagnostics/DiagnosticRedaction.h"
#include "Flagrig/Diagnostics/ErrorTelemetryObserver.h"
#include "Flagrig/Diagnostics/TypeNames.h"

namespace flagrig {

namespace {

// Room for the recording work (redaction, formatting) after the thread's own stack overflowed.
constexpr std::size_t alternateStackSize = 1 << 20;
constexpr int maxFrames = 64;

std::atomic<bool> installed{false};
// The thread recording a crash; 0 while none is.
std::atomic<pid_t> recordingThread{0};
// The signal the watchdog ends the process with.
std::atomic<int> watchdogSignal{SIGABRT};
std::atomic<unsigned> watchdogMilliseconds{CrashCapture::defaultWatchdogMilliseconds};
std::terminate_handler previousTerminate = nullptr;

pid_t currentThreadID() {
  return static_cast<pid_t>(::syscall(SYS_gettid));
}

void unblockInThisThread(int signal) {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, signal);
  ::pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

void setHandler(int signal, void (*handler)(int)) {
  struct sigaction action {};
  action.sa_handler = handler;
  // On the alternate stack, so that a stack overflow can still be handled.
  action.sa_flags = handler == SIG_DFL ? 0 : SA_ONSTACK;
  sigemptyset(&action.sa_mask);
  ::sigaction(signal, &action, nullptr);
}

// Ends the process with `signal` and its default action, as if nothing had caught it.
[[noreturn]] void dieWith(int signal) {
  setHandler(signal, SIG_DFL);
  unblockInThisThread(signal);
  ::raise(signal);
  ::_exit(128 + signal);
}

void watchdogFired(int) {
  dieWith(watchdogSignal.load());
}

void armWatchdog(int signal) {
  watchdogSignal.store(signal);
  setHandler(SIGALRM, watchdogFired);
  unblockInThisThread(SIGALRM);
  const unsigned ms = watchdogMilliseconds.load();
  itimerval timer{};
  timer.it_value.tv_sec = static_cast<time_t>(ms / 1000);
  timer.it_value.tv_usec = static_cast<suseconds_t>((ms % 1000) * 1000);
  ::setitimer(ITIMER_REAL, &timer, nullptr);
}

// Makes the calling thread the one that records. A fault inside its own recording ends the
// process at once; any other thread that crashes meanwhile waits for the first to end it.
void enterCrashPath(int signal) {
  const pid_t self = currentThreadID();
  pid_t expected = 0;
  if (recordingThread.compare_exchange_strong(expected, self)) return;
  if (expected == self) dieWith(signal);
  for (;;) ::pause();
}

void signalHandler(int signal) {
  enterCrashPath(signal);
  armWatchdog(signal);
  try {
    CrashCapture::record(CrashCapture::signalMessage(signal, CrashCapture::callStackSymbols(1)));
  } catch (...) {
  }
  dieWith(signal);
}

void terminateHandler() {
  enterCrashPath(SIGABRT);
  armWatchdog(SIGABRT);
  try {
    std::string name = "<unknown>";
    if (const std::type_info* type = abi::__cxa_current_exception_type())
      name = TypeNames::qualified(*type);
    std::optional<std::string> reason;
    if (auto current = std::current_exception()) {
      try {
        std::rethrow_exception(current);
      } catch (const std::exception& e) {
        if (*e.what()) reason = e.what();
      } catch (...) {
      }
    }
    CrashCapture::record(
        CrashCapture::exceptionMessage(name, reason, CrashCapture::callStackSymbols(1)));
  } catch (...) {
  }
  // The runtime's own ending follows (abort, SIGABRT), which the signal handler records too.
  recordingThread.store(0);
  if (previousTerminate) previousTerminate();
  std::abort();
}

void installAlternateStack() {
  stack_t current{};
  if (::sigaltstack(nullptr, &current) == 0 && !(current.ss_flags & SS_DISABLE) &&
      current.ss_size >= alternateStackSize)
    return;
  void* memory = ::mmap(nullptr, alternateStackSize, PROT_READ | PROT_WRITE,
                        MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK, -1, 0);
  if (memory == MAP_FAILED) return;
  stack_t stack{};
  stack.ss_sp = memory;
  stack.ss_size = alternateStackSize;
  ::sigaltstack(&stack, nullptr);
}

std::string joinedFrames(const std::vector<std::string>& frames) {
  std::string out;
  for (const auto& frame : frames) {
    out += "\n  ";
    out += frame;
  }
  return out;
}

}  // namespace

void CrashCapture::install() {
  if (installed.exchange(true)) return;

  // Loads what backtrace needs and compiles the redaction rules now, not while crashing.
  void* warmUp[1];
  ::backtrace(warmUp, 1);
  DiagnosticRedaction::redact("warm-up");

  installAlternateStack();
  previousTerminate = std::set_terminate(terminateHandler);
  for (int signal : signals) setHandler(signal, signalHandler);
}

bool CrashCapture::isInstalled() {
  return installed.load();
}

void CrashCapture::setWatchdogMilliseconds(unsigned milliseconds) {
  watchdogMilliseconds.store(milliseconds);
}

void CrashCapture::record(const std::string& message) {
  std::shared_ptr<DiagnosticLogBuffer> log;
  try {
    log = DiagnosticLogBuffer::tryShared();
    if (log) log->addFromCrashHandler(category, message);
  } catch (...) {
  }
  try {
    if (auto telemetry = ErrorTelemetryObserver::tryShared())
      telemetry->tryObserveFromFacade(voskary::VoskaryLogLevel::error,
                                      DiagnosticRedaction::redact(message),
                                      {{"category", std::string(category)}}, std::nullopt);
  } catch (...) {
  }
  if (log) log->flushSync();
}

std::string CrashCapture::exceptionMessage(std::string_view name,
                                           std::optional<std::string_view> reason,
                                           const std::vector<std::string>& frames) {
  std::string out = "uncaught NSException name=";
  out += name;
  out += " reason=";
  out += reason ? *reason : std::string_view("<no reason>");
  return out + joinedFrames(frames);
}

std::string CrashCapture::signalMessage(int signal, const std::vector<std::string>& frames) {
  // sigdescr_np gives strsignal's text without its locale lookup and static buffer.
  const char* description = ::sigdescr_np(signal);
  std::string out = "fatal signal " + std::to_string(signal) + " (" +
                    (description ? description : "Unknown signal") + ")";
  return out + joinedFrames(frames);
}

std::vector<std::string> CrashCapture::callStackSymbols(int skip) {
  void* addresses[maxFrames];
  const int count = ::backtrace(addresses, maxFrames);
  std::vector<std::string> frames;
  char hex[32];
  for (int i = 1 + (skip > 0 ? skip : 0); i < count; ++i) {
    const auto address = reinterpret_cast<std::uintptr_t>(addresses[i]);
    std::string frame;
    Dl_info info{};
    if (::dladdr(addresses[i], &info) && info.dli_fname && *info.dli_fname) {
      const char* slash = std::strrchr(info.dli_fname, '/');
      frame = slash ? slash + 1 : info.dli_fname;
      frame += '(';
      std::uintptr_t base = reinterpret_cast<std::uintptr_t>(info.dli_fbase);
      if (info.dli_sname) {
        frame += TypeNames::demangle(info.dli_sname);
        base = reinterpret_cast<std::uintptr_t>(info.dli_saddr);
      }
      std::snprintf(hex, sizeof hex, "+0x%zx", static_cast<std::size_t>(address - base));
      frame += hex;
      frame += ')';
    } else {
      frame = "???";
    }
    std::snprintf(hex, sizeof hex, " [0x%zx]", static_cast<std::size_t>(address));
    frame += hex;
    frames.push_back(std::move(frame));
  }
  return frames;
}

}  // namespace flagrig
