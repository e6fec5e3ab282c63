#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include "Platform/Security/AppleIDAuthorization.h"

namespace platform::sim {

// The simulated Sign in with Apple sheet. A request stays open until the test answers it
// (with a credential, an error, or a second answer the way a misbehaving platform might);
// every request is recorded with its scopes and anchor.
class SimAppleIDAuthorization final : public AppleIDAuthorization {
 public:
  struct Request {
    std::vector<AppleIDScope> scopes;
    std::shared_ptr<Window> anchor;
  };

  void performRequest(const std::vector<AppleIDScope>& scopes, std::shared_ptr<Window> anchor,
                      Completion completion) override;

  std::vector<Request> requests() const;
  bool hasOpenRequest() const;
  // Answers the oldest open request on the main queue; false when none is open.
  bool complete(AuthorizationCredential credential);
  bool fail(AuthorizationError::Code code, std::string description = {});
  // Answers the request answered last once more, as a platform that reports twice would.
  bool repeatLastAnswer();

 private:
  bool answer(Outcome outcome);

  mutable std::mutex mutex_;
  std::vector<Request> requests_;
  std::vector<Completion> open_;
  Completion lastAnswered_;
  Outcome lastOutcome_;
};

}  // namespace platform::sim
