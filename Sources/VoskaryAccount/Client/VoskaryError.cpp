#include "VoskaryAccount/Client/VoskaryError.h"

#include <iterator>

namespace voskary {

namespace {

struct Sentence {
  std::string operator()(const VoskaryError::ServerError& e) const {
    std::string text = "Server error (" + std::to_string(e.status);
    if (e.code) text += " \u2014 " + *e.code;
    return text + ").";
  }
  std::string operator()(const VoskaryError::MalformedResponse& e) const {
    if (!e.field) return "Couldn't read the server response.";
    return "Couldn't read the server response (" + *e.field + ").";
  }
  std::string operator()(const VoskaryError::AuthorizationFailed& e) const {
    return "Sign-in failed: " + e.reason;
  }
  std::string operator()(const VoskaryError::KeychainFailure& e) const {
    return "Couldn't read your stored sign-in (" + std::to_string(e.status) + ").";
  }
  std::string operator()(const VoskaryError::ClientKilled&) const {
    return "This version is no longer supported. Please update.";
  }
  std::string operator()(const VoskaryError::RequiresUpgrade& e) const {
    return "Please update to version " + e.minVersion + " or later.";
  }
  std::string operator()(const VoskaryError::DpopUnavailable& e) const {
    return "Device security key unavailable: " + e.reason;
  }
  std::string operator()(const VoskaryError::NotSignedIn&) const { return "Sign in to continue."; }
  std::string operator()(const VoskaryError::SessionExpired&) const {
    return "Your session expired. Please sign in again.";
  }
  std::string operator()(const VoskaryError::NetworkUnavailable&) const {
    return "Can't reach the network. Try again.";
  }
  std::string operator()(const VoskaryError::AuthorizationCancelled&) const {
    return "Sign-in was cancelled.";
  }
};

}  // namespace

VoskaryError VoskaryError::serverError(int status, std::optional<std::string> code) {
  return VoskaryError(ServerError{status, std::move(code)});
}
VoskaryError VoskaryError::malformedResponse(std::optional<std::string> field) {
  return VoskaryError(MalformedResponse{std::move(field)});
}
VoskaryError VoskaryError::authorizationFailed(std::string reason) {
  return VoskaryError(AuthorizationFailed{std::move(reason)});
}
VoskaryError VoskaryError::keychainFailure(std::int32_t status) {
  return VoskaryError(KeychainFailure{status});
}
VoskaryError VoskaryError::clientKilled(std::optional<platform::URL> replacement) {
  return VoskaryError(ClientKilled{std::move(replacement)});
}
VoskaryError VoskaryError::requiresUpgrade(std::string minVersion) {
  return VoskaryError(RequiresUpgrade{std::move(minVersion)});
}
VoskaryError VoskaryError::dpopUnavailable(std::string reason) {
  return VoskaryError(DpopUnavailable{std::move(reason)});
}
VoskaryError VoskaryError::notSignedIn() {
  return VoskaryError(NotSignedIn{});
}
VoskaryError VoskaryError::sessionExpired() {
  return VoskaryError(SessionExpired{});
}
VoskaryError VoskaryError::networkUnavailable() {
  return VoskaryError(NetworkUnavailable{});
}
VoskaryError VoskaryError::authorizationCancelled() {
  return VoskaryError(AuthorizationCancelled{});
}

std::string_view VoskaryError::caseName() const {
  static constexpr std::string_view names[] = {
      "serverError",    "malformedResponse",  "authorizationFailed",   "keychainFailure",
      "clientKilled",   "requiresUpgrade",    "dpopUnavailable",       "notSignedIn",
      "sessionExpired", "networkUnavailable", "authorizationCancelled"};
  static_assert(std::size(names) == std::variant_size_v<Payload>);
  return names[payload_.index()];
}

std::string VoskaryError::description() const {
  return std::visit(Sentence{}, payload_);
}

}  // namespace voskary
