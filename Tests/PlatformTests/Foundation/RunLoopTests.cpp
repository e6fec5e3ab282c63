#include "Platform/Foundation/RunLoop.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <thread>
#include <vector>

#include "Support/SimTest.h"

namespace platform {
namespace {

using RunLoopTest = testing::SimTest;

TEST_F(RunLoopTest, PostedWorkRunsInOrderAndPostsFromWorkRunInTheSameDrain) {
  std::vector<int> order;
  for (int i = 0; i < 5; ++i)
    loop().post([&, i] {
      order.push_back(i);
      if (i == 0) loop().post([&] { order.push_back(100); });
    });
  runUntilIdle();
  EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 4, 100}));
}

TEST_F(RunLoopTest, WorkFromEachThreadKeepsItsOrder) {
  constexpr int kThreads = 4, kEach = 500;
  std::vector<std::pair<int, int>> seen;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kEach; ++i) loop().post([&seen, t, i] { seen.emplace_back(t, i); });
    });
  }
  for (auto& t : threads) t.join();
  runUntilIdle();
  ASSERT_EQ(seen.size(), std::size_t{kThreads * kEach});
  std::vector<int> next(kThreads, 0);
  for (auto [t, i] : seen) EXPECT_EQ(i, next[t]++);
}

TEST_F(RunLoopTest, DelayedWorkRunsInDeadlineOrderWithTiesInPostingOrder) {
  std::vector<std::string> order;
  loop().postAfter(0.3, [&] { order.push_back("c"); });
  loop().postAfter(0.1, [&] { order.push_back("a1"); });
  loop().postAfter(0.1, [&] { order.push_back("a2"); });
  auto cancelled = loop().postAfter(0.2, [&] { order.push_back("cancelled"); });
  loop().postAfter(0.2, [&] { order.push_back("b"); });
  cancelled->cancel();

  advance(0.15);
  EXPECT_EQ(order, (std::vector<std::string>{"a1", "a2"}));
  advance(1);
  EXPECT_EQ(order, (std::vector<std::string>{"a1", "a2", "b", "c"}));
}

TEST_F(RunLoopTest, DelayedWorkSeesTheClockAtItsDeadline) {
  auto start = clock().uptime();
  Uptime seenAt{};
  loop().postAfter(0.25, [&] { seenAt = clock().uptime(); });
  advance(10);
  EXPECT_EQ(seenAt - start, seconds(0.25));
}

TEST_F(RunLoopTest, ThirtyHertzTimerFiresExactlyThirtyTimesASecond) {
  int fires = 0;
  auto timer = loop().scheduleTimer(
      1.0 / 30.0, TimerKind::repeating, [&](Timer&) { ++fires; }, RunLoopModes::common());
  advance(1.0);
  EXPECT_EQ(fires, 30);
  advance(1.0);
  EXPECT_EQ(fires, 60);
  timer->invalidate();
  advance(1.0);
  EXPECT_EQ(fires, 60);
}

TEST_F(RunLoopTest, TimerCanInvalidateItselfAndOneShotTimersFireOnce) {
  int repeating = 0, once = 0;
  loop().scheduleTimer(0.1, TimerKind::repeating, [&](Timer& t) {
    if (++repeating == 3) t.invalidate();
  });
  loop().scheduleTimer(0.1, TimerKind::oneShot, [&](Timer&) { ++once; });
  advance(5);
  EXPECT_EQ(repeating, 3);
  EXPECT_EQ(once, 1);
}

TEST_F(RunLoopTest, CommonModeTimerFiresInModalSessionAndEndsIt) {
  int defaultFires = 0, commonFires = 0;
  loop().scheduleTimer(0.5, TimerKind::repeating, [&](Timer&) { ++defaultFires; });
  loop().scheduleTimer(
      2.0, TimerKind::repeating,
      [&](Timer& t) {
        if (loop().nestingDepth() == 0) return;
        if (++commonFires == 3) {
          t.invalidate();
          loop().endNested(1000);
        }
      },
      RunLoopModes::common());

  long response = 0;
  loop().post([&] {
    EXPECT_EQ(defaultFires, 0);
    response = loop().runNested(RunLoopMode::modal);
    // The default-mode timer waited for the whole session.
    EXPECT_EQ(defaultFires, 0);
  });
  runUntilIdle();
  EXPECT_EQ(response, 1000);
  EXPECT_EQ(commonFires, 3);
  EXPECT_EQ(loop().currentMode(), RunLoopMode::defaultMode);
  // Missed fires are skipped, not made up: one fire now, then the regular cadence.
  advance(0);
  EXPECT_EQ(defaultFires, 1);
  advance(0.5);
  EXPECT_EQ(defaultFires, 2);
}

TEST_F(RunLoopTest, PostedWorkRunsDuringModalSession) {
  bool ran = false;
  loop().post([&] {
    loop().post([&] {
      ran = true;
      loop().endNested(7);
    });
    EXPECT_EQ(loop().runNested(RunLoopMode::modal), 7);
  });
  runUntilIdle();
  EXPECT_TRUE(ran);
}

