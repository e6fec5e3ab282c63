#pragma once

#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>

#include "Platform/Foundation/Error.h"
#include "Platform/Foundation/Task.h"

namespace platform::testing {

// What a task that runs detached ended with, so that a test can act while it waits (finish a
// browser page, sign out) and read the outcome afterwards. `Failure` is what is kept of an
// exception: the exception itself (`std::exception_ptr`, any exception), one error type (any
// other `std::exception` is kept by its message in `unexpected`), or `std::string` (a
// `platform::Error`'s description; another exception escapes the task).
template <class T, class Failure = std::exception_ptr>
struct TaskOutcome {
  std::optional<std::conditional_t<std::is_void_v<T>, bool, T>> value;
  std::conditional_t<std::is_same_v<Failure, std::exception_ptr>, std::exception_ptr,
                     std::optional<Failure>>
      error;
  // With one error type kept: what else the task threw (a std::bad_alloc, say), by its message.
  std::optional<std::string> unexpected;
  bool done = false;
};

// Runs `task` and fills in `out` when it ends; to spawn it oneself (and keep the handle).
template <class Failure = std::exception_ptr, class T>
Task<void> keepOutcome(Task<T> task, std::shared_ptr<TaskOutcome<T, Failure>> out) {
  auto run = [&]() -> Task<void> {
    if constexpr (std::is_void_v<T>) {
      co_await std::move(task);
      out->value = true;
    } else {
      out->value.emplace(co_await std::move(task));
    }
  };
  if constexpr (std::is_same_v<Failure, std::exception_ptr>) {
    try {
      co_await run();
    } catch (...) {
      out->error = std::current_exception();
    }
  } else if constexpr (std::is_same_v<Failure, std::string>) {
    try {
      co_await run();
    } catch (const Error& error) {
      out->error = error.description();
    }
  } else {
    try {
      co_await run();
    } catch (const Failure& error) {
      out->error = error;
    } catch (const std::exception& other) {
      out->unexpected = other.what();
    }
  }
  out->done = true;
}

// Starts `task` detached on the main queue; the outcome fills in when it ends.
template <class Failure = std::exception_ptr, class T>
std::shared_ptr<TaskOutcome<T, Failure>> startTask(Task<T> task) {
  auto out = std::make_shared<TaskOutcome<T, Failure>>();
  spawn(keepOutcome<Failure>(std::move(task), out));
  return out;
}

}  // namespace platform::testing
