#pragma once

#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <string_view>

#include "Platform/Foundation/Date.h"
#include "Platform/Foundation/Value.h"
#include "VoskaryAccount/Telemetry/AnalyticsEmitThrottleOptions.h"

namespace voskary {

// Decides whether a product-analytics event may be sent: repeats of one event with the same
// identifying properties pass once per coalescing window, and a token bucket bounds the overall
// rate. Safe from any thread.
class AnalyticsEmitThrottle {
 public:
  using Clock = std::function<platform::Date()>;

  // `clock` only has to move forward consistently; the app passes `monotonicClock()`.
  AnalyticsEmitThrottle(AnalyticsEmitThrottleOptions options, Clock clock);

  // The environment's uptime as a date: a wall clock stepped back by the user would otherwise
  // hold repeated keys back (and stop the refill) for the length of the jump.
  static Clock monotonicClock();

  // True when the event may be sent; a true answer also records it.
  bool allowEmit(std::string_view event, const platform::Value::Dictionary* properties);

  // "event|step=S": the name, then each discriminator that the properties hold, in order.
  std::string coalescingKey(std::string_view event,
                            const platform::Value::Dictionary* properties) const;
  // How a property value is written into a key: "1.0", "0.3", "1e-05", "100000.0", "true".
  static std::string keyText(const platform::Value& value);

  const AnalyticsEmitThrottleOptions& options() const { return options_; }

  // For tests: the state under the lock.
  std::size_t keyCount() const;
  double budgetTokens() const;

  // More keys than this start pruning.
  static constexpr std::size_t pruneThreshold = 256;

 private:
  const AnalyticsEmitThrottleOptions options_;
  const Clock clock_;
  mutable std::mutex lock_;
  std::map<std::string, platform::Date, std::less<>> lastEmitByKey_;
  double budgetTokens_;
  platform::Date budgetLastRefill_;
};

}  // namespace voskary
