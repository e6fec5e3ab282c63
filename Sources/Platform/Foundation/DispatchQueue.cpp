#include "Platform/Foundation/DispatchQueue.h"

#include "Platform/Foundation/SignalStack.h"

#include <system_error>

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

ThreadPool::ThreadPool(unsigned maximumThreads)
    : maximumThreads_(maximumThreads == 0 ? 2 : maximumThreads) {}

ThreadPool::~ThreadPool() {
  std::vector<std::thread> threads;
  {
    std::lock_guard lock(shared_->mutex);
    shared_->stopping = true;
    threads.swap(shared_->threads);
  }
  shared_->wake.notify_all();
  for (auto& t : threads) {
    if (t.get_id() == std::this_thread::get_id()) {
      t.detach();
    } else {
      t.join();
    }
  }
}

void ThreadPool::post(Work work) {
  // Once the lock is released the work may run and drop the last reference to this pool, so
  // nothing after that point may reach the pool through `this`.
  auto shared = shared_;
  {
    std::lock_guard lock(shared->mutex);
    shared->queue.push_back(std::move(work));
    // Each waiting worker takes one item; more queued than that wants another worker.
    if (shared->queue.size() > shared->idle && shared->threads.size() < maximumThreads_ &&
        !shared->stopping) {
      try {
        shared->threads.emplace_back([this, shared] { worker(this, shared); });
      } catch (const std::system_error&) {
        // Out of threads: a running worker gets to it later; with none, nothing ever would.
        if (shared->threads.empty()) {
          shared->queue.pop_back();
          throw;
        }
      }
    }
  }
  shared->wake.notify_one();
}

unsigned ThreadPool::threadCount() const {
  std::lock_guard lock(shared_->mutex);
  return static_cast<unsigned>(shared_->threads.size());
}

void ThreadPool::worker(ThreadPool* pool, const std::shared_ptr<Shared>& shared) {
  SignalStack::installForThisThread();
  CurrentScope scope(pool);
  for (;;) {
    Work work;
    {
      std::unique_lock lock(shared->mutex);
      ++shared->idle;
      shared->wake.wait(lock, [&] { return shared->stopping || !shared->queue.empty(); });
      --shared->idle;
      if (shared->queue.empty()) return;
      work = std::move(shared->queue.front());
      shared->queue.pop_front();
    }
    work();
  }
}

}  // namespace platform
