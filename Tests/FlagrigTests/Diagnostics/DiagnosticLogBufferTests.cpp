#include "Flagrig/Diagnostics/DiagnosticLogBuffer.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <map>
#include <set>
#include <sstream>
#include <thread>

#include "DiagnosticsTest.h"
#include "Platform/Foundation/JSONDecoder.h"
#include "Platform/Foundation/JSONEncoder.h"

namespace flagrig {
namespace {

namespace fs = std::filesystem;
using platform::SystemLogType;
using platform::Value;

// An error whose description is empty.
struct SilentError : std::exception {
  const char* what() const noexcept override { return ""; }
};

std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

const std::string& str(const Value& dictionary, const char* key) {
  return *dictionary.find(key)->asString();
}

using DiagnosticLogBufferTest = DiagnosticsTest;

TEST_F(DiagnosticLogBufferTest, AnEntryReachesTheRingTheFileAndTheSystemLogRedacted) {
  auto& log = DiagnosticLogBuffer::shared();
  ASSERT_EQ(log.logFileURL(), logFile());

  log.add("info", "lifecycle", "signed in as alice@example.com token=abc");
  std::runtime_error failure("refused for /home/alice/secret.txt");
  log.add("error", "auth", "exchange failed", &failure);

  const auto ring = log.logBufferJSON();
  ASSERT_EQ(ring.size(), 2u);
  EXPECT_EQ(ring[0],
            Value(Value::Dictionary{{"ts", "2027-01-15T08:00:00.000Z"},
                                    {"level", "info"},
                                    {"category", "lifecycle"},
                                    {"msg", "signed in as x****@example.com <redacted>"}}));
  EXPECT_EQ(str(ring[1], "exception_type"), "runtime_error");
  EXPECT_EQ(str(ring[1], "exception_message"), "refused for /home/<redacted>");

  EXPECT_EQ(contents(logFile()),
            "2027-01-15T08:00:00.000Z [INFO] lifecycle: signed in as x****@example.com <redacted>\n"
            "2027-01-15T08:00:00.000Z [ERROR] auth: exchange failed | runtime_error: refused for "
            "/home/<redacted>\n");

  using Entry = platform::sim::SimSystemLog::Entry;
  EXPECT_EQ(
      sim().systemLog->entries(),
      (std::vector<Entry>{
          {"dev.voskary.flagrig", "diagnostics", SystemLogType::info,
           "[lifecycle] signed in as x****@example.com <redacted>"},
          {"dev.voskary.flagrig", "diagnostics", SystemLogType::error, "[auth] exchange failed"},
      }));
}

TEST_F(DiagnosticLogBufferTest, LevelsChooseTheSystemLogTypeAndAreWrittenUpperCased) {
  DiagnosticLogBuffer::setVerboseEnabled(true);
  const std::vector<std::tuple<std::string, SystemLogType, std::string>> cases = {
      {"error", SystemLogType::error, "[ERROR]"},  {"warn", SystemLogType::defaultType, "[WARN]"},
      {"debug", SystemLogType::debug, "[DEBUG]"},  {"info", SystemLogType::info, "[INFO]"},
      {"notice", SystemLogType::info, "[NOTICE]"}, {"straße", SystemLogType::info, "[STRASSE]"},
  };
  auto& log = DiagnosticLogBuffer::shared();
  for (const auto& [level, type, word] : cases) log.add(level, "settings", "m");

  const auto mirrored = sim().systemLog->entries();
  const auto lines = linesOf(contents(logFile()));
  const auto ring = log.logBufferJSON();
  ASSERT_EQ(mirrored.size(), cases.size());
  ASSERT_EQ(lines.size(), cases.size());
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const auto& [level, type, word] = cases[i];
    EXPECT_EQ(mirrored[i].type, type) << level;
    EXPECT_NE(lines[i].find(" " + word + " settings: m"), std::string::npos) << lines[i];
    EXPECT_EQ(str(ring[i], "level"), level);
  }

