#include "Platform/Foundation/NotificationCenter.h"

#include <gtest/gtest.h>

#include "Platform/Foundation/RunLoop.h"
#include "Platform/Foundation/SharedInstance.h"
#include "Support/SimTest.h"

namespace platform {
namespace {

using NotificationCenterTest = testing::SimTest;

TEST_F(NotificationCenterTest, DeliversByNameAndSender) {
  auto& center = *env().notificationCenter;
  int sender = 0, other = 0;
  std::vector<std::string> seen;
  center.addObserver("n", nullptr, nullptr,
                     [&](const Notification& n) { seen.push_back("any:" + n.name); });
  center.addObserver("n", &sender, nullptr, [&](const Notification&) { seen.push_back("sender"); });
  center.post("n", &other);
  center.post("n", &sender, {{"k", 1}});
  center.post("unrelated");
  EXPECT_EQ(seen, (std::vector<std::string>{"any:n", "any:n", "sender"}));
}

TEST_F(NotificationCenterTest, QueuedDeliveryRunsOnTheMainLoopAfterThePost) {
  auto& center = *env().notificationCenter;
  std::vector<std::string> order;
  center.addObserver("n", nullptr, env().mainLoop, [&](const Notification& n) {
    order.push_back("observer " + std::to_string(*n.userInfo.at("i").asInt()));
  });
  center.post("n", nullptr, {{"i", 1}});
  order.push_back("after post");
  runUntilIdle();
  EXPECT_EQ(order, (std::vector<std::string>{"after post", "observer 1"}));
}

TEST_F(NotificationCenterTest, ObserverRemovedDuringDeliveryIsNotCalled) {
  auto& center = *env().notificationCenter;
  int secondCalls = 0, queuedCalls = 0;
  NotificationCenter::Token second, queued;
  center.addObserver("n", nullptr, nullptr, [&](const Notification&) {
    center.removeObserver(second);
    center.removeObserver(queued);
  });
  second = center.addObserver("n", nullptr, nullptr, [&](const Notification&) { ++secondCalls; });
  queued =
      center.addObserver("n", nullptr, env().mainLoop, [&](const Notification&) { ++queuedCalls; });
  center.post("n");
  runUntilIdle();
  EXPECT_EQ(secondCalls, 0);
  EXPECT_EQ(queuedCalls, 0);
}

struct Counter {
  static inline int made = 0;
  Counter() { ++made; }
  int value = 0;
};

TEST_F(NotificationCenterTest, SharedInstancesAreResetBetweenUses) {
  static SharedInstance<Counter> instance;
  instance.get().value = 5;
  EXPECT_EQ(&instance.get(), &instance.get());
  resetSharedInstances();
  EXPECT_EQ(instance.get().value, 0);
  EXPECT_EQ(Counter::made, 2);
}

}  // namespace
}  // namespace platform
