#pragma once

#include <atomic>
#include <coroutine>
#include <cstdint>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <type_traits>
#include <utility>
#include <variant>

#include "Platform/Foundation/Error.h"
#include "Platform/Foundation/Executor.h"

// Structured asynchronous work on C++20 coroutines.
//
// A `Task<T>` is lazy and move-only: nothing runs until it is awaited (or spawned), and an
// exception thrown inside reaches whoever awaits it. Every frame of one task tree shares a
// `TaskContext`: the executor the task runs on and its cancellation. Anything that suspends a
// task resumes it by posting to that executor, never inline on a foreign thread.
//
// NOTE on lambdas: g++ 12 destroys a lambda temporary that appears inside a `co_await`
// expression twice (`co_await withContinuation<T>([p](auto c) {...})` releases `p` twice and
// corrupts memory). Never write a lambda expression inside a `co_await` expression: bind it to
// a local variable and pass that. Other temporaries (strings, requests) are not affected.

namespace platform {

// Cooperative cancellation of one task tree.
class CancellationState {
 public:
  using HandlerId = std::uint64_t;

  bool isCancelled() const { return cancelled_.load(); }
  // Idempotent; runs the registered handlers once, on the calling thread.
  void cancel();
  // Registers `handler` for cancellation. Runs it at once, and returns 0, when already cancelled.
  HandlerId onCancel(std::function<void()> handler);
  void remove(HandlerId id);

 private:
  std::atomic<bool> cancelled_{false};
  std::mutex mutex_;
  std::map<HandlerId, std::function<void()>> handlers_;
  HandlerId nextId_ = 1;
};

struct TaskContext {
  explicit TaskContext(std::shared_ptr<Executor> e) : executor(std::move(e)) {}
  std::shared_ptr<Executor> executor;  // changed by `resumeOn`
  CancellationState cancellation;
};

template <class T = void>
class Task;

namespace detail {

struct PromiseBase {
  std::coroutine_handle<> continuation;
  std::shared_ptr<TaskContext> context;
  std::exception_ptr exception;

  std::suspend_always initial_suspend() noexcept { return {}; }
  struct FinalAwaiter {
    bool await_ready() noexcept { return false; }
    template <class P>
    std::coroutine_handle<> await_suspend(std::coroutine_handle<P> self) noexcept {
      auto next = self.promise().continuation;
      return next ? next : std::noop_coroutine();
    }
    void await_resume() noexcept {}
  };
  FinalAwaiter final_suspend() noexcept { return {}; }
  void unhandled_exception() { exception = std::current_exception(); }
};

template <class T>
struct Promise : PromiseBase {
  std::optional<T> value;
  Task<T> get_return_object();
  template <class U>
  void return_value(U&& v) {
    value.emplace(std::forward<U>(v));
  }
};

template <>
struct Promise<void> : PromiseBase {
  Task<void> get_return_object();
  void return_void() {}
};

// The context of the coroutine behind `handle`; our own promises only.
template <class P>
std::shared_ptr<TaskContext>& contextOf(std::coroutine_handle<P> handle) {
  static_assert(std::is_base_of_v<PromiseBase, P>, "only platform tasks can await this");
  return handle.promise().context;
}

}  // namespace detail

template <class T>
class [[nodiscard]] Task {
 public:
  using promise_type = detail::Promise<T>;
  using Handle = std::coroutine_handle<promise_type>;

  Task() = default;
  explicit Task(Handle h) : handle_(h) {}
  Task(Task&& other) noexcept : handle_(std::exchange(other.handle_, {})) {}
  Task& operator=(Task&& other) noexcept {
    if (this != &other) {
      if (handle_) handle_.destroy();
      handle_ = std::exchange(other.handle_, {});
    }
    return *this;
  }
  Task(const Task&) = delete;
  Task& operator=(const Task&) = delete;
  ~Task() {
    if (handle_) handle_.destroy();
  }

  bool valid() const { return static_cast<bool>(handle_); }