  // A disabled type is not mirrored; the entry is still kept.
  sim().systemLog->setEnabled(SystemLogType::info, false);
  log.add("info", "settings", "quiet");
  EXPECT_EQ(sim().systemLog->entries().size(), cases.size());
  EXPECT_EQ(log.logBufferJSON().size(), cases.size() + 1);
}

TEST_F(DiagnosticLogBufferTest, AnErrorWithAnEmptyDescriptionKeepsBothFields) {
  auto& log = DiagnosticLogBuffer::shared();
  SilentError silent;
  log.add("warn", "consent", "capture failed", &silent);

  EXPECT_EQ(contents(logFile()),
            "2027-01-15T08:00:00.000Z [WARN] consent: capture failed | SilentError: \n");
  const auto ring = log.logBufferJSON();
  EXPECT_EQ(str(ring[0], "exception_type"), "SilentError");
  EXPECT_EQ(str(ring[0], "exception_message"), "");
}

TEST_F(DiagnosticLogBufferTest, DebugEntriesNeedVerboseLoggingWhichEndsAfterOneDay) {
  auto& log = DiagnosticLogBuffer::shared();
  auto debugCount = [&] {
    std::size_t n = 0;
    for (const auto& e : log.logBufferJSON()) n += str(e, "level") == "debug";
    return n;
  };

  log.add("debug", "auth", "before");
  EXPECT_EQ(debugCount(), 0u);
  EXPECT_FALSE(fs::exists(logFile()));
  EXPECT_TRUE(sim().systemLog->entries().empty());

  DiagnosticLogBuffer::setVerboseEnabled(true);
  log.add("debug", "auth", "on");
  advance(86'400);
  log.add("debug", "auth", "at exactly one day");
  EXPECT_EQ(debugCount(), 2u);
  EXPECT_TRUE(DiagnosticLogBuffer::isVerboseEnabled());

  advance(1);
  log.add("debug", "auth", "one second later");
  EXPECT_EQ(debugCount(), 2u);
  EXPECT_FALSE(DiagnosticLogBuffer::isVerboseEnabled());
  // Other levels are never filtered.
  log.add("info", "auth", "still here");
  EXPECT_EQ(log.logBufferJSON().size(), 3u);

  DiagnosticLogBuffer::setVerboseEnabled(true);
  DiagnosticLogBuffer::setVerboseEnabled(false);
  log.add("debug", "auth", "off again");
  EXPECT_EQ(debugCount(), 2u);
}

TEST_F(DiagnosticLogBufferTest, TheRingKeepsTheNewestEntriesOldestFirst) {
  auto& log = DiagnosticLogBuffer::shared();
  for (int i = 1; i <= 201; ++i) log.add("info", "lifecycle", "entry " + std::to_string(i));
  const auto ring = log.logBufferJSON();
  ASSERT_EQ(ring.size(), 200u);
  EXPECT_EQ(str(ring.front(), "msg"), "entry 2");
  EXPECT_EQ(str(ring.back(), "msg"), "entry 201");
  // The file keeps everything.
  EXPECT_EQ(linesOf(contents(logFile())).size(), 201u);

  DiagnosticLogBuffer tiny(0, std::nullopt);
  EXPECT_EQ(tiny.capacity(), 1u);
  EXPECT_TRUE(tiny.logBufferJSON().empty());
  tiny.add("info", "a", "one");
  tiny.add("info", "a", "two");
  ASSERT_EQ(tiny.logBufferJSON().size(), 1u);
  EXPECT_EQ(str(tiny.logBufferJSON()[0], "msg"), "two");
}

TEST_F(DiagnosticLogBufferTest, TheFileRotatesAtTwoMebibytesIntoOneOlderGeneration) {
  auto& log = DiagnosticLogBuffer::shared();
  const fs::path older = logFile().string() + ".1";
  const std::string line = "2027-01-15T08:00:00.000Z [INFO] lifecycle: next\n";

  // One byte short of the limit: appended to.
  std::ofstream(logFile(), std::ios::binary) << std::string(2'097'151, 'a');
  log.add("info", "lifecycle", "next");
  EXPECT_EQ(fs::file_size(logFile()), 2'097'151 + line.size());
  EXPECT_FALSE(fs::exists(older));

  // At the limit: moved aside, replacing the older generation, and a fresh file begins.
  std::ofstream(older, std::ios::binary) << "previous generation";
  std::ofstream(logFile(), std::ios::binary | std::ios::trunc) << std::string(2'097'152, 'b');
  log.add("info", "lifecycle", "next");
  EXPECT_EQ(contents(logFile()), line);
  EXPECT_EQ(fs::file_size(older), 2'097'152u);
  EXPECT_EQ(contents(older).substr(0, 1), "b");
}

TEST_F(DiagnosticLogBufferTest, FileFailuresLoseNoEarlierLinesAndNeverReachTheCaller) {
  // Lines already in the file survive: appending never truncates.
  std::ofstream(logFile(), std::ios::binary) << "earlier line\n";
  DiagnosticLogBuffer::shared().add("info", "lifecycle", "later");
  EXPECT_EQ(linesOf(contents(logFile())).front(), "earlier line");
  EXPECT_EQ(linesOf(contents(logFile())).size(), 2u);

  // A log path that cannot be opened as a file: the ring and the system log still get it.
  const fs::path blocked = folder.path() / "blocked";
  fs::create_directories(blocked / "keep");
  DiagnosticLogBuffer log(10, blocked);
  EXPECT_NO_THROW(log.add("error", "lifecycle", "kept in memory"));
  EXPECT_NO_THROW(log.flushSync());
  EXPECT_EQ(log.logBufferJSON().size(), 1u);
  EXPECT_TRUE(fs::is_directory(blocked / "keep"));

  // No log folder at all: only the file is missing.
  sim().files->setLogsDirectory(std::nullopt);
  DiagnosticLogBuffer withoutFolder;
  EXPECT_FALSE(withoutFolder.logFileURL());
  withoutFolder.add("info", "lifecycle", "memory only");
  EXPECT_EQ(withoutFolder.logBufferJSON().size(), 1u);

  // A log folder that cannot be created (a file is in the way): the same.
  std::ofstream(folder.path() / "in-the-way") << "x";
  sim().files->setLogsDirectory(folder.path() / "in-the-way");
  EXPECT_FALSE(DiagnosticLogBuffer().logFileURL());

  // Synchronising a file that does not exist does not create it.
  DiagnosticLogBuffer missing(10, folder.path() / "missing.log");
  missing.flushSync();
  EXPECT_FALSE(fs::exists(folder.path() / "missing.log"));
}

// What another process may have placed at the log file's path: a FIFO would block every thread
// that logs (the log's lock is held while the file is written), and a link would send the
// lines to a file of someone else's choosing. Neither is written; the ring and the system log
// still get the entry.
TEST_F(DiagnosticLogBufferTest, OnlyARegularFileIsWrittenAndNothingBlocks) {
  const fs::path victim = folder.path() / "victim";
  std::ofstream(victim) << "precious\n";
  const std::vector<std::pair<std::string, std::function<void()>>> planted = {
      {"fifo", [&] { ASSERT_EQ(::mkfifo(logFile().c_str(), 0600), 0); }},
      {"link", [&] { fs::create_symlink(victim, logFile()); }},
      {"dangling link", [&] { fs::create_symlink(folder.path() / "nowhere", logFile()); }},
  };
  for (const auto& [name, plant] : planted) {
    fs::remove(logFile());
    plant();
    DiagnosticLogBuffer log(10, logFile());
    auto added = std::async(std::launch::async, [&] {
      log.add("error", "lifecycle", "kept in memory");
      log.flushSync();
    });
    if (added.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
      ADD_FAILURE() << name << ": logging blocked";
      // Lets the blocked writer go, so the test can end.
      int reader = ::open(logFile().c_str(), O_RDONLY | O_NONBLOCK);
      added.wait();
      ::close(reader);
    }
    EXPECT_EQ(log.logBufferJSON().size(), 1u) << name;
    EXPECT_EQ(contents(victim), "precious\n") << name;
    EXPECT_FALSE(fs::exists(folder.path() / "nowhere")) << name;
    EXPECT_FALSE(fs::is_regular_file(fs::symlink_status(logFile()))) << name;
  }
  EXPECT_EQ(sim().systemLog->entries().size(), planted.size());
}

// The log is where failures go, so a log file that cannot be written (a folder in its place, a
// full disk) is said on stderr: once, and again only after it has worked in between.
TEST_F(DiagnosticLogBufferTest, AnUnwritableLogFileIsSaidOnceOnStandardError) {
  auto count = [](const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
  };
  const std::string failure = "flagrig: cannot write the log file " + logFile().string();
  fs::create_directories(logFile() / "in-the-way");
  DiagnosticLogBuffer log(10, logFile());
  ::testing::internal::CaptureStderr();
  log.add("info", "lifecycle", "one");
  log.add("info", "lifecycle", "two");
  auto said = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(count(said, failure + " ("), 1u) << said;

  fs::remove_all(logFile());
  ::testing::internal::CaptureStderr();
  log.add("info", "lifecycle", "three");
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");

  // A file that may grow no further fails as a full disk does. (Grown first, so that the
  // captured stderr stays well below the limit.)
  std::ofstream(logFile(), std::ios::app) << std::string(65536, '.') << "\n";
  rlimit old{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
  auto previous = std::signal(SIGXFSZ, SIG_IGN);
  rlimit full = old;
  full.rlim_cur = fs::file_size(logFile());
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &full), 0);
  ::testing::internal::CaptureStderr();
  log.add("info", "lifecycle", "four");
  log.add("info", "lifecycle", "five");
  ::setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, previous);
  said = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(count(said, failure + " ("), 1u) << said;
  EXPECT_EQ(log.logBufferJSON().size(), 5u);

