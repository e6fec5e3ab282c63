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

// The shared pool for background work: a fixed set of threads taking work in FIFO order.
class ThreadPool final : public Executor {
 public:
  explicit ThreadPool(unsigned threads = std::thread::hardware_concurrency());
  // Finishes queued work, then joins. A pool whose last reference goes with a work item of its
  // own ends on that worker, which cannot join itself: it is detached and finishes on the state
  // it shares with the pool.
  ~ThreadPool() override;

  void post(Work work) override;

 private:
  struct Shared {
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<Work> queue;
    bool stopping = false;
    ThreadPool* pool = nullptr;  // cleared when the pool goes away
  };
  static void worker(std::shared_ptr<Shared> shared);

  std::shared_ptr<Shared> shared_ = std::make_shared<Shared>();
  std::vector<std::thread> threads_;
};

}  // namespace platform
