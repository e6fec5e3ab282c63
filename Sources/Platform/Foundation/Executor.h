#pragma once

#include <functional>

namespace platform {

using Work = std::function<void()>;

// Something that runs work items: the main run loop, a serial queue, the background pool.
// `post` is safe from any thread; work runs later, never inline in `post`.
class Executor {
 public:
  virtual ~Executor() = default;
  virtual void post(Work work) = 0;

  // The executor running the current work item on this thread, or nullptr.
  static Executor* current();

 protected:
  // Marks `executor` as current for the lifetime of the scope.
  class CurrentScope {
   public:
    explicit CurrentScope(Executor* executor);
    ~CurrentScope();
    CurrentScope(const CurrentScope&) = delete;
    CurrentScope& operator=(const CurrentScope&) = delete;

   private:
    Executor* previous_;
  };
};

}  // namespace platform