  struct Awaiter {
    Handle handle;
    bool await_ready() const noexcept { return false; }
    template <class P>
    std::coroutine_handle<> await_suspend(std::coroutine_handle<P> parent) noexcept {
      handle.promise().continuation = parent;
      handle.promise().context = detail::contextOf(parent);
      return handle;
    }
    T await_resume() {
      auto& p = handle.promise();
      if (p.exception) std::rethrow_exception(p.exception);
      if constexpr (!std::is_void_v<T>) return std::move(*p.value);
    }
  };

  Awaiter operator co_await() && {
    if (!handle_) throw ProgrammingError("awaited an empty Task");
    return Awaiter{handle_};
  }

 private:
  Handle handle_;
};

template <class T>
Task<T> detail::Promise<T>::get_return_object() {
  return Task<T>(std::coroutine_handle<Promise<T>>::from_promise(*this));
}
inline Task<void> detail::Promise<void>::get_return_object() {
  return Task<void>(std::coroutine_handle<Promise<void>>::from_promise(*this));
}

// A started, detached task. Dropping the handle does not cancel the task.
class TaskHandle {
 public:
  TaskHandle() = default;
  explicit TaskHandle(std::shared_ptr<TaskContext> context,
                      std::shared_ptr<std::atomic<bool>> finished)
      : context_(std::move(context)), finished_(std::move(finished)) {}
  void cancel() const {
    if (context_) context_->cancellation.cancel();
  }
  bool isCancelled() const { return context_ && context_->cancellation.isCancelled(); }
  bool isFinished() const { return finished_ && finished_->load(); }

 private:
  std::shared_ptr<TaskContext> context_;
  std::shared_ptr<std::atomic<bool>> finished_;
};

// Starts `task` detached on `executor` (the main loop when none is given). An exception that
// escapes it is reported through the environment's unhandled-error reporter, never lost.
TaskHandle spawn(Task<void> task, std::shared_ptr<Executor> executor = nullptr);

// Cancels every task started with `spawn` that is still running. Test teardown uses it so that
// no task outlives the environment it runs in.
void cancelAllSpawnedTasks();

// Reports an exception that escaped a detached task.
void reportUnhandledTaskError(std::exception_ptr error);

// Awaitables that read the current task's context without suspending.
struct CurrentContext {
  std::shared_ptr<TaskContext> context;
  bool await_ready() const noexcept { return false; }
  template <class P>
  bool await_suspend(std::coroutine_handle<P> self) noexcept {
    context = detail::contextOf(self);
    return false;
  }
  std::shared_ptr<TaskContext> await_resume() { return std::move(context); }
};

// `co_await platform::currentTask()` gives the current task's context.
inline CurrentContext currentTask() {
  return {};
}

// `co_await platform::isCancelled()`.
struct IsCancelled : CurrentContext {
  bool await_resume() { return context && context->cancellation.isCancelled(); }
};
inline IsCancelled isCancelled() {
  return {};
}

// `co_await platform::checkCancellation()` throws `CancellationError` once the task is cancelled.
struct CheckCancellation : CurrentContext {
  void await_resume() {
    if (context && context->cancellation.isCancelled()) throw CancellationError();
  }
};
inline CheckCancellation checkCancellation() {
  return {};
}

// `co_await platform::resumeOn(queue)` moves the rest of the task onto another executor.
struct ResumeOn {
  std::shared_ptr<Executor> executor;
  bool await_ready() const noexcept { return false; }
  template <class P>
  void await_suspend(std::coroutine_handle<P> self) {
    detail::contextOf(self)->executor = executor;
    executor->post([self] { self.resume(); });
  }
  void await_resume() const noexcept {}
};
inline ResumeOn resumeOn(std::shared_ptr<Executor> executor) {
  return ResumeOn{std::move(executor)};
}
// Hops to the main loop.
ResumeOn resumeOnMain();

// Bridges a callback into a task. Hand the continuation to the callback and `resume` it once;
// later calls do nothing. The waiter resumes on its own executor. When every copy of a
// continuation is destroyed without a resume, the waiter resumes with a `ProgrammingError`
// ("continuation destroyed without being resumed"): a lost callback is a bug, and failing
// loudly beats a task that hangs for ever.
template <class T>
class Continuation {
  using Stored = std::conditional_t<std::is_void_v<T>, std::monostate, T>;

