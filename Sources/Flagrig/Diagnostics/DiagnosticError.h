#pragma once

#include <string>

#include "Platform/Foundation/Error.h"

namespace flagrig {

// Why a diagnostic report was not sent, in a sentence for the user.
class DiagnosticError : public platform::Error {
 public:
  enum class Kind { server, notSignedIn, alreadyInFlight, unavailable, malformedResponse };

  static constexpr std::string_view serverFallback = "Something went wrong. Please try again.";

  // The service's own message, or the fallback.
  static DiagnosticError server(std::string message);
  static DiagnosticError notSignedIn() { return DiagnosticError(Kind::notSignedIn, {}); }
  static DiagnosticError alreadyInFlight() { return DiagnosticError(Kind::alreadyInFlight, {}); }
  static DiagnosticError unavailable() { return DiagnosticError(Kind::unavailable, {}); }
  static DiagnosticError malformedResponse() {
    return DiagnosticError(Kind::malformedResponse, {});
  }

  Kind kind() const { return kind_; }
  std::string description() const override;
  bool operator==(const DiagnosticError& other) const {
    return kind_ == other.kind_ && message_ == other.message_;
  }

 private:
  DiagnosticError(Kind kind, std::string message) : kind_(kind), message_(std::move(message)) {}

  Kind kind_;
  std::string message_;
};

}  // namespace flagrig
