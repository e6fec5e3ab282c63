#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <deque>
#include <exception>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "Platform/Foundation/Date.h"
#include "Platform/Foundation/Task.h"
#include "Platform/Foundation/URL.h"
#include "Platform/Foundation/UserDefaults.h"
#include "Platform/Network/HTTPSession.h"
#include "VoskaryAccount/Client/BreadcrumbEntry.h"
#include "VoskaryAccount/Client/VoskaryLogLevel.h"
#include "VoskaryAccount/Telemetry/CoalescedEntry.h"

namespace voskary {

// Collects the app's warnings and errors for the account service. Each event becomes a
// fingerprint of its normalised message; repeats inside a one-minute window only raise a count,
// a per-fingerprint circuit breaker silences storms, and every 60 seconds what was gathered goes
// to a small queue of batches that are posted as JSON to "api/error-events".
//
// One instance per process, `shared()`, created on first use and never destroyed. Capture may be
// called from any thread and never waits for the network: the message normalisation and the
// hashing run on the caller's thread without the lock, which guards only the map and queue
// updates. The flush loop and the send passes are tasks on the background pool. Nothing is
// captured, and nothing held is sent, while error reports are off (`ErrorTelemetryConsent`).
class ErrorFirehoseClient : public std::enable_shared_from_this<ErrorFirehoseClient> {
 public:
  using Fields = std::map<std::string, std::string>;

  // The identity fields one send pass uses.
  struct ContextSnapshot {
    std::string appSlug;
    std::string platform;
    std::string appVersion;
    std::string osVersion;
    std::string dailyToken;
    platform::URL identityURL;
    std::shared_ptr<platform::HTTPSession> urlSession;
  };

  // The fixed limits.
  static constexpr double coalescingWindowSeconds = 60.0;
  static constexpr std::size_t maxDistinctFingerprints = 50;
  static constexpr std::size_t maxBatchSize = 50;
  static constexpr std::size_t maxBatchBytes = 262'144;
  static constexpr std::int64_t circuitBreakerThreshold = 100;
  static constexpr double circuitBreakerWindowSeconds = 10.0;
  static constexpr double circuitBreakerSilenceSeconds = 300.0;
  static constexpr std::size_t maxPendingBatches = 10;
  static constexpr std::array<double, 3> backoffSeconds = {30.0, 60.0, 120.0};
  static constexpr double backoffJitter = 10.0;
  static constexpr double flushIntervalSeconds = 60.0;
  static constexpr double requestTimeoutSeconds = 60.0;
  static constexpr std::size_t maxTemplateBytes = 256;
  // How much of a message the normalisation reads.
  static constexpr std::size_t maxNormalizedBytes = 65'536;
  static constexpr std::size_t maxTopFrames = 3;
  static constexpr std::size_t maxBreadcrumbs = 10;
  // The compiled-in fixed input of the daily token.
  static constexpr std::string_view dailyTokenSuffix = "kestrel-fault-v2";
  static constexpr std::string_view batchPath = "api/error-events";

  // The account service's base URL compiled into this build.
  static platform::URL defaultIdentityURL();

  // Identity from the running system and the environment's shared session; use `shared()` or
  // `create()`.
  ErrorFirehoseClient();
  ~ErrorFirehoseClient();
  ErrorFirehoseClient(const ErrorFirehoseClient&) = delete;
  ErrorFirehoseClient& operator=(const ErrorFirehoseClient&) = delete;

  // A new client that drops what it holds as soon as error reports are switched off.
  static std::shared_ptr<ErrorFirehoseClient> create();

  static ErrorFirehoseClient& shared();
  // For crash handlers, which must never wait: the instance when one exists and its
  // registration is free this moment, else null. Never creates one.
  static std::shared_ptr<ErrorFirehoseClient> tryShared();

  // Sets the identity. An absent platform or system version keeps the current one.
  void configure(std::string appSlug, std::optional<std::string> platform, std::string appVersion,
                 std::optional<std::string> osVersion, std::string installId,
                 platform::URL identityURL, std::shared_ptr<platform::HTTPSession> urlSession);
  // Starts the 60-second flush loop; later calls do nothing.
  void start();
  bool isStarted() const;
  void updateContext(bool signedIn, bool online, std::optional<std::int64_t> sessionUptimeSeconds);

  // The entry the log facade and the crash handlers use: warnings and errors only, the fields
  // appended to the event as "key=value" pairs sorted by key, the category from "class", else
  // "category", else "auth".
  void observeFromFacade(VoskaryLogLevel level, std::string_view event, const Fields& fields,
                         std::optional<std::string> specId);
  // The same from a crash handler: never waits for a lock and reads the consent seen last
  // instead of the preferences. False when the event was skipped for a busy lock.
  bool tryObserveFromFacade(VoskaryLogLevel level, std::string_view event, const Fields& fields,
                            std::optional<std::string> specId);
  // For the handler of a fatal signal, where nothing may allocate, lock or wait: keeps the
  // event's text (its first `maxCrashBytes`) in a slot set aside for it. The process ends right
  // after, so the event goes no further, as an event held in memory never does; the log file is
  // what keeps a crash.
  static void observeCrashFromSignal(std::string_view message) noexcept;
  // What the last call kept, empty before any.
  static std::string_view crashFromSignal() noexcept;
  static constexpr std::size_t maxCrashBytes = 4096;

