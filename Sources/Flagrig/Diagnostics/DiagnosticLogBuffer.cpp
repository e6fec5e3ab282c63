#include "Flagrig/Diagnostics/DiagnosticLogBuffer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <system_error>
#include <utility>

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

// Opens the log file to append without following a link and without waiting, and only when
// it is a regular file: -1 otherwise.
enum class IfMissing { fail, create };
int openLogFile(const std::string& path, IfMissing missing) {
  const int flags = O_WRONLY | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC |
                    (missing == IfMissing::create ? O_CREAT : 0);
  const int fd = ::open(path.c_str(), flags, 0600);
  if (fd < 0) return -1;
  struct stat attributes {};
  if (::fstat(fd, &attributes) != 0 || !S_ISREG(attributes.st_mode)) {
    ::close(fd);
    errno = EINVAL;
    return -1;
  }
  return fd;
}

// The log is where failures are said, so a log that cannot be written says so on stderr.
void sayOnStderr(const std::string& what, int error) {
  const char* reason = error == EINVAL ? "not a regular file" : std::strerror(error);
  std::fprintf(stderr, "flagrig: %s (%s); the log is kept in memory for now\n", what.c_str(),
               reason);
}

bool writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

// The descriptor the crash path writes to: a number that stays the same for the whole run
// (new files are duplicated onto it), so a signal handler never sees it closed under it.
std::atomic<int> crashDescriptor{-1};
std::mutex crashDescriptorUpdate;

void publishCrashDescriptor(int fd) {
  std::lock_guard guard(crashDescriptorUpdate);
  const int current = crashDescriptor.load();
  if (current < 0) {
    crashDescriptor.store(::fcntl(fd, F_DUPFD_CLOEXEC, 0));
  } else {
    ::dup3(fd, current, O_CLOEXEC);
  }
}

// Points the crash path at nothing (a shared log without a file).
void withdrawCrashDescriptor() {
  std::lock_guard guard(crashDescriptorUpdate);
  const int current = crashDescriptor.load();
  if (current < 0) return;
  const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
  if (null < 0) return;
  ::dup3(null, current, O_CLOEXEC);
  ::close(null);
}

// Appends decimal digits, at least `width` of them, to `out`; returns the new end.
char* putDecimal(char* out, unsigned long long value, int width) {
  char digits[24];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value > 0 && n < 24);
  while (n < width) digits[n++] = '0';
  while (n > 0) *out++ = digits[--n];
  return out;
}

