// Crash capture's hand-over to error telemetry: the event of an uncaught exception is captured
// by the process's client, and a fatal signal's message reaches the client's signal-safe entry,
// each before the process dies.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <stdexcept>

#include "DiagnosticsTest.h"
#include "Flagrig/Diagnostics/CrashCapture.h"
#include "Platform/Foundation/JSONSerialization.h"
#include "Support/NoCoreDumps.h"
#include "VoskaryAccount/Telemetry/ErrorFirehoseClient.h"

namespace flagrig {
namespace {

using platform::sim::SimHTTPAnswer;
using voskary::ErrorFirehoseClient;

constexpr std::string_view serviceBase = "https://account.example.test";
constexpr std::string_view batchURL = "https://account.example.test/api/error-events";

class CrashTelemetryTest : public DiagnosticsTest {
 public:
  void runForChild(double seconds) {
    advance(seconds);
    runUntilIdle();
  }

 protected:
  // What the child leaves behind for the parent to read.
  std::filesystem::path recording() const { return folder.path() / "recording"; }

  static void configureTelemetry() {
    auto& telemetry = ErrorFirehoseClient::shared();
    telemetry.configure("flagrig", "macos", "1.0", "14.5.0", "install-1",
                        platform::URL(serviceBase), nullptr);
    telemetry.start();
  }
};

TEST_F(CrashTelemetryTest, TheExceptionPathHandsTheRedactedEventToTheClient) {
  sim().http->respond("POST", std::string(batchURL), SimHTTPAnswer::status(202));
  configureTelemetry();
  CrashCapture::record("uncaught NSException name=E reason=token=abc\n  frame");
  advance(ErrorFirehoseClient::flushIntervalSeconds);
  const auto requests = sim().http->requests();
  ASSERT_EQ(requests.size(), 1u);
  const auto& bytes = *requests[0].request.httpBody;
  const auto batch = platform::JSONSerialization::parse(
      std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
  ASSERT_EQ(batch["events"].size(), 1u);
  EXPECT_EQ(batch["events"][0]["severity"], "error");
  EXPECT_EQ(batch["events"][0]["category"], "crash");
  EXPECT_EQ(batch["events"][0]["message_template"],
            "uncaught nsexception name=e reason=<redacted> frame: category=crash");
}

TEST_F(CrashTelemetryTest, TheSignalSafeEntryKeepsTheStartOfTheMessage) {
  ErrorFirehoseClient::observeCrashFromSignal("fatal signal 6 (Aborted)");
  EXPECT_EQ(ErrorFirehoseClient::crashFromSignal(), "fatal signal 6 (Aborted)");
  const std::string longer(ErrorFirehoseClient::maxCrashBytes + 10, 'f');
  ErrorFirehoseClient::observeCrashFromSignal(longer);
  EXPECT_EQ(ErrorFirehoseClient::crashFromSignal(),
            longer.substr(0, ErrorFirehoseClient::maxCrashBytes));
}

class CrashTelemetryDeathTest : public CrashTelemetryTest {
  platform::testing::NoCoreDumps noCoreDumps_;
};

// The test's own path out of the child: the ending that crash capture hands on to once it has
// recorded, which sends what telemetry holds to the simulated service (whose answer writes
// the batch to the recording) and then aborts as the runtime would.
CrashTelemetryTest* dyingTest = nullptr;
void flushTelemetryThenAbort() {
  dyingTest->runForChild(ErrorFirehoseClient::flushIntervalSeconds);
  std::abort();
}

[[noreturn]] void throwSecret() {
  throw std::runtime_error("sync failed password=hunter2");
}
// Uncaught on the test's own thread: the runtime ends the process from here.
void throwThroughNoexcept() noexcept {
  throwSecret();
}

TEST_F(CrashTelemetryDeathTest, AnUncaughtExceptionIsCapturedByTelemetryBeforeTheProcessDies) {
  const std::string file = recording().string();
  sim().http->respond("POST", std::string(batchURL), [file](const platform::HTTPRequest& r) {
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    [[maybe_unused]] auto written = ::write(fd, r.httpBody->data(), r.httpBody->size());
    ::close(fd);
    return SimHTTPAnswer::status(202);
  });
  EXPECT_EXIT(
      {
        configureTelemetry();
        dyingTest = this;
        std::set_terminate(flushTelemetryThenAbort);
        CrashCapture::install();
        throwThroughNoexcept();
      },
      ::testing::KilledBySignal(SIGABRT), "");
  const auto batch = platform::JSONSerialization::parse(contents(recording()));
  ASSERT_EQ(batch["events"].size(), 1u) << batch.dump();
  const std::string captured = batch["events"][0]["message_template"];
  EXPECT_EQ(batch["events"][0]["category"], "crash");
  EXPECT_TRUE(captured.starts_with(
      "uncaught nsexception name=std::runtime_error reason=sync failed <redacted> "))
      << captured;
}

// Written from the signal path: only what is safe there.
int recordingDescriptor = -1;
void recordWhatTelemetryKept(std::string_view message) noexcept {
  ErrorFirehoseClient::observeCrashFromSignal(message);
  const auto kept = ErrorFirehoseClient::crashFromSignal();
  [[maybe_unused]] auto written = ::write(recordingDescriptor, kept.data(), kept.size());
}

void writeToAForbiddenPage() {
  void* page = mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (page == MAP_FAILED) std::_Exit(2);
  *static_cast<volatile int*>(page) = 1;
}

TEST_F(CrashTelemetryDeathTest, InstallHandsFatalSignalsToTelemetrysSignalSafeEntry) {
  EXPECT_EXIT(
      {
        CrashCapture::install();
        std::_Exit(CrashCapture::currentSignalForwarder() ==
                           &ErrorFirehoseClient::observeCrashFromSignal
                       ? 0
                       : 1);
      },
      ::testing::ExitedWithCode(0), "");
  EXPECT_EXIT(
      {
        CrashCapture::install();
        recordingDescriptor = ::open(recording().c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        CrashCapture::setSignalForwarder(recordWhatTelemetryKept);
        writeToAForbiddenPage();
      },
      ::testing::KilledBySignal(SIGSEGV), "");
  EXPECT_TRUE(contents(recording()).starts_with("fatal signal 11 (Segmentation fault)\n  "))
      << contents(recording());
}

}  // namespace
}  // namespace flagrig
