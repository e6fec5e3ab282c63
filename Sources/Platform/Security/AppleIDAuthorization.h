#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "Platform/Foundation/Error.h"
#include "Platform/Foundation/Value.h"

namespace platform {

class Window;

// What a Sign in with Apple request asks the user to share.
enum class AppleIDScope { fullName, email };

struct PersonNameComponents {
  std::optional<std::string> givenName;
  std::optional<std::string> familyName;
  bool operator==(const PersonNameComponents&) const = default;
};

// The credential of an Apple ID sign-in. The code and the token come as the platform hands
// them over: bytes, which need not be UTF-8.
struct AppleIDCredential {
  std::string user;  // the stable user identifier
  std::optional<Bytes> authorizationCode;
  std::optional<Bytes> identityToken;
  std::optional<PersonNameComponents> fullName;
  std::optional<std::string> email;
  bool operator==(const AppleIDCredential&) const = default;
};

// A saved password the system offered instead; the account library has no use for it.
struct PasswordCredential {
  std::string user;
  std::string password;
  bool operator==(const PasswordCredential&) const = default;
};

using AuthorizationCredential = std::variant<AppleIDCredential, PasswordCredential>;

// Why an authorization ended without a credential. The numbers are those of the platform
// this build stands in for: callers tell a cancelled sheet apart by its code.
class AuthorizationError : public Error {
 public:
  enum Code : std::int64_t {
    unknown = 1000,
    canceled = 1001,
    invalidResponse = 1002,
    notHandled = 1003,
    failed = 1004,
    notInteractive = 1005,
  };

  explicit AuthorizationError(Code code, std::string description = {})
      : code_(code), description_(std::move(description)) {}
  Code code() const { return code_; }
  std::string description() const override;
  std::string bridgedDomain() const override { return "platform.AuthorizationError"; }
  std::int64_t bridgedCode() const override { return code_; }

 private:
  Code code_;
  std::string description_;
};

// The platform's Sign in with Apple sheet: asks for an Apple ID credential with the given
// scopes, presented over `anchor`. `completion` runs once on the main queue, with a
// credential or an error.
class AppleIDAuthorization {
 public:
  struct Outcome {
    std::optional<AuthorizationCredential> credential;
    std::shared_ptr<const Error> error;
  };
  using Completion = std::function<void(Outcome)>;

  virtual ~AppleIDAuthorization() = default;
  virtual void performRequest(const std::vector<AppleIDScope>& scopes,
                              std::shared_ptr<Window> anchor, Completion completion) = 0;
};

}  // namespace platform
