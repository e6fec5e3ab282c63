#pragma once

#include <optional>
#include <string>

#include "Platform/Foundation/Error.h"

namespace flagrig {

// The failures of the app's sign-in service, each with the sentence the user sees.
class SubscriptionError : public platform::Error {
 public:
  enum class Kind { http, transport, notSignedIn, unavailable, sessionExpired, invalidResponse };

  // An unsuccessful answer; the status stays out of the sentence.
  static SubscriptionError http(int status);
  // A transfer that failed; the sentence is the underlying error's own.
  static SubscriptionError transport(std::string underlyingDescription);
  static SubscriptionError notSignedIn();
  static SubscriptionError unavailable();
  static SubscriptionError sessionExpired();
  static SubscriptionError invalidResponse();

  Kind kind() const { return kind_; }
  std::optional<int> status() const { return status_; }
  // The case's name, for analytics.
  std::string caseName() const;
  std::string description() const override;

  bool operator==(const SubscriptionError& other) const {
    return kind_ == other.kind_ && status_ == other.status_ && underlying_ == other.underlying_;
  }

 private:
  SubscriptionError(Kind kind, std::optional<int> status, std::string underlying)
      : kind_(kind), status_(status), underlying_(std::move(underlying)) {}

  Kind kind_;
  std::optional<int> status_;
  std::string underlying_;
};

}  // namespace flagrig
