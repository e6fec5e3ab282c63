#include "DiagnosticError.h"

namespace flagrig {

DiagnosticError DiagnosticError::server(std::string message) {
  return DiagnosticError(Kind::server, std::move(message));
}

std::string DiagnosticError::description() const {
  switch (kind_) {
    case Kind::server:
      return message_;
    case Kind::notSignedIn:
      return "Sign in to Flagrig before sending a report.";
    case Kind::alreadyInFlight:
      return "A diagnostic report is already being sent.";
    case Kind::unavailable:
      return "Diagnostics are temporarily unavailable. Please try again.";
    case Kind::malformedResponse:
      return "The diagnostics server returned an unexpected response.";
  }
  return {};
}

}  // namespace flagrig
