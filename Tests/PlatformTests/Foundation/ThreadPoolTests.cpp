#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>

#include "Platform/Foundation/DispatchQueue.h"

namespace platform {
namespace {

// The last reference to a pool can go with one of its own work items (a serial queue's drain
// holds its target): the pool then ends on its own worker thread, which cannot join itself.
TEST(ThreadPoolTest, MayBeReleasedByItsOwnWork) {
  struct Last {
    std::shared_ptr<ThreadPool> pool;
    std::promise<void> gone;
    ~Last() {
      pool.reset();  // the pool's destructor runs here, on its worker
      gone.set_value();
    }
  };
  for (unsigned threads : {1u, 3u}) {
    auto last = std::make_shared<Last>();
    last->pool = std::make_shared<ThreadPool>(threads);
    auto gone = last->gone.get_future();
    std::promise<void> released;
    auto go = released.get_future().share();
    std::weak_ptr<ThreadPool> weak = last->pool;
    last->pool->post([last, go] { go.wait(); });
    last.reset();
    released.set_value();
    ASSERT_EQ(gone.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_TRUE(weak.expired());
  }
}

}  // namespace
}  // namespace platform
