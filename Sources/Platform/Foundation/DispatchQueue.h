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
  ~ThreadPool() override;  // finishes queued work, then joins

  void post(Work work) override;

 private:
  void worker();

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<Work> queue_;
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace platform
