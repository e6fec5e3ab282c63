#include "VoskaryAccount/Client/TokenRefresher.h"

#include <optional>
#include <vector>

#include "Platform/Foundation/Environment.h"

namespace voskary {

// One running refresh and everyone waiting for its outcome.
struct TokenRefresher::Flight {
  Flight(std::string t, std::uint64_t g) : token(std::move(t)), generation(g) {}

  const std::string token;
  const std::uint64_t generation;

  std::mutex mutex;
  bool finished = false;
  std::optional<VasResponse> value;
  std::exception_ptr error;
  std::vector<platform::Continuation<VasResponse>> waiters;

  void finish(std::optional<VasResponse> v, std::exception_ptr e) {
    std::vector<platform::Continuation<VasResponse>> waiting;
    {
      std::lock_guard lock(mutex);
      finished = true;
      value = std::move(v);
      error = std::move(e);
      waiting.swap(waiters);
    }
    for (auto& c : waiting) resume(c);
  }

  // Only once finished: the outcome no longer changes.
  void resume(const platform::Continuation<VasResponse>& c) const {
    if (error) {
      c.resumeThrowing(error);
    } else {
      c.resume(*value);
    }
  }
};

TokenRefresher::TokenRefresher() : state_(std::make_shared<State>()) {}

void TokenRefresher::reset() {
  std::lock_guard lock(state_->mutex);
  state_->consumedTokens.clear();
  state_->inFlight.reset();
  ++state_->generation;
}

platform::Task<VasResponse> TokenRefresher::refreshing(std::shared_ptr<State> state,
                                                       std::string token, Perform perform,
                                                       OnRotated onRotated) {
  for (;;) {
    std::optional<VasResponse> remembered;
    std::shared_ptr<Flight> flight;
    bool start = false;
    {
      std::lock_guard lock(state->mutex);
      if (auto spent = state->consumedTokens.find(token); spent != state->consumedTokens.end()) {
        remembered = spent->second;
      } else if (state->inFlight) {
        flight = state->inFlight;
      } else {
        flight = std::make_shared<Flight>(token, state->generation);
        state->inFlight = flight;
        start = true;
      }
    }
    if (remembered) co_return std::move(*remembered);
    if (start)
      platform::spawn(fly(state, flight, perform, onRotated), platform::env().backgroundPool);
    if (flight->token == token) co_return co_await outcomeOf(flight);
    // Another token is being refreshed: one refresh at a time, but its answer is not ours.
    co_await endOf(flight);
  }
}

platform::Task<void> TokenRefresher::fly(std::shared_ptr<State> state,
                                         std::shared_ptr<Flight> flight, Perform perform,
                                         OnRotated onRotated) {
  std::optional<VasResponse> issued;
  std::exception_ptr error;
  try {
    issued = co_await perform();
  } catch (const IssuedWithError& refused) {
    issued = refused.issued();
    error = refused.error();
  } catch (...) {
    error = std::current_exception();
  }
  // Before anyone waiting resumes: the new session is stored before it is used.
  if (issued && onRotated) {
    try {
      onRotated(flight->token, *issued);
    } catch (...) {
      platform::reportUnhandledTaskError(std::current_exception());
    }
  }
  {
    std::lock_guard lock(state->mutex);
    if (issued && flight->generation == state->generation)
      state->consumedTokens.insert_or_assign(flight->token, *issued);
    if (state->inFlight == flight) state->inFlight.reset();
  }
  flight->finish(error ? std::nullopt : std::move(issued), error);
}

platform::Task<VasResponse> TokenRefresher::outcomeOf(std::shared_ptr<Flight> flight) {
  auto wait = [flight](platform::Continuation<VasResponse> c) {
    {
      std::lock_guard lock(flight->mutex);
      if (!flight->finished) {
        flight->waiters.push_back(std::move(c));
        return;
      }
    }
    flight->resume(c);
  };
  co_return co_await platform::withContinuation<VasResponse>(std::move(wait));
}

platform::Task<void> TokenRefresher::endOf(std::shared_ptr<Flight> flight) {
  try {
    (void)co_await outcomeOf(flight);
  } catch (...) {
    // Its failure belongs to its own callers.
  }
}

}  // namespace voskary
