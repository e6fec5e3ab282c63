#include "Flagrig/Diagnostics/DiagnosticLogBuffer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "Flagrig/Diagnostics/DiagnosticRedaction.h"
#include "Flagrig/Diagnostics/TypeNames.h"
#include "Platform/Foundation/Clock.h"
#include "Platform/Foundation/DateFormats.h"
#include "Platform/Foundation/Environment.h"
#include "Platform/Foundation/FileLocations.h"
#include "Platform/Foundation/SharedInstance.h"
#include "Platform/Foundation/UnicodeText.h"

namespace flagrig {

namespace {

// Verbose mode: process-wide, in memory only, off at every launch.
struct VerboseState {
  std::mutex lock;
  std::string minimumLevel = "info";
  std::optional<platform::Date> enabledAt;
};

VerboseState& verboseState() {
  // Never destroyed: entries may still be logged while the process exits.
  static VerboseState* state = [] {
    auto* s = new VerboseState;
    platform::registerSharedInstanceReset([] { DiagnosticLogBuffer::setVerboseEnabled(false); });
    return s;
  }();
  return *state;
}

platform::Date now() {
  if (platform::hasEnvironment() && platform::env().clock) return platform::env().clock->now();
  return platform::SystemClock().now();
}

// Appends with one write(2) where it can, so that a line is never left in a user-space buffer
// and concurrent writers (another instance of the app) cannot interleave inside it. Creates
// the file when missing and never truncates it.
bool appendToFile(const std::string& path, std::string_view bytes) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  bool ok = true;
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      ok = false;
      break;
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  ::close(fd);
  return ok;
}

// "Flagrig/flagrig.log" in the user's log folder, the folder created when missing; nothing
// when there is no log folder or it cannot be created.
std::optional<std::filesystem::path> locateLogFile() {
  if (!platform::hasEnvironment() || !platform::env().files) return std::nullopt;
  auto logs = platform::env().files->logsDirectory();
  if (!logs) return std::nullopt;
  const auto folder = *logs / DiagnosticLogBuffer::logFolderName;
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (error) return std::nullopt;
  return folder / DiagnosticLogBuffer::logFileName;
}

platform::SharedInstance<DiagnosticLogBuffer>& sharedSlot() {
  static auto* slot = new platform::SharedInstance<DiagnosticLogBuffer>;
  return *slot;
}

}  // namespace

DiagnosticLogBuffer& DiagnosticLogBuffer::shared() {
  return sharedSlot().get();
}

std::shared_ptr<DiagnosticLogBuffer> DiagnosticLogBuffer::tryShared() {
  return sharedSlot().tryPointer();
}

DiagnosticLogBuffer::DiagnosticLogBuffer() : DiagnosticLogBuffer(sharedCapacity, locateLogFile()) {}

DiagnosticLogBuffer::DiagnosticLogBuffer(std::size_t capacity,
                                         std::optional<std::filesystem::path> logFile)
    : capacity_(capacity < 1 ? 1 : capacity), logFile_(std::move(logFile)) {
  if (logFile_) logFilePath_ = logFile_->string();
}

void DiagnosticLogBuffer::setVerboseEnabled(bool on) {
  auto& verbose = verboseState();
  std::lock_guard guard(verbose.lock);
  verbose.minimumLevel = on ? "debug" : "info";
  verbose.enabledAt = on ? std::optional(now()) : std::nullopt;
}

bool DiagnosticLogBuffer::isVerboseEnabled() {
  auto& verbose = verboseState();
  std::lock_guard guard(verbose.lock);
  return verbose.minimumLevel == "debug";
}

void DiagnosticLogBuffer::add(std::string_view level, std::string_view category,
                              std::string_view message, const std::exception* error) {
  if (level == "debug") {
    auto& verbose = verboseState();
    std::lock_guard guard(verbose.lock);
    // Checked only when a debug entry arrives; there is no timer.
    if (verbose.enabledAt && now().timeIntervalSince(*verbose.enabledAt) > verboseLifetime) {
      verbose.minimumLevel = "info";
      verbose.enabledAt.reset();
    }
    if (verbose.minimumLevel != "debug") return;
  }

  Recorded recorded = makeEntry(level, category, message, error);
  DiagnosticLogEntry entry = recorded.entry;
  {
    std::lock_guard guard(lock_);
    appendLocked(std::move(recorded));
  }
  mirror(entry);
}

