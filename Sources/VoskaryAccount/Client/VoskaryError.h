#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "Platform/Foundation/Error.h"
#include "Platform/Foundation/URL.h"

namespace voskary {

// The account library's one error type: a case with its payload, each case with a fixed
// sentence for the user. Errors compare by value, so callers can test for a particular case
// (an expired session, a cancelled sign-in, a forced upgrade).
//
//   throw VoskaryError::serverError(400, "invalid_grant");
//   if (error == VoskaryError::sessionExpired()) ...
//   if (auto server = error.as<VoskaryError::ServerError>()) log(server->status);
class VoskaryError : public platform::Error {
 public:
  enum class Kind {
    serverError,
    malformedResponse,
    authorizationFailed,
    keychainFailure,
    clientKilled,
    requiresUpgrade,
    dpopUnavailable,
    notSignedIn,
    sessionExpired,
    networkUnavailable,
    authorizationCancelled,
  };

  // The payloads, one per case, in the order of `Kind`.
  struct ServerError {
    int status = 0;                   // the HTTP status
    std::optional<std::string> code;  // the service's error code
    bool operator==(const ServerError&) const = default;
  };
  struct MalformedResponse {
    std::optional<std::string> field;  // what could not be read
    bool operator==(const MalformedResponse&) const = default;
  };
  struct AuthorizationFailed {
    std::string reason;
    bool operator==(const AuthorizationFailed&) const = default;
  };
  struct KeychainFailure {
    std::int32_t status = 0;  // the platform keychain's status
    bool operator==(const KeychainFailure&) const = default;
  };
  struct ClientKilled {
    std::optional<platform::URL> replacement;
    bool operator==(const ClientKilled&) const = default;
  };
  struct RequiresUpgrade {
    std::string minVersion;
    bool operator==(const RequiresUpgrade&) const = default;
  };
  struct DpopUnavailable {
    std::string reason;
    bool operator==(const DpopUnavailable&) const = default;
  };
  struct NotSignedIn {
    bool operator==(const NotSignedIn&) const = default;
  };
  struct SessionExpired {
    bool operator==(const SessionExpired&) const = default;
  };
  struct NetworkUnavailable {
    bool operator==(const NetworkUnavailable&) const = default;
  };
  struct AuthorizationCancelled {
    bool operator==(const AuthorizationCancelled&) const = default;
  };
  using Payload = std::variant<ServerError, MalformedResponse, AuthorizationFailed, KeychainFailure,
                               ClientKilled, RequiresUpgrade, DpopUnavailable, NotSignedIn,
                               SessionExpired, NetworkUnavailable, AuthorizationCancelled>;

  template <class Case>
  explicit VoskaryError(Case payload) : payload_(std::in_place_type<Case>, std::move(payload)) {}

  // One factory per case.
  static VoskaryError serverError(int status, std::optional<std::string> code = std::nullopt);
  static VoskaryError malformedResponse(std::optional<std::string> field = std::nullopt);
  static VoskaryError authorizationFailed(std::string reason);
  static VoskaryError keychainFailure(std::int32_t status);
  static VoskaryError clientKilled(std::optional<platform::URL> replacement = std::nullopt);
  static VoskaryError requiresUpgrade(std::string minVersion);
  static VoskaryError dpopUnavailable(std::string reason);
  static VoskaryError notSignedIn();
  static VoskaryError sessionExpired();
  static VoskaryError networkUnavailable();
  static VoskaryError authorizationCancelled();

  Kind kind() const { return static_cast<Kind>(payload_.index()); }
  const Payload& payload() const { return payload_; }
  // The payload when the error is that case; nullptr otherwise.
  template <class Case>
  const Case* as() const {
    return std::get_if<Case>(&payload_);
  }

  // The case's name as written in `Kind` ("sessionExpired"): what analytics, telemetry and the
  // sign-in screen record of an error, never its payload's text.
  std::string_view caseName() const;

  // The user-facing sentence of the case; always present.
  std::optional<std::string> errorDescription() const { return description(); }
  std::string description() const override;
  // The case's position in `Kind`, for the platform's error bridging.
  std::int64_t bridgedCode() const override { return static_cast<std::int64_t>(payload_.index()); }

  bool operator==(const VoskaryError& other) const { return payload_ == other.payload_; }

 private:
  Payload payload_;
};

}  // namespace voskary
