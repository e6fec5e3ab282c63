#include "Flagrig/Diagnostics/CrashCapture.h"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <future>
#include <stdexcept>
#include <thread>

#include "DiagnosticsTest.h"
#include "Platform/Foundation/DispatchQueue.h"
#include "Support/NoCoreDumps.h"
#include "VoskaryAccount/Telemetry/ErrorFirehoseClient.h"

namespace flagrig {
namespace {

// Holds a lock on another thread until the object goes away, as a thread that crashed (or was
// interrupted) while logging would.
class LockHolder {
 public:
  explicit LockHolder(std::mutex& mutex) {
    std::promise<void> held;
    auto heldNow = held.get_future();
    thread_ = std::thread([&mutex, &held, released = release_.get_future()]() mutable {
      std::lock_guard guard(mutex);
      held.set_value();
      released.wait();
    });
    heldNow.wait();
  }
  ~LockHolder() {
    release_.set_value();
    thread_.join();
  }

 private:
  std::promise<void> release_;
  std::thread thread_;
};

std::size_t occurrences(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

using CrashCaptureTest = DiagnosticsTest;

TEST_F(CrashCaptureTest, MessagesListTheFramesIndentedByTwoBlanks) {
  EXPECT_EQ(
      CrashCapture::exceptionMessage("std::out_of_range", "vector::at", {"a(+0x1) [0x1]", "b"}),
      "uncaught NSException name=std::out_of_range reason=vector::at\n  a(+0x1) [0x1]\n  b");
  EXPECT_EQ(CrashCapture::exceptionMessage("int", std::nullopt, {}),
            "uncaught NSException name=int reason=<no reason>");
  EXPECT_EQ(CrashCapture::signalMessage(SIGSEGV, {"f"}),
            "fatal signal 11 (Segmentation fault)\n  f");
  EXPECT_EQ(CrashCapture::signalMessage(SIGPIPE, {}), "fatal signal 13 (Broken pipe)");
}

TEST_F(CrashCaptureTest, StackFramesNameModulesByTheirBaseName) {
  const auto frames = CrashCapture::callStackSymbols();
  ASSERT_FALSE(frames.empty());
  bool sawLibc = false;
  for (const auto& frame : frames) {
    const auto module = frame.substr(0, frame.find('('));
    EXPECT_EQ(module.find('/'), std::string::npos) << frame;
    sawLibc = sawLibc || module.starts_with("libc.so");
  }
  EXPECT_TRUE(sawLibc) << frames.front();
}

TEST_F(CrashCaptureTest, RecordingSkipsWhatItCannotLockAndWaitsForNothing) {
  auto& log = DiagnosticLogBuffer::shared();
  {
    // The log is busy: the ring is skipped, the line still reaches the file.
    LockHolder busy(DiagnosticLogBufferTestAccess::lock(log));
    CrashCapture::record("fatal signal 11 (Segmentation fault)\n  reason password=hunter2");
  }
  EXPECT_TRUE(log.logBufferJSON().empty());
  EXPECT_EQ(contents(logFile()),
            "2027-01-15T08:00:00.000Z [ERROR] crash: fatal signal 11 (Segmentation fault)\n"
            "  reason <redacted>\n");
  // A crash creates no telemetry client of its own (a review run has none).
  EXPECT_FALSE(voskary::ErrorFirehoseClient::tryShared());
}

// Each crash runs in a forked child; the parent reads what the child left in the log file.
class CrashCaptureDeathTest : public DiagnosticsTest {
  platform::testing::NoCoreDumps noCoreDumps_;
};

// A store to a page that may not be written: a genuine fault, which the sanitizers do not
// intercept the way they would a null store.
void writeToAForbiddenPage() {
  void* page = mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (page == MAP_FAILED) std::_Exit(2);
  *static_cast<volatile int*>(page) = 1;
}

int recurseForever(int depth) {
  volatile char frame[512];
  frame[0] = static_cast<char>(depth);
  if (depth < 0) return 0;
  return recurseForever(depth + 1) + frame[0];
}

void throwFromAThread() {
  std::thread([] { throw std::runtime_error("boom token=abc"); }).join();
}

TEST_F(CrashCaptureDeathTest, ASegmentationFaultIsRecordedOnceBeforeTheProcessDies) {
  EXPECT_EXIT(
      {
        CrashCapture::install();
        CrashCapture::install();
        writeToAForbiddenPage();
      },
      ::testing::KilledBySignal(SIGSEGV), "");
  const auto log = contents(logFile());
  EXPECT_EQ(occurrences(log, "[ERROR] crash: fatal signal 11 (Segmentation fault)\n  "), 1u) << log;
  // Every frame line is indented and names its module without a path.
  const auto frames = log.substr(log.find('\n'));
  EXPECT_EQ(frames.find('/'), std::string::npos) << log;
  EXPECT_GT(occurrences(frames, "\n  "), 2u) << log;
}

TEST_F(CrashCaptureDeathTest, AnUncaughtExceptionIsRecordedThenTheAbortToo) {
  EXPECT_EXIT(
      {
        CrashCapture::install();
        throwFromAThread();
      },
      ::testing::KilledBySignal(SIGABRT), "");
  const auto log = contents(logFile());
  const auto exception = log.find(
      "[ERROR] crash: uncaught NSException name=std::runtime_error reason=boom <redacted>\n  ");
  const auto abort = log.find("[ERROR] crash: fatal signal 6 (Aborted)\n  ");
  ASSERT_NE(exception, std::string::npos) << log;
  ASSERT_NE(abort, std::string::npos) << log;
  EXPECT_LT(exception, abort);
}

TEST_F(CrashCaptureDeathTest, EverySignalInTheListIsRecordedAndEndsTheProcessWithIt) {
  const std::vector<std::pair<int, void (*)()>> cases = {
      {SIGABRT, [] { std::abort(); }},
      {SIGILL, [] { std::raise(SIGILL); }},
      {SIGFPE, [] { std::raise(SIGFPE); }},
      {SIGBUS, [] { std::raise(SIGBUS); }},
      {SIGPIPE,
       [] {
         int ends[2];
         if (pipe(ends) != 0) std::_Exit(2);
         close(ends[0]);
         [[maybe_unused]] auto ignored = write(ends[1], "x", 1);
       }},
      {SIGTRAP, [] { std::raise(SIGTRAP); }},
  };
  for (const auto& [signal, crash] : cases) {
    EXPECT_EXIT(
        {
          CrashCapture::install();
          crash();
        },
        ::testing::KilledBySignal(signal), "")
        << signal;
    const std::string expected = "[ERROR] crash: fatal signal " + std::to_string(signal) + " (" +
                                 sigdescr_np(signal) + ")\n  ";
    EXPECT_EQ(occurrences(contents(logFile()), expected), 1u) << expected;
  }
}

TEST_F(CrashCaptureDeathTest, AStackOverflowIsRecordedOnTheAlternateStack) {
  EXPECT_EXIT(
      {
        CrashCapture::install();
        recurseForever(1);
      },
      ::testing::KilledBySignal(SIGSEGV), "");
  EXPECT_NE(contents(logFile()).find("[ERROR] crash: fatal signal 11 (Segmentation fault)"),
            std::string::npos);
}

TEST_F(CrashCaptureDeathTest, ACrashWhileAnotherThreadHoldsTheLogLockStillReachesTheFile) {
  EXPECT_EXIT(
      {
        CrashCapture::install();
        static LockHolder* busy =
            new LockHolder(DiagnosticLogBufferTestAccess::lock(DiagnosticLogBuffer::shared()));
        (void)busy;
        writeToAForbiddenPage();
      },
      ::testing::KilledBySignal(SIGSEGV), "");
  EXPECT_NE(contents(logFile()).find("[ERROR] crash: fatal signal 11 (Segmentation fault)"),
            std::string::npos);
}

TEST_F(CrashCaptureDeathTest, TheWatchdogEndsAHungRecordingWithTheCrashSignal) {
  EXPECT_EXIT(
      {
        CrashCapture::install();
        CrashCapture::setWatchdogMilliseconds(100);
        CrashCapture::setSignalForwarder([](std::string_view) noexcept {
          for (;;) pause();
        });
        writeToAForbiddenPage();
      },
      ::testing::KilledBySignal(SIGSEGV), "");
  // The entry was written before the hand-over to telemetry hung.
  EXPECT_NE(contents(logFile()).find("[ERROR] crash: fatal signal 11 (Segmentation fault)"),
            std::string::npos);
}

TEST_F(CrashCaptureDeathTest, TheSignalPathHandsTheMessageToTelemetryBeforeTheSync) {
  EXPECT_EXIT(
      {
        CrashCapture::install();
        CrashCapture::setSignalForwarder([](std::string_view message) noexcept {
          // What a signal-safe forwarder may do: write the bytes somewhere.
          [[maybe_unused]] auto written = write(STDERR_FILENO, message.data(), message.size());
        });
        writeToAForbiddenPage();
      },
      ::testing::KilledBySignal(SIGSEGV), "fatal signal 11 \\(Segmentation fault\\)\n  ");
}

// A stack overflow on a thread the runtime started: that thread has an alternate stack of its
// own, so the handler can run there.
TEST_F(CrashCaptureDeathTest, AStackOverflowOnAPoolThreadIsRecorded) {
  EXPECT_EXIT(
      {
        CrashCapture::install();
        static auto* pool = new platform::ThreadPool(1);
        pool->post([] { recurseForever(1); });
        for (;;) pause();
      },
      ::testing::KilledBySignal(SIGSEGV), "");
  EXPECT_NE(contents(logFile()).find("[ERROR] crash: fatal signal 11 (Segmentation fault)"),
            std::string::npos);
}

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
// Frees one block twice where the C library notices it while holding its allocator's lock, and
// aborts from there: a crash handler that allocated would wait for that lock forever.
void doubleFreeUnderTheAllocatorsLock() {
  // A second thread makes the allocator take its locks.
  std::thread([] {}).join();
  constexpr std::size_t size = 600;  // past the fast bins
  void* keep[8];
  void* cached[7];
  for (auto& p : keep) p = std::malloc(size);
  for (auto& p : cached) p = std::malloc(size);
  void* volatile victim = std::malloc(size);
  void* guard = std::malloc(size);      // so the victim is not merged into the top chunk
  for (auto* p : cached) std::free(p);  // fills the per-thread cache
  std::free(victim);
  std::free(victim);
  (void)keep;
  (void)guard;
}

TEST_F(CrashCaptureDeathTest, ACrashInsideTheAllocatorIsRecorded) {
  EXPECT_EXIT(
      {
        CrashCapture::install();
        // Were the handler to wait for the allocator, only the watchdog would end it.
        CrashCapture::setWatchdogMilliseconds(2000);
        doubleFreeUnderTheAllocatorsLock();
      },
      ::testing::KilledBySignal(SIGABRT), "");
  EXPECT_NE(contents(logFile()).find("[ERROR] crash: fatal signal 6 (Aborted)\n  "),
            std::string::npos)
      << contents(logFile());
}
#endif

}  // namespace
}  // namespace flagrig