  // The general entry.
  void observe(std::string_view severity, std::string_view category, std::string_view message,
               const std::exception* error = nullptr, std::optional<std::string> specId = {},
               std::optional<std::vector<std::string>> topFrames = {},
               std::optional<std::vector<BreadcrumbEntry>> breadcrumbs = {});

  // A template without personal or variable data, so that repeats share a fingerprint.
  std::string normalizeMessage(std::string_view message,
                               std::optional<std::string_view> exceptionType) const;
  // 12 hexadecimal characters over the first three frames, without arguments and return types.
  std::string computeFrameDigest(const std::vector<std::string>& frames) const;
  // 16 hexadecimal characters from the install id and the UTC day: the install id never leaves.
  static std::string computeDailyToken(std::string_view installId);
  static std::string computeDailyToken(std::string_view installId, platform::Date now);
  // "yyyy-MM-dd" of the current UTC day.
  static std::string utcDateString();
  static std::string utcDateString(platform::Date date);
  // The error's dynamic type name, last piece.
  static std::string typeName(const std::exception& error);

  // Starts a send pass in a task of its own.
  void sendPendingBatches();

  // The JSON body of one batch.
  static std::string encodeBatch(const std::vector<CoalescedEntry>& entries,
                                 const ContextSnapshot& context, std::string_view batchId,
                                 const std::vector<std::string>& eventIds);

 private:
  friend struct ErrorFirehoseClientTestAccess;
  enum class LockMode { wait, tryOnly };

  bool observeWith(LockMode mode, std::string_view severity, std::string_view category,
                   std::string_view message, const std::exception* error,
                   std::optional<std::string> specId,
                   std::optional<std::vector<std::string>> topFrames,
                   std::optional<std::vector<BreadcrumbEntry>> breadcrumbs);
  bool observeFromFacadeWith(LockMode mode, VoskaryLogLevel level, std::string_view event,
                             const Fields& fields, std::optional<std::string> specId);
  std::string fingerprintOf(std::string_view appSlug, std::string_view platform,
                            std::string_view severity, std::string_view category,
                            std::string_view messageTemplate, std::string_view frameDigest) const;

  // Whether error reports are on now; drops everything held when they are not.
  bool checkConsent();
  void dropHeldEventsLocked();

  // With the lock held.
  std::vector<CoalescedEntry> drainBuffer();
  void enqueueBatch(std::vector<CoalescedEntry> entries);
  ContextSnapshot snapshot();

  // One round of the flush loop.
  void flushRound();
  static platform::Task<void> flushLoop(std::weak_ptr<ErrorFirehoseClient> weak);
  static platform::Task<void> sendPass(std::weak_ptr<ErrorFirehoseClient> weak);
  platform::Task<bool> sendBatch(std::vector<CoalescedEntry> entries, ContextSnapshot context,
                                 int retryCount);
  platform::Task<bool> sendBatchWithIds(std::vector<CoalescedEntry> entries,
                                        ContextSnapshot context, int retryCount,
                                        std::string batchId, std::vector<std::string> eventIds);
  static double retryDelay(int retryCount);

  mutable std::mutex lock_;
  std::string appSlug_ = "unknown";
  std::string platform_ = "mac";
  std::string appVersion_ = "0.0.0";
  std::string osVersion_;
  std::string installId_;
  std::string dailyToken_;
  std::shared_ptr<platform::HTTPSession> urlSession_;
  platform::URL identityURL_;
  std::unordered_map<std::string, CoalescedEntry> buffer_;
  std::unordered_map<std::string, CircuitBreakerState> circuitBreakers_;
  // The coalescing window's start, on the monotonic clock.
  platform::Uptime windowStart_{};
  std::deque<std::vector<CoalescedEntry>> pendingBatches_;
  platform::TaskHandle flushTask_;
  bool isStarted_ = false;
  bool signedIn_ = false;
  bool online_ = true;
  std::optional<std::int64_t> sessionUptimeSeconds_;

  // The consent seen by the last check, for the crash path.
  std::atomic<bool> consentSeen_{true};
  // Watched so that a switch-off drops what is held at once.
  std::shared_ptr<platform::UserDefaults> defaults_;
  std::uint64_t enabledObserver_ = 0;
  std::uint64_t regionObserver_ = 0;
};

}  // namespace voskary
