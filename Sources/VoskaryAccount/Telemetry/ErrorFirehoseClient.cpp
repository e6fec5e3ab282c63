#include "VoskaryAccount/Telemetry/ErrorFirehoseClient.h"

#include <cxxabi.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <typeinfo>
#include <utility>

#include "Platform/Foundation/Clock.h"
#include "Platform/Foundation/Environment.h"
#include "Platform/Foundation/ProcessInfo.h"
#include "Platform/Foundation/SharedInstance.h"
#include "Platform/Foundation/UnicodeText.h"
#include "Platform/Security/SHA256.h"
#include "VoskaryAccount/Telemetry/ErrorTelemetryConsent.h"
#include "VoskaryAccount/Telemetry/GeoProbeClient.h"

#ifndef VOSKARY_ACCOUNT_SERVICE_URL
#define VOSKARY_ACCOUNT_SERVICE_URL "https://account.voskary.dev"
#endif

namespace voskary {

namespace {

// The process's client. Never destroyed, so that nothing of it runs down during static
// destruction; only the test fixture's reset lets an instance go.
struct SharedClient {
  std::mutex mutex;
  std::shared_ptr<ErrorFirehoseClient> instance;
  bool resetRegistered = false;
};

SharedClient& sharedClient() {
  static SharedClient* client = new SharedClient;
  return *client;
}

// The signal path's slot, set aside before any crash.
char crashSlot[ErrorFirehoseClient::maxCrashBytes];
std::atomic<std::size_t> crashSlotLength{0};

// Whether `now` lies in the `seconds` after `start`, both on the monotonic clock: windows and
// silences are intervals, and a wall clock stepped back (NTP, a resumed laptop, the user) must
// neither end a silence early nor stretch a window. Wall time is only for what is sent.
bool isWithin(platform::Uptime start, platform::Uptime now, double seconds) {
  return now >= start && now - start <= platform::seconds(seconds);
}

std::optional<std::int64_t> roundedUptime(std::optional<std::int64_t> seconds) {
  if (!seconds) return std::nullopt;
  return *seconds / 30 * 30;
}

}  // namespace

platform::URL ErrorFirehoseClient::defaultIdentityURL() {
  return platform::URL(VOSKARY_ACCOUNT_SERVICE_URL);
}

ErrorFirehoseClient::ErrorFirehoseClient()
    : osVersion_(platform::env().processInfo->operatingSystemVersion().text()),
      urlSession_(platform::env().httpSession),
      identityURL_(defaultIdentityURL()),
      windowStart_(platform::env().clock->uptime()) {}

ErrorFirehoseClient::~ErrorFirehoseClient() {
  flushTask_.cancel();
  if (defaults_) {
    defaults_->removeObserver(enabledObserver_);
    defaults_->removeObserver(regionObserver_);
  }
}

std::shared_ptr<ErrorFirehoseClient> ErrorFirehoseClient::create() {
  auto client = std::make_shared<ErrorFirehoseClient>();
  // The region probe can switch reports off too, for users without a choice.
  std::weak_ptr<ErrorFirehoseClient> weak = client;
  auto changed = [weak](std::string_view) {
    if (auto alive = weak.lock()) alive->checkConsent();
  };
  client->defaults_ = platform::env().defaults;
  client->enabledObserver_ =
      client->defaults_->observe(std::string(ErrorTelemetryConsent::Keys::enabled), changed);
  client->regionObserver_ =
      client->defaults_->observe(std::string(GeoProbeClient::userDefaultsKey), changed);
  client->consentSeen_ = ErrorTelemetryConsent::isEnabled();
  return client;
}

ErrorFirehoseClient& ErrorFirehoseClient::shared() {
  auto& shared = sharedClient();
  std::lock_guard guard(shared.mutex);
  if (!shared.instance) {
    shared.instance = create();
    if (!std::exchange(shared.resetRegistered, true)) {
      platform::registerSharedInstanceReset([] {
        std::shared_ptr<ErrorFirehoseClient> old;
        auto& s = sharedClient();
        std::lock_guard l(s.mutex);
        old.swap(s.instance);
      });
    }
  }
  return *shared.instance;
}

std::shared_ptr<ErrorFirehoseClient> ErrorFirehoseClient::tryShared() {
  auto& shared = sharedClient();
  std::unique_lock guard(shared.mutex, std::try_to_lock);
  if (!guard.owns_lock()) return nullptr;
  return shared.instance;
}

void ErrorFirehoseClient::configure(std::string appSlug, std::optional<std::string> platform,
                                    std::string appVersion, std::optional<std::string> osVersion,
                                    std::string installId, platform::URL identityURL,
                                    std::shared_ptr<platform::HTTPSession> urlSession) {
  // Computed before taking the lock, as everything that hashes is.
  std::string token = computeDailyToken(installId);
  std::lock_guard guard(lock_);
  appSlug_ = std::move(appSlug);
  if (platform) platform_ = std::move(*platform);
  appVersion_ = std::move(appVersion);
  if (osVersion) osVersion_ = std::move(*osVersion);
  installId_ = std::move(installId);
  dailyToken_ = std::move(token);
  identityURL_ = std::move(identityURL);
  if (urlSession) urlSession_ = std::move(urlSession);
}

void ErrorFirehoseClient::updateContext(bool signedIn, bool online,
                                        std::optional<std::int64_t> sessionUptimeSeconds) {
  std::lock_guard guard(lock_);
  signedIn_ = signedIn;
  online_ = online;
  sessionUptimeSeconds_ = roundedUptime(sessionUptimeSeconds);
}

void ErrorFirehoseClient::start() {
  {
    std::lock_guard guard(lock_);
    if (std::exchange(isStarted_, true)) return;
  }
  auto handle = platform::spawn(flushLoop(weak_from_this()), platform::env().backgroundPool);
  std::lock_guard guard(lock_);
  flushTask_ = std::move(handle);
}

bool ErrorFirehoseClient::isStarted() const {
  std::lock_guard guard(lock_);
  return isStarted_;
}

platform::Task<void> ErrorFirehoseClient::flushLoop(std::weak_ptr<ErrorFirehoseClient> weak) {
  for (;;) {
    if (weak.expired()) co_return;
    try {
      co_await platform::sleep(flushIntervalSeconds);
    } catch (const platform::CancellationError&) {
      co_return;
    }
    if (co_await platform::isCancelled()) co_return;
    auto client = weak.lock();
    if (!client) co_return;
    client->flushRound();
  }
}

void ErrorFirehoseClient::flushRound() {
  if (!checkConsent()) return;
  {
    const auto now = platform::env().clock->uptime();
    std::lock_guard guard(lock_);
    auto taken = drainBuffer();
    windowStart_ = now;
    if (!taken.empty()) enqueueBatch(std::move(taken));
  }
  // Every round, so that batches left from an earlier round are tried again.
  sendPendingBatches();
}

bool ErrorFirehoseClient::checkConsent() {
  const bool enabled = ErrorTelemetryConsent::isEnabled();
  consentSeen_ = enabled;
  if (!enabled) {
    std::lock_guard guard(lock_);
    dropHeldEventsLocked();
  }
  return enabled;
}

void ErrorFirehoseClient::dropHeldEventsLocked() {
  buffer_.clear();
  pendingBatches_.clear();
}

// Capture.

// Capture never fails its caller: whatever goes wrong costs the event, nothing more.
void ErrorFirehoseClient::observeFromFacade(VoskaryLogLevel level, std::string_view event,
                                            const Fields& fields,
                                            std::optional<std::string> specId) {
  try {
    observeFromFacadeWith(LockMode::wait, level, event, fields, std::move(specId));
  } catch (const std::exception&) {
  }
}

bool ErrorFirehoseClient::tryObserveFromFacade(VoskaryLogLevel level, std::string_view event,
                                               const Fields& fields,
                                               std::optional<std::string> specId) {
  try {
    return observeFromFacadeWith(LockMode::tryOnly, level, event, fields, std::move(specId));
  } catch (const std::exception&) {
    return false;
  }
}

bool ErrorFirehoseClient::observeFromFacadeWith(LockMode mode, VoskaryLogLevel level,
                                                std::string_view event, const Fields& fields,
                                                std::optional<std::string> specId) {
  if (level != VoskaryLogLevel::warning && level != VoskaryLogLevel::error) return true;
  const std::string_view severity = level == VoskaryLogLevel::warning ? "warn" : "error";

  std::string message(event);
  if (!fields.empty()) {
    // The map keeps its keys in ascending byte order.
    message += ": ";
    bool first = true;
    for (const auto& [key, value] : fields) {
      if (!std::exchange(first, false)) message += ' ';
      message += key;
      message += '=';
      message += value;
    }
  }

  std::string_view category = "auth";
  if (auto found = fields.find("class"); found != fields.end()) {
    category = found->second;
  } else if (auto other = fields.find("category"); other != fields.end()) {
    category = other->second;
  }
  return observeWith(mode, severity, category, message, nullptr, std::move(specId), std::nullopt,
                     std::nullopt);
}

void ErrorFirehoseClient::observe(std::string_view severity, std::string_view category,
                                  std::string_view message, const std::exception* error,
                                  std::optional<std::string> specId,
                                  std::optional<std::vector<std::string>> topFrames,
                                  std::optional<std::vector<BreadcrumbEntry>> breadcrumbs) {
  try {
    observeWith(LockMode::wait, severity, category, message, error, std::move(specId),
                std::move(topFrames), std::move(breadcrumbs));
  } catch (const std::exception&) {
  }
}

bool ErrorFirehoseClient::observeWith(LockMode mode, std::string_view severity,
                                      std::string_view category, std::string_view message,
                                      const std::exception* error,
                                      std::optional<std::string> specId,
                                      std::optional<std::vector<std::string>> topFrames,
                                      std::optional<std::vector<BreadcrumbEntry>> breadcrumbs) {
  // A crash handler must not wait on the preferences' lock: it goes by the last answer.
  const bool enabled = mode == LockMode::wait ? checkConsent() : consentSeen_.load();
  if (!enabled) return true;

  const auto now = platform::env().clock->now();
  const auto uptime = platform::env().clock->uptime();
  std::optional<std::string> exceptionType;
  if (error) exceptionType = typeName(*error);
  std::string messageTemplate = normalizeMessage(message, exceptionType);
  std::optional<std::string> frameDigest;
  if (topFrames) frameDigest = computeFrameDigest(*topFrames);

  auto acquire = [&](std::unique_lock<std::mutex>& guard) {
    if (mode == LockMode::wait) {
      guard.lock();
      return true;
    }
    return guard.try_lock();
  };

  std::string appSlug, platformName;
  {
    std::unique_lock guard(lock_, std::defer_lock);
    if (!acquire(guard)) return false;
    appSlug = appSlug_;
    platformName = platform_;
  }
  const std::string fingerprint = fingerprintOf(appSlug, platformName, severity, category,
                                                messageTemplate, frameDigest.value_or(""));

  std::unique_lock guard(lock_, std::defer_lock);
  if (!acquire(guard)) return false;

  auto breaker = circuitBreakers_.find(fingerprint);
  if (breaker != circuitBreakers_.end() && breaker->second.silencedUntil &&
      uptime < *breaker->second.silencedUntil)
    return true;
  if (breaker == circuitBreakers_.end())
    breaker =
        circuitBreakers_.emplace(fingerprint, CircuitBreakerState{0, uptime, std::nullopt}).first;
  auto& state = breaker->second;
  if (!isWithin(state.windowStart, uptime, circuitBreakerWindowSeconds)) {
    state.countInWindow = 0;
    state.windowStart = uptime;
  }
  state.countInWindow += 1;
  if (state.countInWindow > circuitBreakerThreshold) {
    state.silencedUntil = uptime + platform::seconds(circuitBreakerSilenceSeconds);
    // The storm's entry leaves at once; the tripping observation itself is not recorded.
    if (buffer_.contains(fingerprint)) enqueueBatch(drainBuffer());
    return true;
  }

  if (!isWithin(windowStart_, uptime, coalescingWindowSeconds)) {
    auto taken = drainBuffer();
    if (!taken.empty()) enqueueBatch(std::move(taken));
    windowStart_ = uptime;
  }

  if (auto existing = buffer_.find(fingerprint); existing != buffer_.end()) {
    auto& entry = existing->second;
    entry.count += 1;
    entry.lastSeen = now;
    entry.signedIn = signedIn_;
    entry.online = online_;
    entry.sessionUptimeSeconds = roundedUptime(sessionUptimeSeconds_);
    if (breadcrumbs) {
      if (breadcrumbs->size() > maxBreadcrumbs) breadcrumbs->resize(maxBreadcrumbs);
      entry.breadcrumbs = std::move(breadcrumbs);
    }
  } else {
    if (topFrames && topFrames->size() > maxTopFrames) topFrames->resize(maxTopFrames);
    if (breadcrumbs && breadcrumbs->size() > maxBreadcrumbs) breadcrumbs->resize(maxBreadcrumbs);
    CoalescedEntry entry{
        .fingerprint = fingerprint,
        .severity = std::string(severity),
        .category = std::string(category),
        .specId = std::move(specId),
        // Cut on a character boundary: a split character would make the batch unencodable.
        .messageTemplate = platform::UnicodeText::truncatedUTF8(messageTemplate, maxTemplateBytes),
        .exceptionType = std::move(exceptionType),
        .topFrames = std::move(topFrames),
        .frameDigest = std::move(frameDigest),
        .count = 1,
        .firstSeen = now,
        .lastSeen = now,
        .signedIn = signedIn_,
        .online = online_,
        .sessionUptimeSeconds = roundedUptime(sessionUptimeSeconds_),
        .breadcrumbs = std::move(breadcrumbs),
    };
    buffer_.emplace(fingerprint, std::move(entry));
  }

  if (buffer_.size() >= maxDistinctFingerprints) {
    enqueueBatch(drainBuffer());
    windowStart_ = uptime;
  }
  return true;
}

void ErrorFirehoseClient::observeCrashFromSignal(std::string_view message) noexcept {
  const std::size_t length = std::min(message.size(), maxCrashBytes);
  crashSlotLength.store(0);
  std::memcpy(crashSlot, message.data(), length);
  crashSlotLength.store(length);
}

std::string_view ErrorFirehoseClient::crashFromSignal() noexcept {
  return std::string_view(crashSlot, crashSlotLength.load());
}

std::string ErrorFirehoseClient::fingerprintOf(std::string_view appSlug,
                                               std::string_view platformName,
                                               std::string_view severity, std::string_view category,
                                               std::string_view messageTemplate,
                                               std::string_view frameDigest) const {
  std::string input;
  input.reserve(appSlug.size() + platformName.size() + severity.size() + category.size() +
                messageTemplate.size() + frameDigest.size() + 5);
  for (std::string_view part : {appSlug, platformName, severity, category, messageTemplate}) {
    input += part;
    input += '|';
  }
  input += frameDigest;
  return platform::SHA256::hexDigest(input).substr(0, 16);
}

std::vector<CoalescedEntry> ErrorFirehoseClient::drainBuffer() {
  std::vector<CoalescedEntry> entries;
  entries.reserve(buffer_.size());
  for (auto& [fingerprint, entry] : buffer_) entries.push_back(std::move(entry));
  buffer_.clear();
  return entries;
}

std::string ErrorFirehoseClient::typeName(const std::exception& error) {
  const char* mangled = typeid(error).name();
  int status = 0;
  char* demangled = abi::__cxa_demangle(mangled, nullptr, nullptr, &status);
  std::string name = status == 0 && demangled ? demangled : mangled;
  std::free(demangled);
  // The last piece of the qualified name, leaving template arguments whole.
  std::size_t start = 0;
  int depth = 0;
  for (std::size_t i = 0; i + 1 < name.size(); ++i) {
    if (name[i] == '<') ++depth;
    if (name[i] == '>') --depth;
    if (depth == 0 && name[i] == ':' && name[i + 1] == ':') start = i + 2;
  }
  name = name.substr(start);
  return name.empty() ? "Error" : name;
}

}  // namespace voskary
