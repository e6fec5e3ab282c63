#include "Platform/Foundation/DispatchQueue.h"

namespace platform {

struct SerialQueue::State {
  SerialQueue* queue;  // for Executor::current(); cleared when the queue goes away
  std::shared_ptr<Executor> target;
  std::mutex mutex;
  std::deque<Work> items;
  bool draining = false;
};

SerialQueue::SerialQueue(std::string label, std::shared_ptr<Executor> target)
    : label_(std::move(label)), state_(std::make_shared<State>()) {
  state_->queue = this;
  state_->target = std::move(target);
}

SerialQueue::~SerialQueue() {
  std::lock_guard lock(state_->mutex);
  state_->queue = nullptr;
}

void SerialQueue::post(Work work) {
  bool start;
  {
    std::lock_guard lock(state_->mutex);
    state_->items.push_back(std::move(work));
    start = !state_->draining;
    state_->draining = true;
  }
  if (start) state_->target->post([state = state_] { drain(state); });
}

void SerialQueue::drain(const std::shared_ptr<State>& state) {
  // Runs a batch, then yields the target so that one busy queue cannot starve the others.
  std::deque<Work> batch;
  SerialQueue* queue;
  {
    std::lock_guard lock(state->mutex);
    batch.swap(state->items);
    queue = state->queue;
  }
  {
    CurrentScope scope(queue);
    for (auto& work : batch) work();
  }
  std::lock_guard lock(state->mutex);
  if (state->items.empty()) {
    state->draining = false;
  } else {
    state->target->post([state] { drain(state); });
  }
}

ThreadPool::ThreadPool(unsigned threads) {
  if (threads == 0) threads = 2;
  for (unsigned i = 0; i < threads; ++i) threads_.emplace_back([this] { worker(); });
}

ThreadPool::~ThreadPool() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  for (auto& t : threads_) t.join();
}

void ThreadPool::post(Work work) {
  {
    std::lock_guard lock(mutex_);
    queue_.push_back(std::move(work));
  }
  wake_.notify_one();
}

void ThreadPool::worker() {
  CurrentScope scope(this);
  for (;;) {
    Work work;
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
      if (queue_.empty()) return;
      work = std::move(queue_.front());
      queue_.pop_front();
    }
    work();
  }
}

}  // namespace platform
