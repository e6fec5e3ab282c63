#include "Platform/Foundation/Executor.h"

namespace platform {

namespace {
thread_local Executor* currentExecutor = nullptr;
}

Executor* Executor::current() {
  return currentExecutor;
}

Executor::CurrentScope::CurrentScope(Executor* executor) : previous_(currentExecutor) {
  currentExecutor = executor;
}

Executor::CurrentScope::~CurrentScope() {
  currentExecutor = previous_;
}

}  // namespace platform
