#include "VoskaryAccount/Telemetry/AnalyticsEmitThrottle.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "Support/SimTest.h"

namespace voskary {
namespace {

using platform::Value;
using Properties = Value::Dictionary;

// A throttle on a clock the test moves by hand.
class AnalyticsEmitThrottleTests : public ::testing::Test {
 protected:
  AnalyticsEmitThrottle make(
      AnalyticsEmitThrottleOptions options = AnalyticsEmitThrottleOptions::production) {
    return AnalyticsEmitThrottle(std::move(options), [this] { return now; });
  }
  void advance(double seconds) { now = now.addingTimeInterval(seconds); }
  void at(double seconds) { now = platform::Date{seconds}; }

  // Distinct events until one is refused; how many passed.
  static int drain(AnalyticsEmitThrottle& throttle, const std::string& prefix) {
    int passed = 0;
    while (throttle.allowEmit(prefix + std::to_string(passed), nullptr)) ++passed;
    return passed;
  }

  // From zero, so that the refill arithmetic of the cases is exact.
  platform::Date now{0};
};

TEST_F(AnalyticsEmitThrottleTests, ProductionOptions) {
  const auto& p = AnalyticsEmitThrottleOptions::production;
  EXPECT_EQ(p.coalesceWindow, 60.0);
  EXPECT_EQ(p.budgetMax, 200.0);
  EXPECT_EQ(p.budgetRefill, 0.3);
  EXPECT_EQ(p.coalesceDiscriminators,
            (std::vector<std::string>{"source", "surface", "variant", "reason", "step"}));
  EXPECT_TRUE(p.neverDropEvents.contains("auth_completed"));
}

TEST_F(AnalyticsEmitThrottleTests, BudgetOfTwoHundredThenOneTokenPerRefillPeriod) {
  auto throttle = make();
  EXPECT_EQ(drain(throttle, "burst_"), 200);
  EXPECT_FALSE(throttle.allowEmit("one_more", nullptr));

  at(0.2);
  EXPECT_FALSE(throttle.allowEmit("too_early", nullptr));
  at(0.3);
  EXPECT_TRUE(throttle.allowEmit("after_refill", nullptr));
  EXPECT_FALSE(throttle.allowEmit("after_refill_2", nullptr));

  // A long pause fills the bucket to its size and no further.
  advance(3600);
  EXPECT_EQ(drain(throttle, "later_"), 200);
}

TEST_F(AnalyticsEmitThrottleTests, RepeatsOfOneKeyPassOncePerWindowWithoutSpendingTokens) {
  AnalyticsEmitThrottleOptions withoutRefill;
  withoutRefill.budgetRefill = 0;
  auto throttle = make(withoutRefill);
  EXPECT_TRUE(throttle.allowEmit("tag_created", nullptr));
  EXPECT_EQ(throttle.budgetTokens(), 199.0);

  advance(59);
  EXPECT_FALSE(throttle.allowEmit("tag_created", nullptr));
  EXPECT_EQ(throttle.budgetTokens(), 199.0);
  // The refused repeat did not move the window: it ends 60 s after the one that passed.
  advance(1);
  EXPECT_TRUE(throttle.allowEmit("tag_created", nullptr));
  advance(30);
  EXPECT_FALSE(throttle.allowEmit("tag_created", nullptr));
}

TEST_F(AnalyticsEmitThrottleTests, DollarNamesAndNeverDropNamesAlwaysPassAndTouchNothing) {
  auto throttle = make();
  EXPECT_EQ(drain(throttle, "burst_"), 200);
  for (int i = 0; i < 3; ++i) {
    EXPECT_TRUE(throttle.allowEmit("auth_completed", nullptr));
    EXPECT_TRUE(throttle.allowEmit("$identify", nullptr));
    EXPECT_TRUE(throttle.allowEmit("$pageview", nullptr));
  }
  EXPECT_EQ(throttle.keyCount(), 200u);
  EXPECT_EQ(throttle.budgetTokens(), 0.0);
  EXPECT_FALSE(throttle.allowEmit("auth_started", nullptr));
}

TEST_F(AnalyticsEmitThrottleTests, DiscriminatorsMakeKeysInListOrder) {
  auto throttle = make();
  struct Case {
    const char* event;
    Properties properties;
    std::string key;
  };
  const Case cases[] = {
      {"tag_created", {}, "tag_created"},
      {"E", {{"step", "S"}, {"colour", "red"}}, "E|step=S"},
      {"E", {{"step", "S"}, {"source", "menu"}, {"reason", 3}}, "E|source=menu|reason=3|step=S"},
      {"E",
       {{"variant", true}, {"surface", false}, {"step", -7}},
       "E|surface=false|variant=true|step=-7"},
      {"E", {{"step", 1.0}}, "E|step=1.0"},
      {"E", {{"step", 0.3}}, "E|step=0.3"},
      {"E", {{"step", 1e-05}}, "E|step=1e-05"},
      {"E", {{"step", 100000.0}}, "E|step=100000.0"},
      {"E", {{"step", 0.0001}}, "E|step=0.0001"},
      {"E", {{"step", -2.5}}, "E|step=-2.5"},
      {"E", {{"step", 9007199254740992.0}}, "E|step=9007199254740992.0"},
      {"E", {{"step", 1e16}}, "E|step=1e+16"},
      {"E", {{"step", 1.5e300}}, "E|step=1.5e+300"},
      {"E", {{"step", 18446744073709551615ull}}, "E|step=18446744073709551615"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(throttle.coalescingKey(c.event, &c.properties), c.key);
  }
}

TEST_F(AnalyticsEmitThrottleTests, DifferentDiscriminatorValuesPassOtherPropertiesDoNot) {
  auto throttle = make();
  Properties one{{"step", "permissions"}, {"detail", "a"}};
  Properties two{{"step", "sign_in"}, {"detail", "a"}};
  Properties sameKey{{"step", "permissions"}, {"detail", "b"}};
  EXPECT_TRUE(throttle.allowEmit("onboarding_step", &one));
  EXPECT_TRUE(throttle.allowEmit("onboarding_step", &two));
  EXPECT_FALSE(throttle.allowEmit("onboarding_step", &sameKey));
  EXPECT_FALSE(throttle.allowEmit("onboarding_step", &one));
}

TEST_F(AnalyticsEmitThrottleTests, PrunesKeysAtLeastOneWindowOldOncePastTwoHundredFiftySix) {
  AnalyticsEmitThrottleOptions options;
  options.budgetMax = 1000;
  auto throttle = make(options);
  for (int i = 0; i < 200; ++i)
    ASSERT_TRUE(throttle.allowEmit("old_" + std::to_string(i), nullptr));
  advance(60);
  for (int i = 0; i < 56; ++i) ASSERT_TRUE(throttle.allowEmit("new_" + std::to_string(i), nullptr));
  EXPECT_EQ(throttle.keyCount(), 256u);
  // The 257th key prunes the 200 keys that are a full window old.
  ASSERT_TRUE(throttle.allowEmit("new_56", nullptr));
  EXPECT_EQ(throttle.keyCount(), 57u);
  EXPECT_TRUE(throttle.allowEmit("old_0", nullptr));

  // Keys younger than the window stay, even above 256.
  for (int i = 57; i < 300; ++i)
    ASSERT_TRUE(throttle.allowEmit("new_" + std::to_string(i), nullptr));
  EXPECT_EQ(throttle.keyCount(), 301u);
}

TEST_F(AnalyticsEmitThrottleTests, AClockGoingBackwardsNeitherRefillsNorMovesTheRefillTime) {
  auto throttle = make();
  EXPECT_EQ(drain(throttle, "burst_"), 200);
  advance(-100);
  EXPECT_FALSE(throttle.allowEmit("back", nullptr));
  EXPECT_EQ(throttle.budgetTokens(), 0.0);
  // Refill counts from the last refill, not from the earlier reading.
  advance(100.5);
  EXPECT_TRUE(throttle.allowEmit("forward", nullptr));
  EXPECT_FALSE(throttle.allowEmit("forward_2", nullptr));
}

TEST_F(AnalyticsEmitThrottleTests, WithoutRefillTheBucketNeverRefills) {
  AnalyticsEmitThrottleOptions options;
  options.budgetMax = 2;
  options.budgetRefill = 0;
  auto throttle = make(options);
  EXPECT_EQ(drain(throttle, "a_"), 2);
  advance(1e6);
  EXPECT_FALSE(throttle.allowEmit("later", nullptr));
}

TEST_F(AnalyticsEmitThrottleTests, ConcurrentCallersSpendTheBudgetExactlyOnce) {
  auto throttle = make();
  std::atomic<int> passed = 0;
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 100; ++i) {
        if (throttle.allowEmit("e_" + std::to_string(t) + "_" + std::to_string(i), nullptr)) {
          ++passed;
        }
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(passed.load(), 200);
}

// The app's throttle runs on the monotonic clock, so a user stepping the wall clock back by
// an hour does not hold repeated events back for that hour.
class AnalyticsEmitThrottleClockTests : public platform::testing::SimTest {};

TEST_F(AnalyticsEmitThrottleClockTests, TheMonotonicClockIgnoresAWallClockSteppedBack) {
  AnalyticsEmitThrottle throttle(AnalyticsEmitThrottleOptions::production,
                                 AnalyticsEmitThrottle::monotonicClock());
  EXPECT_TRUE(throttle.allowEmit("tag_created", nullptr));
  clock().setWallTime(clock().now().addingTimeInterval(-3600));
  advance(60);
  EXPECT_TRUE(throttle.allowEmit("tag_created", nullptr));
}

}  // namespace
}  // namespace voskary
