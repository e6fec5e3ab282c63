#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "Platform/Foundation/Clock.h"
#include "Platform/Foundation/Task.h"
#include "Platform/Foundation/URL.h"
#include "Platform/Foundation/Value.h"
#include "Platform/Network/HTTPURLResponse.h"
#include "VoskaryAccount/Client/IdentityThrottleOptions.h"
#include "VoskaryAccount/Client/VoskaryLogger.h"

namespace voskary {

// Guards every request to the identity service so that a misbehaving client cannot flood it
// or burn the user's quota: a rolling per-minute budget, a circuit breaker after a run of
// server failures, and retries of GET requests with exponential backoff and jitter that honour
// "Retry-After". A refusal is not thrown but answered locally with a synthetic 429 or 503, so
// the caller's ordinary status handling deals with it.
//
// The budget window and the breaker run on the monotonic clock, so stepping the wall clock
// can neither hold them shut nor open them early. State is guarded by a mutex that is never
// held across `send` or `sleep`; requests interleave at those waits. Create it with
// `std::make_shared`: a running request keeps the throttle alive.
class IdentityThrottle : public std::enable_shared_from_this<IdentityThrottle> {
 public:
  // What one transfer gives: the body and the HTTP answer.
  struct SendResult {
    platform::Bytes data;
    std::shared_ptr<const platform::HTTPURLResponse> response;
  };
  // One transfer; throws on a transport failure.
  using Send = std::function<platform::Task<SendResult>()>;
  // A cancellable wait of that many seconds.
  using Sleep = std::function<platform::Task<void>(double seconds)>;

  // Without a clock the environment's; without a sleep one on the main loop's clock that
  // returns at once for delays not above 0.
  explicit IdentityThrottle(IdentityThrottleOptions options = {}, VoskaryLogger logger = {},
                            std::shared_ptr<platform::Clock> clock = nullptr, Sleep sleep = {});

  // Sends through the breaker, the budget and the retry rules. A cancelled caller gets
  // `CancellationError`, which never counts as a failure.
  platform::Task<SendResult> run(platform::URL url, std::string method, Send send);

  // A "Retry-After" value as seconds from `now`, between 0 and `maxWait`: delay seconds
  // (digits, an optional fraction, read the same in every locale) or an HTTP date; nothing
  // for anything else.
  static std::optional<double> parseRetryAfter(std::string_view header, platform::Date now,
                                               double maxWait);

 private:
  struct Decision;

  Decision admit(const platform::URL& url);
  bool tryConsumeBudget();
  // Returns the failure count when this failure trips the breaker.
  std::optional<std::int64_t> recordFailure();
  void recordSuccess();
  std::optional<double> circuitOpenRemaining();
  double backoff(std::int64_t attempt) const;
  std::optional<double> retryAfter(const platform::HTTPURLResponse& response) const;
  void log(VoskaryLogLevel level, const std::string& event, const VoskaryLogFields& fields) const;

  const IdentityThrottleOptions options_;
  const VoskaryLogger logger_;
  const std::shared_ptr<platform::Clock> clock_;
  const Sleep sleep_;

  std::mutex mutex_;
  std::deque<platform::Uptime> recentRequestTimes_;
  std::int64_t consecutiveFailures_ = 0;
  std::optional<platform::Uptime> circuitOpenUntil_;
};

}  // namespace voskary
