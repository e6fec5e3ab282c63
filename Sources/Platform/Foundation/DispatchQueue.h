#pragma once

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Platform/Foundation/Executor.h"

namespace platform {

// A named queue that runs its work one item at a time, in order, on a target executor (the
// shared background pool, or the main loop in the simulated environment).
class SerialQueue final : public Executor {
 public:
  SerialQueue(std::string label, std::shared_ptr<Executor> target);
  ~SerialQueue() override;

  void post(Work work) override;
  const std::string& label() const { return label_; }

 private:
  struct State;
  static void drain(const std::shared_ptr<State>& state);

  std::string label_;
  std::shared_ptr<State> state_;
};

// The shared pool for background work: threads taking work in FIFO order. A worker starts only
// when work is posted and every worker there is busy, up to `maximumThreads`: an idle process
// keeps no threads (nor their stacks and malloc arenas) it has not needed.
class ThreadPool final : public Executor {
 public:
  explicit ThreadPool(unsigned maximumThreads = std::thread::hardware_concurrency());
  // Finishes queued work, then joins. Work on the pool may drop the last reference to it: that
  // worker is detached and ends on its own, as it cannot join itself.
  ~ThreadPool() override;

  void post(Work work) override;
  // The workers started so far.
  unsigned threadCount() const;

 private:
  // What the workers use; it outlives the pool while a detached worker still runs.
  struct Shared {
    mutable std::mutex mutex;
    std::condition_variable wake;
    std::deque<Work> queue;
    // Workers waiting for work.
    std::size_t idle = 0;
    bool stopping = false;
    // Started workers; guarded by the mutex, as any thread may start one.
    std::vector<std::thread> threads;
  };
  static void worker(ThreadPool* pool, const std::shared_ptr<Shared>& shared);

  std::shared_ptr<Shared> shared_ = std::make_shared<Shared>();
  unsigned maximumThreads_;
};

}  // namespace platform
