#include "Flagrig/Diagnostics/CrashCapture.h"

#include <cxxabi.h>
#include <dlfcn.h>
#include <execinfo.h>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>

#include "Flagrig/Diagnostics/DiagnosticLogBuffer.h"
#include "Flagrig/Diagnostics/DiagnosticRedaction.h"
#include "Flagrig/Diagnostics/TypeNames.h"
#include "Platform/Foundation/Environment.h"
#include "Platform/Foundation/SignalStack.h"
#include "VoskaryAccount/Telemetry/ErrorFirehoseClient.h"

namespace flagrig {

namespace {

constexpr int maxFrames = 64;
// The signal path's message: set aside now, since after a crash the heap may be what broke.
constexpr std::size_t signalMessageCapacity = 16 * 1024;
char signalMessageBuffer[signalMessageCapacity];
std::atomic<CrashCapture::SignalForwarder> signalForwarder{nullptr};

// Text in a fixed buffer, for the signal path: appends what fits and drops the rest.
class FixedText {
 public:
  FixedText(char* buffer, std::size_t capacity) : buffer_(buffer), capacity_(capacity) {}

  void append(std::string_view text) {
    const std::size_t n = std::min(text.size(), capacity_ - length_);
    std::memcpy(buffer_ + length_, text.data(), n);
    length_ += n;
  }
  void appendDecimal(unsigned long value) {
    char digits[24];
    int n = 0;
    do {
      digits[n++] = static_cast<char>('0' + value % 10);
      value /= 10;
    } while (value > 0);
    while (n > 0) append(std::string_view(&digits[--n], 1));
  }
  void appendHex(std::uintptr_t value) {
    static constexpr char hexDigits[] = "0123456789abcdef";
    char digits[2 * sizeof value];
    int n = 0;
    do {
      digits[n++] = hexDigits[value & 0xf];
      value >>= 4;
    } while (value > 0);
    append("0x");
    while (n > 0) append(std::string_view(&digits[--n], 1));
  }
  std::string_view view() const { return {buffer_, length_}; }

 private:
  char* buffer_;
  std::size_t capacity_;
  std::size_t length_ = 0;
};

// "fatal signal <n> (<description>)": sigdescr_np gives strsignal's text without its locale
// lookup and buffer.
void appendSignalHeader(FixedText& text, int signal) {
  const char* description = ::sigdescr_np(signal);
  text.append("fatal signal ");
  text.appendDecimal(static_cast<unsigned long>(signal));
  text.append(" (");
  text.append(description ? description : "Unknown signal");
  text.append(")");
}

// One frame as "module(symbol+0x1f) [0x7f…]", the module by its base name. `demangled` is the
// symbol's readable name when the caller could afford one (the signal path cannot: the
// demangler allocates), else the symbol as linked.
void appendFrame(FixedText& text, void* address, const Dl_info& info, bool found,
                 std::string_view demangled) {
  const auto value = reinterpret_cast<std::uintptr_t>(address);
  if (found && info.dli_fname && *info.dli_fname) {
    const char* slash = std::strrchr(info.dli_fname, '/');
    text.append(slash ? slash + 1 : info.dli_fname);
    text.append("(");
    std::uintptr_t base = reinterpret_cast<std::uintptr_t>(info.dli_fbase);
    if (info.dli_sname) {
      text.append(demangled.empty() ? std::string_view(info.dli_sname) : demangled);
      base = reinterpret_cast<std::uintptr_t>(info.dli_saddr);
    }
    text.append("+");
    text.appendHex(value - base);
    text.append(")");
  } else {
    text.append("???");
  }
  text.append(" [");
  text.appendHex(value);
  text.append("]");
}

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

// The steps of a fatal signal. Nothing here allocates, takes a lock it could wait on, opens a
// file or uses ICU: the heap may be corrupt and the crashing thread may hold any lock. The
// message is therefore not redacted; it holds only the signal and code locations.
void recordFromSignal(std::string_view message) {
  // 1. The log file, through the descriptor the log keeps open (not the ring: the ring is
  //    memory that dies with the process, and appending to it allocates).
  DiagnosticLogBuffer::appendFromSignalHandler(CrashCapture::category, message);
  // 2. Error telemetry, through its async-signal-safe hand-over when it registered one.
  if (auto forward = signalForwarder.load()) forward(message);
  // 3. The file on disk.
  DiagnosticLogBuffer::flushFromSignalHandler();
}

void signalHandler(int signal) {
  enterCrashPath(signal);
  armWatchdog(signal);
  FixedText text(signalMessageBuffer, signalMessageCapacity);
  appendSignalHeader(text, signal);
  void* addresses[maxFrames];
  const int count = ::backtrace(addresses, maxFrames);
  // The first frame is this handler's own.
  for (int i = 1; i < count; ++i) {
    Dl_info info{};
    const bool found = ::dladdr(addresses[i], &info) != 0;
    text.append("\n  ");
    appendFrame(text, addresses[i], info, found, {});
  }
  recordFromSignal(text.view());
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

  // Loads what backtrace needs and compiles the redaction rules now, not while crashing, and
  // opens the log file the signal path writes to.
  void* warmUp[1];
  ::backtrace(warmUp, 1);
  DiagnosticRedaction::redact("warm-up");
  if (platform::hasEnvironment()) DiagnosticLogBuffer::shared().prepareCrashFile();

  // The threads the runtime starts give themselves one as they start.
  platform::SignalStack::installForThisThread();
  previousTerminate = std::set_terminate(terminateHandler);
  for (int signal : signals) setHandler(signal, signalHandler);

  // Error telemetry's own signal-safe entry, unless one was set before.
  SignalForwarder none = nullptr;
  signalForwarder.compare_exchange_strong(none,
                                          &voskary::ErrorFirehoseClient::observeCrashFromSignal);
}

bool CrashCapture::isInstalled() {
  return installed.load();
}

void CrashCapture::setSignalForwarder(SignalForwarder forwarder) {
  signalForwarder.store(forwarder);
}

CrashCapture::SignalForwarder CrashCapture::currentSignalForwarder() {
  return signalForwarder.load();
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
    // Only a client that exists: a crash creates none and waits for none.
    if (auto telemetry = voskary::ErrorFirehoseClient::tryShared())
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
  char buffer[256];
  FixedText text(buffer, sizeof buffer);
  appendSignalHeader(text, signal);
  return std::string(text.view()) + joinedFrames(frames);
}

std::vector<std::string> CrashCapture::callStackSymbols(int skip) {
  void* addresses[maxFrames];
  const int count = ::backtrace(addresses, maxFrames);
  std::vector<std::string> frames;
  for (int i = 1 + (skip > 0 ? skip : 0); i < count; ++i) {
    Dl_info info{};
    const bool found = ::dladdr(addresses[i], &info) != 0;
    const std::string demangled =
        found && info.dli_sname ? TypeNames::demangle(info.dli_sname) : std::string();
    char buffer[1024];
    FixedText text(buffer, sizeof buffer);
    appendFrame(text, addresses[i], info, found, demangled);
    frames.emplace_back(text.view());
  }
  return frames;
}

}  // namespace flagrig
