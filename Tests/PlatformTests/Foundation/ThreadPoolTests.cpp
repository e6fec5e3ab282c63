#include <gtest/gtest.h>

#include <future>
#include <memory>

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

}  // namespace
}  // namespace platform