// ISO 8601 in UTC with milliseconds, from the system's clock, without the locale, the time
// zone database or the heap: "2027-01-15T08:00:00.000Z". `out` has room for 24 characters.
char* putTimestamp(char* out) {
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  const long long seconds = now.tv_sec;
  long long days = seconds / 86400;
  long long rest = seconds % 86400;
  if (rest < 0) {
    rest += 86400;
    --days;
  }
  // Days to a civil date (proleptic Gregorian), after Howard Hinnant's algorithm.
  days += 719468;
  const long long era = (days >= 0 ? days : days - 146096) / 146097;
  const long long dayOfEra = days - era * 146097;
  const long long yearOfEra =
      (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const long long dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const long long mp = (5 * dayOfYear + 2) / 153;
  const long long day = dayOfYear - (153 * mp + 2) / 5 + 1;
  const long long month = mp < 10 ? mp + 3 : mp - 9;
  const long long year = yearOfEra + era * 400 + (month <= 2);
  out = putDecimal(out, static_cast<unsigned long long>(year > 0 ? year : 0), 4);
  *out++ = '-';
  out = putDecimal(out, static_cast<unsigned long long>(month), 2);
  *out++ = '-';
  out = putDecimal(out, static_cast<unsigned long long>(day), 2);
  *out++ = 'T';
  out = putDecimal(out, static_cast<unsigned long long>(rest / 3600), 2);
  *out++ = ':';
  out = putDecimal(out, static_cast<unsigned long long>(rest / 60 % 60), 2);
  *out++ = ':';
  out = putDecimal(out, static_cast<unsigned long long>(rest % 60), 2);
  *out++ = '.';
  out = putDecimal(out, static_cast<unsigned long long>(now.tv_nsec / 1'000'000), 3);
  *out++ = 'Z';
  return out;
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
  if (error) {
    sayOnStderr("cannot make the log folder " + folder.string(), error.value());
    return std::nullopt;
  }
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

DiagnosticLogBuffer::DiagnosticLogBuffer() : DiagnosticLogBuffer(sharedCapacity, locateLogFile()) {
  feedsCrashPath_ = true;
  // The crash path follows the newest shared log only (tests make one after another).
  const int fd = logFilePath_.empty() ? -1 : openLogFile(logFilePath_, IfMissing::fail);
  if (fd >= 0) {
    publishCrashDescriptor(fd);
    ::close(fd);
  } else {
    withdrawCrashDescriptor();
  }
}

DiagnosticLogBuffer::DiagnosticLogBuffer(std::size_t capacity,
                                         std::optional<std::filesystem::path> logFile)
    : capacity_(capacity < 1 ? 1 : capacity), logFile_(std::move(logFile)) {
  if (logFile_) logFilePath_ = logFile_->string();
}

DiagnosticLogBuffer::~DiagnosticLogBuffer() = default;

void DiagnosticLogBuffer::prepareCrashFile() {
  if (!feedsCrashPath_ || logFilePath_.empty()) return;
  std::lock_guard guard(lock_);
  const int fd = openLogFile(logFilePath_, IfMissing::create);
  if (fd < 0) return;
  publishCrashDescriptor(fd);
  ::close(fd);
}

void DiagnosticLogBuffer::appendFromSignalHandler(std::string_view category,
                                                  std::string_view message) {
  const int fd = crashDescriptor.load();
  if (fd < 0) return;
  char prefix[96];
  char* end = putTimestamp(prefix);
  static constexpr char level[] = " [ERROR] ";
  for (char c : std::string_view(level)) *end++ = c;
  const std::size_t room = sizeof prefix - static_cast<std::size_t>(end - prefix) - 2;
  category = category.substr(0, room);
  for (char c : category) *end++ = c;
  *end++ = ':';
  *end++ = ' ';
  // One write for the whole line, so that it is not interleaved with another writer's.
  iovec parts[3] = {{prefix, static_cast<std::size_t>(end - prefix)},
                    {const_cast<char*>(message.data()), message.size()},
                    {const_cast<char*>("\n"), 1}};
  ::writev(fd, parts, 3);
}

void DiagnosticLogBuffer::flushFromSignalHandler() {
  const int fd = crashDescriptor.load();
  if (fd >= 0) ::fsync(fd);
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

bool DiagnosticLogBuffer::isVerboseEnabledAfterExpiry() {
  auto& verbose = verboseState();
  std::lock_guard guard(verbose.lock);
  if (verbose.enabledAt && now().timeIntervalSince(*verbose.enabledAt) > verboseLifetime) {
    verbose.minimumLevel = "info";
    verbose.enabledAt.reset();
  }
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
      appendToFile(recorded.line + "\n");
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
  // Only a regular file is rotated; a link is not followed.
  struct stat attributes {};
  if (::lstat(logFilePath_.c_str(), &attributes) == 0 && S_ISREG(attributes.st_mode) &&
      static_cast<std::uintmax_t>(attributes.st_size) >= rotationSize) {
    ::rename(logFilePath_.c_str(), (logFilePath_ + ".1").c_str());
  }
  std::string bytes;
  bytes.reserve(line.size() + 1);
  bytes += line;
  bytes += '\n';
  appendToFile(bytes);
}

bool DiagnosticLogBuffer::appendToFile(std::string_view bytes) const {
  const int fd = openLogFile(logFilePath_, IfMissing::create);
  bool ok = fd >= 0 && writeAll(fd, bytes);
  const int error = errno;
  if (fd >= 0) {
    if (feedsCrashPath_) publishCrashDescriptor(fd);
    ::close(fd);
  }
  if (!ok && !std::exchange(saidFileFailure_, true))
    sayOnStderr("cannot write the log file " + logFilePath_, error);
  if (ok) saidFileFailure_ = false;
  return ok;
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
  if (feedsCrashPath_) return flushFromSignalHandler();
  const int fd = openLogFile(logFilePath_, IfMissing::fail);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace flagrig
