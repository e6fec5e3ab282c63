#include <gtest/gtest.h>

#include <vector>

#include "Flagrig/Onboarding/NetworkReachabilityService.h"
#include "Support/SimTest.h"

namespace flagrig::testing {
namespace {

using platform::NetworkPathStatus;

class NetworkReachabilityTest : public platform::testing::SimTest {};

TEST_F(NetworkReachabilityTest, FollowsThePathAndTellsObserversOfEachChangeOnTheMainLoop) {
  auto& service = NetworkReachabilityService::shared();
  // Before the monitor's first report.
  EXPECT_TRUE(service.isOnline());
  std::vector<bool> heard;
  auto observation = service.observe([&](bool online) { heard.push_back(online); });
  runUntilIdle();
  EXPECT_TRUE(heard.empty()) << "the first report repeats the initial value";

  struct Step {
    NetworkPathStatus status;
    bool online;
  };
  for (const auto& step :
       {Step{NetworkPathStatus::unsatisfied, false}, Step{NetworkPathStatus::satisfied, true},
        Step{NetworkPathStatus::requiresConnection, false}}) {
    sim().network->setStatus(step.status);
    EXPECT_EQ(service.isOnline(), !step.online) << "written on the main loop, not inline";
    runUntilIdle();
    EXPECT_EQ(service.isOnline(), step.online);
  }
  EXPECT_EQ(heard, (std::vector<bool>{false, true, false}));

  observation.reset();
  EXPECT_EQ(service.observerCount(), 0u);
  sim().network->setStatus(NetworkPathStatus::satisfied);
  runUntilIdle();
  EXPECT_EQ(heard.size(), 3u);
  // One monitor for the process, however often the service is read.
  NetworkReachabilityService::shared();
  EXPECT_EQ(sim().network->activeMonitorCount(), 1u);
}

}  // namespace
}  // namespace flagrig::testing
