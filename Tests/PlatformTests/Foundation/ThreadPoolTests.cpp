#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <memory>
#include <thread>

#include "Platform/Foundation/DispatchQueue.h"

namespace platform {
namespace {

// A serial queue's last reference can sit in work running on the pool, so the pool may be
// destroyed on one of its own threads; that used to join the thread to itself and abort.
TEST(ThreadPoolTest, WorkOnThePoolMayReleaseTheLastReferenceToIt) {
  for (int round = 0; round < 20; ++round) {
    auto pool = std::make_shared<ThreadPool>(2);
    std::promise<void> released;
    auto* raw = pool.get();
    raw->post([pool = std::move(pool), &released]() mutable {
      pool.reset();
      released.set_value();
    });
    released.get_future().wait();
  }
}

TEST(ThreadPoolTest, FinishesQueuedWorkBeforeItGoes) {
  std::atomic<int> ran{0};
  {
    ThreadPool pool(2);
    for (int i = 0; i < 100; ++i) pool.post([&] { ++ran; });
  }
  EXPECT_EQ(ran.load(), 100);
}

// An idle process keeps no workers it has not needed: none before the first work, another only
// while every worker is busy, never more than the limit.
TEST(ThreadPoolTest, StartsWorkersOnlyWhenAllAreBusy) {
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  std::atomic<int> running{0};
  std::atomic<int> finished{0};
  auto blocked = [&, released] {
    ++running;
    released.wait();
    ++finished;
  };
  {
    ThreadPool pool(3);
    EXPECT_EQ(pool.threadCount(), 0u);
    pool.post(blocked);
    EXPECT_EQ(pool.threadCount(), 1u);
    while (running.load() < 1) std::this_thread::yield();
    pool.post(blocked);
    EXPECT_EQ(pool.threadCount(), 2u);
    for (int i = 0; i < 4; ++i) pool.post(blocked);
    while (running.load() < 3) std::this_thread::yield();
    EXPECT_EQ(pool.threadCount(), 3u);
    release.set_value();
  }
  EXPECT_EQ(finished.load(), 6);
}

}  // namespace
}  // namespace platform