  struct State {
    std::atomic<bool> resumed{false};
    std::coroutine_handle<> waiter;
    std::shared_ptr<TaskContext> context;
    std::optional<Stored> value;
    std::exception_ptr error;
    std::atomic<CancellationState::HandlerId> cancelHandler{0};

    bool finish(std::optional<Stored> v, std::exception_ptr e) {
      if (resumed.exchange(true)) return false;
      value = std::move(v);
      error = e;
      if (auto id = cancelHandler.load()) context->cancellation.remove(id);
      auto h = waiter;
      context->executor->post([h] { h.resume(); });
      return true;
    }
  };

  struct Token {
    explicit Token(std::shared_ptr<State> s) : state(std::move(s)) {}
    Token(const Token&) = delete;
    Token& operator=(const Token&) = delete;
    std::shared_ptr<State> state;
    ~Token() {
      state->finish(std::nullopt, std::make_exception_ptr(ProgrammingError(
                                      "continuation destroyed without being resumed")));
    }
  };

 public:
  // Returns false when the continuation had already been resumed.
  template <class U = T>
  requires(!std::is_void_v<U>) bool resume(U value) const {
    return token_->state->finish(Stored(std::move(value)), nullptr);
  }
  template <class U = T>
  requires std::is_void_v<U>
  bool resume() const { return token_->state->finish(Stored{}, nullptr); }
  bool resumeThrowing(std::exception_ptr error) const {
    return token_->state->finish(std::nullopt, error);
  }
  template <class E>
  bool resumeThrowing(E error) const {
    return resumeThrowing(std::make_exception_ptr(std::move(error)));
  }
  bool isResumed() const { return token_->state->resumed.load(); }
  bool isCancelled() const { return token_->state->context->cancellation.isCancelled(); }

  // Calls `handler` with this continuation if the waiting task is cancelled before it resumes
  // (at once when it already is). The handler typically stops the operation and resumes with
  // its cancellation error. Register at most one.
  void onCancel(std::function<void(const Continuation&)> handler) const {
    std::weak_ptr<Token> weak = token_;
    auto id = token_->state->context->cancellation.onCancel([weak, handler = std::move(handler)] {
      if (auto token = weak.lock()) {
        if (!token->state->resumed) handler(Continuation(std::move(token)));
      }
    });
    token_->state->cancelHandler = id;
    if (token_->state->resumed && id) token_->state->context->cancellation.remove(id);
  }

  struct Awaitable {
    std::function<void(Continuation)> start;
    std::shared_ptr<State> state;

    bool await_ready() const noexcept { return false; }
    template <class P>
    void await_suspend(std::coroutine_handle<P> self) {
      auto s = std::make_shared<State>();
      s->waiter = self;
      s->context = detail::contextOf(self);
      state = s;
      // Nothing of this awaiter may be touched once `run` has handed the continuation out:
      // the waiter can already be running on another thread.
      auto run = std::move(start);
      run(Continuation(std::make_shared<Token>(std::move(s))));
    }
    T await_resume() {
      if (state->error) std::rethrow_exception(state->error);
      if constexpr (!std::is_void_v<T>) return std::move(*state->value);
    }
  };

 private:
  explicit Continuation(std::shared_ptr<Token> token) : token_(std::move(token)) {}
  std::shared_ptr<Token> token_;
};

// Bind the start function to a local first:
//
//   auto start = [request](Continuation<T> c) { startSomething(request, c); };
//   T result = co_await withContinuation<T>(std::move(start));
//
// See the note on lambdas at the top of this file.
template <class T>
typename Continuation<T>::Awaitable withContinuation(std::function<void(Continuation<T>)> start) {
  return typename Continuation<T>::Awaitable{std::move(start), nullptr};
}

// Suspends the task for `seconds` on the main loop's clock. Throws `CancellationError` when the
// task is cancelled first.
Task<void> sleep(double seconds);

}  // namespace platform
