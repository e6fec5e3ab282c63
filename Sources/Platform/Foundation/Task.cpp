#include "Platform/Foundation/Task.h"

#include <cstdio>
#include <string>
#include <vector>

#include "Platform/Foundation/Environment.h"
#include "Platform/Foundation/RunLoop.h"

namespace platform {

void CancellationState::cancel() {
  std::map<HandlerId, std::function<void()>> handlers;
  {
    std::lock_guard lock(mutex_);
    if (cancelled_.exchange(true)) return;
    handlers.swap(handlers_);
  }
  for (auto& [id, handler] : handlers) handler();
}

CancellationState::HandlerId CancellationState::onCancel(std::function<void()> handler) {
  {
    std::lock_guard lock(mutex_);
    if (!cancelled_) {
      HandlerId id = nextId_++;
      handlers_.emplace(id, std::move(handler));
      return id;
    }
  }
  handler();
  return 0;
}

void CancellationState::remove(HandlerId id) {
  std::lock_guard lock(mutex_);
  handlers_.erase(id);
}

namespace {

// The frame behind `spawn`: starts suspended, frees itself when done.
struct Detached {
  struct promise_type : detail::PromiseBase {
    Detached get_return_object() {
      return Detached{std::coroutine_handle<promise_type>::from_promise(*this)};
    }
    std::suspend_never final_suspend() noexcept { return {}; }
    void return_void() {}
  };
  std::coroutine_handle<promise_type> handle;
};

Detached runDetached(Task<void> task, std::shared_ptr<std::atomic<bool>> finished) {
  try {
    co_await std::move(task);
  } catch (...) {
    reportUnhandledTaskError(std::current_exception());
  }
  finished->store(true);
}

// Destroys a spawned frame whose start was dropped unrun (its executor went away first).
struct StartGuard {
  explicit StartGuard(std::coroutine_handle<> h) : handle(h) {}
  StartGuard(const StartGuard&) = delete;
  StartGuard& operator=(const StartGuard&) = delete;
  std::coroutine_handle<> handle;
  bool started = false;
  ~StartGuard() {
    if (!started) handle.destroy();
  }
};

std::mutex spawnedMutex;
std::vector<std::weak_ptr<TaskContext>> spawned;

void remember(const std::shared_ptr<TaskContext>& context) {
  std::lock_guard lock(spawnedMutex);
  if (spawned.size() >= 64 && spawned.size() % 64 == 0) {
    std::erase_if(spawned, [](const auto& w) { return w.expired(); });
  }
  spawned.push_back(context);
}

}  // namespace

TaskHandle spawn(Task<void> task, std::shared_ptr<Executor> executor) {
  if (!executor) executor = env().mainLoop;
  auto context = std::make_shared<TaskContext>(executor);
  auto finished = std::make_shared<std::atomic<bool>>(false);
  auto frame = runDetached(std::move(task), finished);
  frame.handle.promise().context = context;
  remember(context);
  auto guard = std::make_shared<StartGuard>(frame.handle);
  executor->post([guard] {
    guard->started = true;
    guard->handle.resume();
  });
  return TaskHandle(context, finished);
}

void cancelAllSpawnedTasks() {
  std::vector<std::shared_ptr<TaskContext>> live;
  {
    std::lock_guard lock(spawnedMutex);
    for (auto& w : spawned) {
      if (auto c = w.lock()) live.push_back(std::move(c));
    }
    spawned.clear();
  }
  for (auto& c : live) c->cancellation.cancel();
}

void reportUnhandledTaskError(std::exception_ptr error) {
  std::string message = "Unhandled error in a task: ";
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    message += e.what();
  } catch (...) {
    message += "unknown exception";
  }
  if (hasEnvironment() && env().reportUnhandledError) {
    env().reportUnhandledError(message);
  } else {
    std::fprintf(stderr, "%s\n", message.c_str());
  }
}

ResumeOn resumeOnMain() {
  return ResumeOn{env().mainLoop};
}

Task<void> sleep(double seconds) {
  auto loop = env().mainLoop;
  auto start = [loop, seconds](Continuation<void> c) {
    auto item = loop->postAfter(seconds, [c] { c.resume(); });
    c.onCancel([item](const Continuation<void>& waiting) {
      item->cancel();
      waiting.resumeThrowing(CancellationError());
    });
  };
  co_await withContinuation<void>(std::move(start));
}

}  // namespace platform
