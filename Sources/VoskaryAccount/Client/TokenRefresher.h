#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "Platform/Foundation/Task.h"
#include "VoskaryAccount/Client/VasResponse.h"

namespace voskary {

// Keeps a spent refresh token from being sent twice. A refresh spends its token (the answer
// carries the next one), so only one refresh runs at a time; a caller with the token that is
// being refreshed waits for that same refresh, and a caller with a token whose refresh already
// succeeded gets that refresh's answer without a request. Each token keeps its own answer: a
// caller is never handed the session that another token's refresh produced.
//
// State is guarded by a mutex that is never held across a wait. The refresh itself runs as a
// task of its own on the background executor, so a caller's cancellation does not stop it.
class TokenRefresher {
 public:
  using Perform = std::function<platform::Task<VasResponse>()>;
  // Told of every session that a refresh issued, with the token that was spent for it.
  using OnRotated = std::function<void(const std::string& spentToken, const VasResponse& issued)>;

  // Thrown by a refresh operation when the service issued a session but the call must fail
  // all the same (a forced upgrade announced on the answer). The session is handed to
  // `onRotated` and kept as the token's answer, since the token is spent either way; callers
  // get `error`.
  class IssuedWithError : public std::exception {
   public:
    IssuedWithError(VasResponse issued, std::exception_ptr error)
        : issued_(std::move(issued)), error_(std::move(error)) {}
    const VasResponse& issued() const { return issued_; }
    const std::exception_ptr& error() const { return error_; }
    const char* what() const noexcept override { return "session issued with an error"; }

   private:
    VasResponse issued_;
    std::exception_ptr error_;
  };

  TokenRefresher();

  // The answer of a refresh of `token`: remembered, joined or started here. The task does not
  // need this object to outlive it.
  platform::Task<VasResponse> refresh(std::string token, Perform perform, OnRotated onRotated) {
    return refreshing(state_, std::move(token), std::move(perform), std::move(onRotated));
  }

  // Forgets every spent token and its answer and lets no later caller join a refresh that is
  // running now, so that nothing of one sign-in reaches the next.
  void reset();

 private:
  struct Flight;
  struct State {
    std::mutex mutex;
    std::shared_ptr<Flight> inFlight;
    std::map<std::string, VasResponse> consumedTokens;
    std::uint64_t generation = 0;
  };

  static platform::Task<VasResponse> refreshing(std::shared_ptr<State> state, std::string token,
                                                Perform perform, OnRotated onRotated);
  static platform::Task<void> fly(std::shared_ptr<State> state, std::shared_ptr<Flight> flight,
                                  Perform perform, OnRotated onRotated);
  static platform::Task<VasResponse> outcomeOf(std::shared_ptr<Flight> flight);
  static platform::Task<void> endOf(std::shared_ptr<Flight> flight);

  std::shared_ptr<State> state_;
};

}  // namespace voskary