  // A log folder that cannot be made is said too.
  std::ofstream(folder.path() / "a-file") << "x";
  sim().files->setLogsDirectory(folder.path() / "a-file");
  ::testing::internal::CaptureStderr();
  DiagnosticLogBuffer withoutFolder;
  said = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(said.find("flagrig: cannot make the log folder"), std::string::npos) << said;
}

TEST_F(DiagnosticLogBufferTest, ConcurrentWritersLeaveTheFileInRingOrder) {
  constexpr int threads = 8;
  constexpr int perThread = 250;
  DiagnosticLogBuffer log(threads * perThread, logFile());
  std::vector<std::thread> writers;
  for (int t = 0; t < threads; ++t)
    writers.emplace_back([&log, t] {
      for (int i = 0; i < perThread; ++i)
        log.add("info", "lifecycle", "writer " + std::to_string(t) + " line " + std::to_string(i));
    });
  for (auto& w : writers) w.join();

  const auto ring = log.logBufferJSON();
  const auto lines = linesOf(contents(logFile()));
  ASSERT_EQ(ring.size(), std::size_t{threads * perThread});
  ASSERT_EQ(lines.size(), ring.size());
  std::map<std::string, int> lastLine;
  for (std::size_t i = 0; i < ring.size(); ++i) {
    const auto& msg = str(ring[i], "msg");
    ASSERT_EQ(lines[i], "2027-01-15T08:00:00.000Z [INFO] lifecycle: " + msg) << i;
    // Each writer's lines keep their own order too.
    const auto writer = msg.substr(0, msg.find(" line "));
    const int n = std::stoi(msg.substr(msg.find(" line ") + 6));
    EXPECT_EQ(n, lastLine.contains(writer) ? lastLine[writer] + 1 : 0);
    lastLine[writer] = n;
  }
}

