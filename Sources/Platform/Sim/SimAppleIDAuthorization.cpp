#include "Platform/Sim/SimAppleIDAuthorization.h"

#include "Platform/Foundation/Environment.h"
#include "Platform/Foundation/RunLoop.h"

namespace platform::sim {

void SimAppleIDAuthorization::performRequest(const std::vector<AppleIDScope>& scopes,
                                             std::shared_ptr<Window> anchor,
                                             Completion completion) {
  std::lock_guard lock(mutex_);
  requests_.push_back({scopes, std::move(anchor)});
  open_.push_back(std::move(completion));
}

std::vector<SimAppleIDAuthorization::Request> SimAppleIDAuthorization::requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

bool SimAppleIDAuthorization::hasOpenRequest() const {
  std::lock_guard lock(mutex_);
  return !open_.empty();
}

bool SimAppleIDAuthorization::complete(AuthorizationCredential credential) {
  return answer({std::move(credential), nullptr});
}

bool SimAppleIDAuthorization::fail(AuthorizationError::Code code, std::string description) {
  return answer({std::nullopt, std::make_shared<AuthorizationError>(code, std::move(description))});
}

bool SimAppleIDAuthorization::answer(Outcome outcome) {
  Completion completion;
  {
    std::lock_guard lock(mutex_);
    if (open_.empty()) return false;
    completion = std::move(open_.front());
    open_.erase(open_.begin());
    lastAnswered_ = completion;
    lastOutcome_ = outcome;
  }
  env().mainLoop->post([completion, outcome] { completion(outcome); });
  return true;
}

bool SimAppleIDAuthorization::repeatLastAnswer() {
  Completion completion;
  Outcome outcome;
  {
    std::lock_guard lock(mutex_);
    if (!lastAnswered_) return false;
    completion = lastAnswered_;
    outcome = lastOutcome_;
  }
  env().mainLoop->post([completion, outcome] { completion(outcome); });
  return true;
}

}  // namespace platform::sim
