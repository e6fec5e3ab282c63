#include <gtest/gtest.h>
#include <netinet/in.h>

#include <chrono>
#include <condition_variable>
#include <deque>

#include "Platform/Foundation/DispatchQueue.h"
#include "Platform/Linux/NetlinkPathMonitor.h"
#include "Support/SimTest.h"

namespace platform {
namespace {

class PathMonitorTests : public testing::SimTest {
 protected:
  std::shared_ptr<PathMonitor> startMonitor() {
    auto monitor = env().pathMonitors->makeMonitor();
    monitor->setUpdateHandler([this](const NetworkPath& path) { seen.push_back(path.status); });
    monitor->start(env().makeSerialQueue("test.reachability"));
    return monitor;
  }
  std::vector<NetworkPathStatus> seen;
};

TEST_F(PathMonitorTests, ReportsTheCurrentPathThenEveryChangeOnItsQueue) {
  auto monitor = startMonitor();
  EXPECT_TRUE(seen.empty());  // delivered on the queue, never inside start
  runUntilIdle();
  sim().network->setStatus(NetworkPathStatus::requiresConnection);
  sim().network->setStatus(NetworkPathStatus::requiresConnection);
  sim().network->setStatus(NetworkPathStatus::unsatisfied);
  runUntilIdle();
  EXPECT_EQ(seen, (std::vector{NetworkPathStatus::satisfied, NetworkPathStatus::requiresConnection,
                               NetworkPathStatus::unsatisfied}));
}

TEST_F(PathMonitorTests, NothingArrivesAfterCancelOrRelease) {
  sim().network->setStatus(NetworkPathStatus::unsatisfied);
  auto monitor = startMonitor();
  runUntilIdle();
  sim().network->setStatus(NetworkPathStatus::satisfied);
  monitor->cancel();  // the change was posted but not yet run
  runUntilIdle();
  EXPECT_EQ(seen, std::vector{NetworkPathStatus::unsatisfied});
  EXPECT_EQ(sim().network->activeMonitorCount(), 0u);

  auto second = startMonitor();
  EXPECT_EQ(sim().network->activeMonitorCount(), 1u);
  second.reset();
  EXPECT_EQ(sim().network->activeMonitorCount(), 0u);
}

TEST(NetlinkPathMonitorTests, ClassifiesInterfaces) {
  using linuxbackend::InterfaceAddress;
  const InterfaceAddress loopback{true, true, true, AF_INET, false};
  const InterfaceAddress ethernet{true, true, false, AF_INET, false};
  const InterfaceAddress linkLocalOnly{true, true, false, AF_INET6, true};
  const InterfaceAddress cableOut{true, false, false, AF_INET, false};
  const InterfaceAddress ipv6{true, true, false, AF_INET6, false};
  struct Case {
    std::vector<InterfaceAddress> addresses;
    NetworkPathStatus status;
  };
  const Case cases[] = {
      {{}, NetworkPathStatus::unsatisfied},
      {{loopback}, NetworkPathStatus::unsatisfied},
      {{loopback, linkLocalOnly, cableOut}, NetworkPathStatus::unsatisfied},
      {{loopback, ethernet}, NetworkPathStatus::satisfied},
      {{linkLocalOnly, ipv6}, NetworkPathStatus::satisfied},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(linuxbackend::pathStatus(cases[i].addresses), cases[i].status) << i;
  }
}

// Collects posted work for the test thread to run.
class InboxExecutor final : public Executor {
 public:
  void post(Work work) override {
    std::lock_guard lock(mutex_);
    work_.push_back(std::move(work));
    ready_.notify_all();
  }
  bool runOne(std::chrono::seconds limit) {
    std::unique_lock lock(mutex_);
    if (!ready_.wait_for(lock, limit, [&] { return !work_.empty(); })) return false;
    auto work = std::move(work_.front());
    work_.pop_front();
    lock.unlock();
    work();
    return true;
  }

 private:
  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<Work> work_;
};

TEST(NetlinkPathMonitorTests, ReportsTheMachinesPathAndStopsOnCancel) {
  auto inbox = std::make_shared<InboxExecutor>();
  auto monitor = linuxbackend::NetlinkPathMonitorFactory().makeMonitor();
  std::optional<NetworkPathStatus> status;
  monitor->setUpdateHandler([&](const NetworkPath& path) { status = path.status; });
  monitor->start(inbox);
  ASSERT_TRUE(inbox->runOne(std::chrono::seconds(10)));
  EXPECT_EQ(status, linuxbackend::pathStatus(linuxbackend::currentInterfaceAddresses()));
  monitor->cancel();
  monitor.reset();
}

}  // namespace
}  // namespace platform