TEST_F(RunLoopTest, ManualRunWithNothingScheduledIsAProgrammingError) {
  EXPECT_THROW(loop().run(), ProgrammingError);
}

TEST_F(RunLoopTest, ManualRunJumpsFromDeadlineToDeadlineUntilStopped) {
  int fires = 0;
  loop().scheduleTimer(60, TimerKind::repeating, [&](Timer&) {
    if (++fires == 5) loop().stop();
  });
  loop().run();
  EXPECT_EQ(fires, 5);
}

// The real loop on the system clock.
TEST(SystemRunLoopTest, PostFromAnotherThreadWakesTheLoop) {
  auto loop = std::make_shared<RunLoop>(std::make_shared<SystemClock>());
  std::thread poster([&] { loop->post([&] { loop->stop(); }); });
  loop->run();
  poster.join();
}

TEST(SystemRunLoopTest, TimersFireOnTimeAndAnIdleLoopUsesNoCpu) {
  auto clock = std::make_shared<SystemClock>();
  auto loop = std::make_shared<RunLoop>(clock);
  auto start = clock->uptime();
  Uptime firedAt{};
  loop->postAfter(0.15, [&] {
    firedAt = clock->uptime();
    loop->stop();
  });
  rusage before{}, after{};
  getrusage(RUSAGE_SELF, &before);
  loop->run();
  getrusage(RUSAGE_SELF, &after);
  EXPECT_GE(firedAt - start, seconds(0.15));
  EXPECT_LT(firedAt - start, seconds(1.0));
  auto cpuMicros = [](const rusage& r) {
    return (r.ru_utime.tv_sec + r.ru_stime.tv_sec) * 1'000'000L + r.ru_utime.tv_usec +
           r.ru_stime.tv_usec;
  };
  EXPECT_LT(cpuMicros(after) - cpuMicros(before), 30'000)
      << "the idle loop spun instead of sleeping";
}

TEST(SystemRunLoopTest, ReadSourceRunsWhenItsDescriptorIsReadable) {
  auto loop = std::make_shared<RunLoop>(std::make_shared<SystemClock>());
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  int reads = 0;
  auto id = loop->addReadSource(fds[0], [&] {
    char c;
    ASSERT_EQ(read(fds[0], &c, 1), 1);
    ++reads;
    loop->stop();
  });
  std::thread writer([&] { ASSERT_EQ(write(fds[1], "x", 1), 1); });
  loop->run();
  writer.join();
  loop->removeReadSource(id);
  close(fds[0]);
  close(fds[1]);
  EXPECT_EQ(reads, 1);
}

// Records each wait and answers the watched descriptor as ready, without sleeping.
class RecordingWaiter final : public RunLoopWaiter {
 public:
  struct Call {
    int wakeFd;
    std::vector<int> watched;
    std::optional<Uptime> timeout;
  };
  std::vector<Call>* calls;
  explicit RecordingWaiter(std::vector<Call>* out) : calls(out) {}
  void wait(int wakeFd, std::span<const int> watched, std::optional<Uptime> timeout,
            std::vector<int>& ready) override {
    calls->push_back({wakeFd, std::vector<int>(watched.begin(), watched.end()), timeout});
    ready.assign(watched.begin(), watched.end());
  }
};

TEST(RunLoopWaiterTest, ASystemClockLoopSleepsInItsWaiterWithTheNextDeadlineAndItsSources) {
  auto loop = std::make_shared<RunLoop>(std::make_shared<SystemClock>());
  std::vector<RecordingWaiter::Call> calls;
  loop->setWaiter(std::make_unique<RecordingWaiter>(&calls));
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  int ready = 0;
  auto id = loop->addReadSource(fds[0], [&] {
    ++ready;
    loop->stop();
  });
  auto far = loop->postAfter(60, [] {});
  loop->run();
  EXPECT_EQ(ready, 1);
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].watched, std::vector<int>{fds[0]});
  ASSERT_TRUE(calls[0].timeout);
  EXPECT_GT(toSeconds(*calls[0].timeout), 59);
  EXPECT_LE(toSeconds(*calls[0].timeout), 60);
  far->cancel();
  loop->removeReadSource(id);
  close(fds[0]);
  close(fds[1]);

  // Back to poll(2): a post from another thread still wakes it.
  loop->setWaiter(nullptr);
  std::thread poster([&] { loop->post([&] { loop->stop(); }); });
  loop->run();
  poster.join();
  EXPECT_EQ(calls.size(), 1u);
}

TEST(RunLoopWaiterTest, AManualClockLoopHasNoWaiter) {
  RunLoop loop(std::make_shared<ManualClock>());
  EXPECT_THROW(loop.setWaiter(std::make_unique<PollRunLoopWaiter>()), ProgrammingError);
}

}  // namespace
}  // namespace platform