TEST(DiagnosticLogEntryTest, CodedFormAndReportDictionaryUseTheirOwnKeys) {
  const DiagnosticLogEntry plain{"2027-01-15T08:00:00.000Z", "info", "lifecycle", "hi", {}, {}};
  const DiagnosticLogEntry failed{
      "2027-01-15T08:00:00.000Z", "error", "auth", "no", "VoskaryError", "expired"};
  platform::JSONEncoder encoder({.sortedKeys = true});
  EXPECT_EQ(
      encoder.encode(plain),
      R"({"category":"lifecycle","level":"info","msg":"hi","ts":"2027-01-15T08:00:00.000Z"})");
  EXPECT_EQ(encoder.encode(failed),
            R"({"category":"auth","exceptionMessage":"expired","exceptionType":"VoskaryError",)"
            R"("level":"error","msg":"no","ts":"2027-01-15T08:00:00.000Z"})");
  platform::JSONDecoder decoder;
  EXPECT_EQ(decoder.decode<DiagnosticLogEntry>(encoder.encode(failed)), failed);
  EXPECT_EQ(decoder.decode<DiagnosticLogEntry>(encoder.encode(plain)), plain);

  const auto object = failed.jsonObject();
  EXPECT_EQ(str(object, "exception_type"), "VoskaryError");
  EXPECT_EQ(str(object, "exception_message"), "expired");
  EXPECT_EQ(object.asDictionary()->size(), 6u);
  EXPECT_EQ(plain.jsonObject().asDictionary()->size(), 4u);
}

}  // namespace
}  // namespace flagrig
