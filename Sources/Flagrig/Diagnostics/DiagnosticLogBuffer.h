#pragma once

#include <cstdint>
#include <deque>
#include <exception>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "Flagrig/Diagnostics/DiagnosticLogEntry.h"
#include "Platform/Foundation/SystemLogger.h"
#include "Platform/Foundation/Value.h"

namespace flagrig {

// The one diagnostic log of the process: the newest entries in a bounded ring (what a
// diagnostic report carries), one line per entry appended to a log file with one older
// generation, and a mirror in the system log. Messages and error descriptions are redacted
// before they are stored anywhere. Debug entries are kept only while verbose logging is on,
// and verbose logging switches itself off after 24 hours.
//
// `add` may be called from any thread. The ring and the file are written under one lock, so
// the file holds the lines in ring order; the verbose state has a lock of its own, never held
// together with it.
//
// The log file is opened for each line without following a link and without waiting (a FIFO
// planted there would block every thread that logs), and only a regular file is written;
// otherwise the ring and the system log still get the entry. The shared log also keeps a
// descriptor of its file open for the crash path, which may neither open files nor lock.
class DiagnosticLogBuffer {
 public:
  static constexpr std::size_t sharedCapacity = 200;
  static constexpr std::uintmax_t rotationSize = 2'097'152;
  static constexpr double verboseLifetime = 86'400;
  static constexpr std::string_view systemLogSubsystem = "dev.voskary.flagrig";
  static constexpr std::string_view systemLogCategory = "diagnostics";
  static constexpr std::string_view logFolderName = "Flagrig";
  static constexpr std::string_view logFileName = "flagrig.log";

  static DiagnosticLogBuffer& shared();
  // For crash handlers: the shared log, or null when it is being created or reset by another
  // thread at this moment.
  static std::shared_ptr<DiagnosticLogBuffer> tryShared();

  // The shared log's set-up: 200 entries, the log file in the environment's log folder.
  DiagnosticLogBuffer();
  // At least one entry; no file is written without `logFile`.
  DiagnosticLogBuffer(std::size_t capacity, std::optional<std::filesystem::path> logFile);

  ~DiagnosticLogBuffer();
  DiagnosticLogBuffer(const DiagnosticLogBuffer&) = delete;
  DiagnosticLogBuffer& operator=(const DiagnosticLogBuffer&) = delete;

  // Records one entry. `level` is stored as given ("debug", "info", "warn" or "error"); a
  // "debug" entry is dropped unless verbose logging is on. Never fails.
  void add(std::string_view level, std::string_view category, std::string_view message,
           const std::exception* error = nullptr);

  // The crash handlers' variant of an "error" entry: never waits for the lock. When another
  // thread (or the crashing one) holds it, the ring is skipped and the line is appended to
  // the file directly.
  void addFromCrashHandler(std::string_view category, std::string_view message);

  // Verbose logging for every log of the process; lives in memory only.
  static void setVerboseEnabled(bool on);
  static bool isVerboseEnabled();
  // The same, after ending verbose logging when its 24 hours are over: what a screen that
  // shows the state reads.
  static bool isVerboseEnabledAfterExpiry();

  // The ring as the diagnostic report's dictionaries, oldest first.
  platform::Value::Array logBufferJSON() const;

  // Asks the system to put the log file on disk. Takes no lock; failures are ignored.
  void flushSync() const;

  // For crash capture's set-up: opens (creating it when missing) the shared log's file for
  // the crash path, so that a crash before the first line still has a file to reach.
  void prepareCrashFile();
  // The crash path of a fatal signal: appends "<now> [ERROR] <category>: <message>" to the
  // shared log's file and puts it on disk. Async-signal-safe: no allocation, no lock, no
  // opening of files; nothing happens when the shared log has no file.
  static void appendFromSignalHandler(std::string_view category, std::string_view message);
  static void flushFromSignalHandler();

  const std::optional<std::filesystem::path>& logFileURL() const { return logFile_; }
  std::size_t capacity() const { return capacity_; }

 private:
  friend struct DiagnosticLogBufferTestAccess;

  struct Recorded {
    DiagnosticLogEntry entry;
    std::string line;
  };
  Recorded makeEntry(std::string_view level, std::string_view category, std::string_view message,
                     const std::exception* error) const;
  void appendLocked(Recorded recorded);
  void writeLineLocked(const std::string& line);
  bool appendToFile(std::string_view bytes) const;
  void mirror(const DiagnosticLogEntry& entry) const;

  mutable std::mutex lock_;
  std::deque<DiagnosticLogEntry> entries_;
  std::size_t capacity_;
  platform::SystemLogger osLog_{std::string(systemLogSubsystem), std::string(systemLogCategory)};
  std::optional<std::filesystem::path> logFile_;
  // The file's path as plain bytes, for the crash path.
  std::string logFilePath_;
  // The shared log keeps the crash path's descriptor on the file it last appended to.
  bool feedsCrashPath_ = false;
  // A file that cannot be written is said once on stderr, and again only after it worked.
  mutable bool saidFileFailure_ = false;
};

}  // namespace flagrig
