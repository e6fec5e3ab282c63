#include "SubscriptionError.h"

namespace flagrig {

SubscriptionError SubscriptionError::http(int status) {
  return {Kind::http, status, {}};
}
SubscriptionError SubscriptionError::transport(std::string underlyingDescription) {
  return {Kind::transport, std::nullopt, std::move(underlyingDescription)};
}
SubscriptionError SubscriptionError::notSignedIn() {
  return {Kind::notSignedIn, std::nullopt, {}};
}
SubscriptionError SubscriptionError::unavailable() {
  return {Kind::unavailable, std::nullopt, {}};
}
SubscriptionError SubscriptionError::sessionExpired() {
  return {Kind::sessionExpired, std::nullopt, {}};
}
SubscriptionError SubscriptionError::invalidResponse() {
  return {Kind::invalidResponse, std::nullopt, {}};
}

std::string SubscriptionError::caseName() const {
  switch (kind_) {
    case Kind::http:
      return "http";
    case Kind::transport:
      return "transport";
    case Kind::notSignedIn:
      return "notSignedIn";
    case Kind::unavailable:
      return "unavailable";
    case Kind::sessionExpired:
      return "sessionExpired";
    case Kind::invalidResponse:
      return "invalidResponse";
  }
  return "unknown";
}

std::string SubscriptionError::description() const {
  switch (kind_) {
    case Kind::http:
      return "Voskary Account request failed. Please try again.";
    case Kind::transport:
      return underlying_;
    case Kind::notSignedIn:
      return "Sign in to Flagrig with your Voskary Account to continue.";
    case Kind::unavailable:
      return "Voskary Account is temporarily unavailable. Please try again in a minute.";
    case Kind::sessionExpired:
      return "Your Voskary Account session expired. Sign in again.";
    case Kind::invalidResponse:
      return "Voskary Account returned an unexpected response.";
  }
  return {};
}

}  // namespace flagrig
