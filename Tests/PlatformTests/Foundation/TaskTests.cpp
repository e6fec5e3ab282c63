#include "Platform/Foundation/Task.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>

#include "Platform/Foundation/DispatchQueue.h"
#include "Platform/Foundation/RunLoop.h"
#include "Support/SimTest.h"

namespace platform {
namespace {

using TaskTest = testing::SimTest;

Task<int> answer() {
  co_return 42;
}

Task<int> failing() {
  throw std::runtime_error("boom");
  co_return 0;
}

Task<int> sumOfTwo() {
  int a = co_await answer();
  int b = co_await answer();
  co_return a + b;
}

TEST_F(TaskTest, AwaitedTasksReturnTheirValues) {
  EXPECT_EQ(await(sumOfTwo()), 84);
}

TEST_F(TaskTest, TaskIsLazyUntilAwaited) {
  bool started = false;
  auto make = [](bool* flag) -> Task<void> {
    *flag = true;
    co_return;
  };
  auto task = make(&started);
  runUntilIdle();
  EXPECT_FALSE(started);
  await(std::move(task));
  EXPECT_TRUE(started);
}

Task<std::string> catchesChild() {
  try {
    co_await failing();
  } catch (const std::runtime_error& e) {
    co_return std::string("caught ") + e.what();
  }
  co_return "nothing";
}

TEST_F(TaskTest, ExceptionReachesTheAwaiter) {
  EXPECT_EQ(await(catchesChild()), "caught boom");
  EXPECT_THROW(await(failing()), std::runtime_error);
}

Task<void> escapes() {
  co_await failing();
}

TEST_F(TaskTest, ExceptionEscapingASpawnedTaskIsReported) {
  auto handle = spawn(escapes());
  runUntilIdle();
  EXPECT_TRUE(handle.isFinished());
  ASSERT_EQ(sim().unhandledErrors().size(), 1u);
  EXPECT_EQ(sim().unhandledErrors()[0], "Unhandled error in a task: boom");
}

TEST_F(TaskTest, SpawnRunsOnTheMainLoopNotInline) {
  bool ran = false;
  auto body = [](bool* flag) -> Task<void> {
    *flag = true;
    co_return;
  };
  spawn(body(&ran));
  EXPECT_FALSE(ran);
  runUntilIdle();
  EXPECT_TRUE(ran);
}

TEST_F(TaskTest, ContinuationResumedTwiceRunsItsWaiterOnce) {
  int resumes = 0;
  auto body = [](int* count) -> Task<void> {
    auto start = [](Continuation<int> c) {
      EXPECT_TRUE(c.resume(1));
      EXPECT_FALSE(c.resume(2));
    };
    int v = co_await withContinuation<int>(std::move(start));
    EXPECT_EQ(v, 1);
    ++*count;
  };
  await(body(&resumes));
  runUntilIdle();
  EXPECT_EQ(resumes, 1);
}

TEST_F(TaskTest, ContinuationDestroyedWithoutResumeFailsItsWaiter) {
  auto body = []() -> Task<int> {
    auto dropIt = [](Continuation<int>) {};
    co_return co_await withContinuation<int>(std::move(dropIt));
  };
  try {
    await(body());
    FAIL() << "expected a ProgrammingError";
  } catch (const ProgrammingError& e) {
    EXPECT_STREQ(e.what(), "continuation destroyed without being resumed");
  }
}

Task<std::thread::id> threadAfterForeignResume(std::thread* worker) {
  auto start = [worker](Continuation<void> c) { *worker = std::thread([c] { c.resume(); }); };
  co_await withContinuation<void>(std::move(start));
  co_return std::this_thread::get_id();
}

TEST_F(TaskTest, ContinuationResumedFromAnotherThreadResumesOnTheMainLoop) {
  std::thread worker;
  auto out = std::make_shared<std::thread::id>();
  spawn([](std::thread* w, std::shared_ptr<std::thread::id> o) -> Task<void> {
    *o = co_await threadAfterForeignResume(w);
  }(&worker, out));
  runUntilIdle();
  worker.join();
  runUntilIdle();
  EXPECT_EQ(*out, std::this_thread::get_id());
}

TEST_F(TaskTest, SleepWaitsOnTheManualClock) {
  auto start = clock().uptime();
  auto handle = spawn([]() -> Task<void> { co_await sleep(2.5); }());
  advance(2.4);
  EXPECT_FALSE(handle.isFinished());
  advance(0.1);
  EXPECT_TRUE(handle.isFinished());
  EXPECT_EQ(clock().uptime() - start, seconds(2.5));
}

TEST_F(TaskTest, CancellingASleepingTaskThrowsCancellationErrorIntoIt) {
  bool sawCancel = false;
  auto handle = spawn([](bool* saw) -> Task<void> {
    try {
      co_await sleep(100);
    } catch (const CancellationError&) {
      *saw = true;
    }
    co_await checkCancellation();
  }(&sawCancel));
  advance(1);
  handle.cancel();
  runUntilIdle();
  EXPECT_TRUE(sawCancel);
  EXPECT_TRUE(handle.isFinished());
  // checkCancellation after the catch threw again, and that was reported.
  ASSERT_EQ(sim().unhandledErrors().size(), 1u);
}

Task<void> sleepsLong() {
  co_await sleep(100);
}
Task<void> awaitsASleeper() {
  co_await sleepsLong();
}

TEST_F(TaskTest, CancellationReachesAwaitedTasks) {
  auto handle = spawn(awaitsASleeper());
  runUntilIdle();
  handle.cancel();
  runUntilIdle();
  EXPECT_TRUE(handle.isFinished());
  ASSERT_EQ(sim().unhandledErrors().size(), 1u);
  EXPECT_EQ(sim().unhandledErrors()[0], "Unhandled error in a task: The operation was cancelled.");
}

// On the real runtime: hop to a serial queue on the pool, then back to the main loop.
TEST(RealTaskTest, ResumeOnMovesBetweenExecutors) {
  auto e = std::make_shared<Environment>();
  e->clock = std::make_shared<SystemClock>();
  e->mainLoop = std::make_shared<RunLoop>(e->clock);
  e->backgroundPool = std::make_shared<ThreadPool>(2);
  auto previous = installEnvironment(e);
  auto queue = e->makeSerialQueue("test.queue");
  auto mainThread = std::this_thread::get_id();
  std::thread::id onQueue, back;
  spawn([](std::shared_ptr<SerialQueue> q, std::thread::id* a, std::thread::id* b) -> Task<void> {
    co_await resumeOn(q);
    *a = std::this_thread::get_id();
    co_await resumeOnMain();
    *b = std::this_thread::get_id();
    env().mainLoop->stop();
  }(queue, &onQueue, &back));
  e->mainLoop->run();
  EXPECT_NE(onQueue, mainThread);
  EXPECT_EQ(back, mainThread);
  installEnvironment(previous);
}

}  // namespace
}  // namespace platform
