#include "VoskaryAccount/Client/IdentityThrottle.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <exception>

#include "Platform/Foundation/DateFormats.h"
#include "Platform/Foundation/Environment.h"
#include "Platform/Foundation/Error.h"
#include "Platform/Foundation/UnicodeText.h"
#include "Platform/Security/SecureRandom.h"
#include "VoskaryAccount/Client/IdentityThrottleShortCircuit.h"

namespace voskary {
namespace {

constexpr double kWindowSeconds = 60.0;
constexpr double kBudgetRetryAfter = 5.0;

platform::Task<void> defaultSleep(double seconds) {
  if (!(seconds > 0)) co_return;
  co_await platform::sleep(seconds);
}

std::string_view trimmedOfSpacesAndTabs(std::string_view text) {
  auto first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  auto last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

// Delay seconds as a server writes them: digits with an optional fraction (a sign is read
// too, so that a negative delay means "now"). "nan", "inf", exponents and anything else are
// not a number here.
std::optional<double> delaySeconds(std::string_view text) {
  std::size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  auto digits = [&] {
    std::size_t start = i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
    return i - start;
  };
  if (digits() == 0) return std::nullopt;
  if (i < text.size() && text[i] == '.') {
    ++i;
    if (digits() == 0) return std::nullopt;
  }
  if (i != text.size()) return std::nullopt;
  // Read with a point as the separator whatever the process locale says (a comma-decimal
  // locale would stop strtod at the point).
  const bool negative = text[0] == '-';
  if (text[0] == '+' || text[0] == '-') text.remove_prefix(1);
  double value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error == std::errc::result_out_of_range) value = HUGE_VAL;  // more digits than a double holds
  else if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return negative ? -value : value;
}

// Uniform in the closed range [0, 1], from the system's secure random source.
double unitRandom() {
  std::array<std::uint8_t, 8> bytes{};
  platform::SecureRandom::fill(bytes);
  std::uint64_t value = 0;
  for (auto b : bytes) value = (value << 8) | b;
  constexpr std::uint64_t top = (std::uint64_t{1} << 53) - 1;
  return static_cast<double>(value >> 11) / static_cast<double>(top);
}

bool isSuccess(int status) {
  return status >= 200 && status <= 299;
}
bool isFailure(int status) {
  return status == 429 || status >= 500;
}

}  // namespace

// What the breaker and budget checks decided, with the line to log outside the lock.
struct IdentityThrottle::Decision {
  std::optional<SendResult> refusal;
  std::string event;
  VoskaryLogFields fields;
};

IdentityThrottle::IdentityThrottle(IdentityThrottleOptions options, VoskaryLogger logger,
                                   std::shared_ptr<platform::Clock> clock, Sleep sleep)
    : options_(options),
      logger_(std::move(logger)),
      clock_(clock ? std::move(clock) : platform::env().clock),
      sleep_(sleep ? std::move(sleep) : Sleep(defaultSleep)) {}

void IdentityThrottle::log(VoskaryLogLevel level, const std::string& event,
                           const VoskaryLogFields& fields) const {
  if (logger_) logger_(level, event, fields);
}

IdentityThrottle::Decision IdentityThrottle::admit(const platform::URL& url) {
  std::lock_guard lock(mutex_);
  if (auto remaining = circuitOpenRemaining(); remaining && *remaining > 0) {
    return {IdentityThrottleShortCircuit::response(url, 503, "circuit_open", *remaining),
            "identity_throttle_circuit_open",
            {{"retry_after_s", std::to_string(static_cast<long long>(*remaining))}}};
  }
  if (!tryConsumeBudget()) {
    return {IdentityThrottleShortCircuit::response(url, 429, "budget_exhausted", kBudgetRetryAfter),
            "identity_throttle_budget_exhausted",
            {{"limit_per_min", std::to_string(options_.maxRequestsPerMinute)}}};
  }
  return {};
}

platform::Task<IdentityThrottle::SendResult> IdentityThrottle::run(platform::URL url,
                                                                   std::string method, Send send) {
  auto self = shared_from_this();
  const bool idempotent = platform::UnicodeText::uppercased(method) == "GET";

  if (auto decision = admit(url); decision.refusal) {
    log(VoskaryLogLevel::warning, decision.event, decision.fields);
    co_return std::move(*decision.refusal);
  }

  for (std::int64_t attempt = 0;; ++attempt) {
    co_await platform::checkCancellation();

    std::optional<SendResult> result;
    std::exception_ptr failure;
    bool cancelled = false;
    try {
      result = co_await send();
    } catch (const platform::CancellationError&) {
      cancelled = true;
    } catch (...) {
      failure = std::current_exception();
    }
    // A transfer that the caller's cancellation stopped says nothing about the service.
    if (failure && co_await platform::isCancelled()) cancelled = true;
    if (cancelled) throw platform::CancellationError();

    const bool mayRetry = idempotent && attempt < options_.maxRetries;
    std::optional<std::int64_t> tripped;
    double delay = 0;
    if (result) {
      if (!result->response)
        throw platform::ProgrammingError("IdentityThrottle: send gave no response");
      const int status = result->response->statusCode();
      if (isSuccess(status)) {
        recordSuccess();
        co_return std::move(*result);
      }
      if (!isFailure(status)) co_return std::move(*result);
      tripped = recordFailure();
      if (tripped) {
        log(VoskaryLogLevel::warning, "identity_throttle_circuit_tripped",
            {{"failures", std::to_string(*tripped)}});
      }
      if (!mayRetry) co_return std::move(*result);
      delay = retryAfter(*result->response).value_or(backoff(attempt));
      log(status == 429 ? VoskaryLogLevel::warning : VoskaryLogLevel::info,
          "identity_throttle_server_backoff",
          {{"status", std::to_string(status)}, {"attempt", std::to_string(attempt)}});
      co_await sleep_(delay);
      bool admitted;
      {
        std::lock_guard lock(mutex_);
        admitted = tryConsumeBudget();
      }
      if (!admitted) co_return std::move(*result);
    } else {
      tripped = recordFailure();
      if (tripped) {
        log(VoskaryLogLevel::warning, "identity_throttle_circuit_tripped",
            {{"failures", std::to_string(*tripped)}});
      }
      if (!mayRetry) std::rethrow_exception(failure);
      co_await sleep_(backoff(attempt));
    }
  }
}

bool IdentityThrottle::tryConsumeBudget() {
  const platform::Uptime now = clock_->uptime();
  const platform::Uptime cutoff = now - platform::seconds(kWindowSeconds);
  while (!recentRequestTimes_.empty() && recentRequestTimes_.front() < cutoff)
    recentRequestTimes_.pop_front();
  if (static_cast<std::int64_t>(recentRequestTimes_.size()) >= options_.maxRequestsPerMinute)
    return false;
  recentRequestTimes_.push_back(now);
  return true;
}

std::optional<std::int64_t> IdentityThrottle::recordFailure() {
  std::lock_guard lock(mutex_);
  ++consecutiveFailures_;
  // An open period that has run out but that no breaker check has cleared still counts as
  // open here: only the check moves the breaker to half-open.
  if (consecutiveFailures_ < options_.circuitBreakerThreshold || circuitOpenUntil_)
    return std::nullopt;
  circuitOpenUntil_ = clock_->uptime() + platform::seconds(options_.circuitBreakerOpenDuration);
  return consecutiveFailures_;
}

void IdentityThrottle::recordSuccess() {
  std::lock_guard lock(mutex_);
  consecutiveFailures_ = 0;
  circuitOpenUntil_.reset();
}

std::optional<double> IdentityThrottle::circuitOpenRemaining() {
  if (!circuitOpenUntil_) return std::nullopt;
  double remaining = platform::toSeconds(*circuitOpenUntil_ - clock_->uptime());
  if (remaining > 0) return remaining;
  // Half-open: the next failure opens the breaker again at once, a success closes it.
  circuitOpenUntil_.reset();
  consecutiveFailures_ = options_.circuitBreakerThreshold - 1;
  return 0.0;
}

double IdentityThrottle::backoff(std::int64_t attempt) const {
  double d = options_.backoffBase * std::pow(2.0, static_cast<double>(attempt));
  double jitter = unitRandom() * d / 2;
  return std::min(options_.maxBackoff, d + jitter);
}

std::optional<double> IdentityThrottle::retryAfter(
    const platform::HTTPURLResponse& response) const {
  auto header = response.value("Retry-After");
  if (!header) return std::nullopt;
  return parseRetryAfter(*header, clock_->now(), options_.maxBackoff);
}

std::optional<double> IdentityThrottle::parseRetryAfter(std::string_view header,
                                                        platform::Date now, double maxWait) {
  std::string_view text = trimmedOfSpacesAndTabs(header);
  if (text.empty()) return std::nullopt;
  std::optional<double> delay = delaySeconds(text);
  if (!delay) {
    auto date = platform::DateFormats::parseHTTPDate(text);
    if (!date) return std::nullopt;
    delay = date->timeIntervalSince(now);
  }
  // A number too long for a double reads as infinity, which the cap turns into the longest wait.
  return std::min(maxWait, std::max(0.0, *delay));
}

}  // namespace voskary