void DiagnosticLogBuffer::addFromCrashHandler(std::string_view category, std::string_view message) {
  Recorded recorded = makeEntry("error", category, message, nullptr);
  DiagnosticLogEntry entry = recorded.entry;
  {
    std::unique_lock guard(lock_, std::try_to_lock);
    if (guard.owns_lock()) {
      appendLocked(std::move(recorded));
    } else if (!logFilePath_.empty()) {
      // The ring may be half-updated by the lock's holder; the file line is what survives.
      appendToFile(logFilePath_, recorded.line + "\n");
    }
  }
  mirror(entry);
}

DiagnosticLogBuffer::Recorded DiagnosticLogBuffer::makeEntry(std::string_view level,
                                                             std::string_view category,
                                                             std::string_view message,
                                                             const std::exception* error) const {
  Recorded r;
  r.entry.ts =
      platform::DateFormats::iso8601(now(), platform::DateFormats::FractionalSeconds::included);
  r.entry.level = std::string(level);
  r.entry.category = std::string(category);
  r.entry.msg = DiagnosticRedaction::redact(message);
  if (error) {
    r.entry.exceptionType = TypeNames::plain(typeid(*error));
    r.entry.exceptionMessage = DiagnosticRedaction::redact(error->what());
  }

  r.line.reserve(r.entry.ts.size() + r.entry.msg.size() + category.size() + 16);
  r.line += r.entry.ts;
  r.line += " [";
  r.line += platform::UnicodeText::uppercased(level);
  r.line += "] ";
  r.line += category;
  r.line += ": ";
  r.line += r.entry.msg;
  if (r.entry.exceptionType) {
    r.line += " | ";
    r.line += *r.entry.exceptionType;
    if (r.entry.exceptionMessage) {
      r.line += ": ";
      r.line += *r.entry.exceptionMessage;
    }
  }
  return r;
}

void DiagnosticLogBuffer::appendLocked(Recorded recorded) {
  entries_.push_back(std::move(recorded.entry));
  while (entries_.size() > capacity_) entries_.pop_front();
  writeLineLocked(recorded.line);
}

void DiagnosticLogBuffer::writeLineLocked(const std::string& line) {
  if (logFilePath_.empty()) return;
  // Checked before the write, so the live file may end up one line past the limit. Renaming
  // replaces the previous older generation in one step.
  struct stat attributes {};
  if (::stat(logFilePath_.c_str(), &attributes) == 0 &&
      static_cast<std::uintmax_t>(attributes.st_size) >= rotationSize) {
    ::rename(logFilePath_.c_str(), (logFilePath_ + ".1").c_str());
  }
  std::string bytes;
  bytes.reserve(line.size() + 1);
  bytes += line;
  bytes += '\n';
  appendToFile(logFilePath_, bytes);
}

void DiagnosticLogBuffer::mirror(const DiagnosticLogEntry& entry) const {
  if (!platform::hasEnvironment()) return;
  using Type = platform::SystemLogType;
  const Type type = entry.level == "error"   ? Type::error
                    : entry.level == "warn"  ? Type::defaultType
                    : entry.level == "debug" ? Type::debug
                                             : Type::info;
  if (!osLog_.isEnabled(type)) return;
  osLog_.log(type, "[" + entry.category + "] " + entry.msg);
}

platform::Value::Array DiagnosticLogBuffer::logBufferJSON() const {
  std::deque<DiagnosticLogEntry> copy;
  {
    std::lock_guard guard(lock_);
    copy = entries_;
  }
  platform::Value::Array out;
  out.reserve(copy.size());
  for (const auto& entry : copy) out.push_back(entry.jsonObject());
  return out;
}

void DiagnosticLogBuffer::flushSync() const {
  if (logFilePath_.empty()) return;
  const int fd = ::open(logFilePath_.c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace flagrig
