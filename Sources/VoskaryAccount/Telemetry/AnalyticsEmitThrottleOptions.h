#pragma once

#include <set>
#include <string>
#include <vector>

namespace voskary {

// How `AnalyticsEmitThrottle` coalesces repeats and spends its budget.
struct AnalyticsEmitThrottleOptions {
  // Seconds during which repeats of one key are dropped.
  double coalesceWindow = 60.0;
  // The bucket's size and starting amount, in events.
  double budgetMax = 200.0;
  // Seconds per token returned to the bucket; 0 never refills.
  double budgetRefill = 0.3;
  // Property keys that make two events of one name distinct, in the order they enter the key.
  std::vector<std::string> coalesceDiscriminators{"source", "surface", "variant", "reason", "step"};
  // Names that always pass.
  std::set<std::string, std::less<>> neverDropEvents{"auth_completed"};

  AnalyticsEmitThrottleOptions() = default;
  AnalyticsEmitThrottleOptions(double coalesceWindow, double budgetMax, double budgetRefill,
                               std::vector<std::string> coalesceDiscriminators,
                               std::set<std::string, std::less<>> neverDropEvents)
      : coalesceWindow(coalesceWindow),
        budgetMax(budgetMax),
        budgetRefill(budgetRefill),
        coalesceDiscriminators(std::move(coalesceDiscriminators)),
        neverDropEvents(std::move(neverDropEvents)) {}

  static const AnalyticsEmitThrottleOptions production;
};

inline const AnalyticsEmitThrottleOptions AnalyticsEmitThrottleOptions::production{};

}  // namespace voskary
