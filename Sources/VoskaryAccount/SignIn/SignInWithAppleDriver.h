#pragma once

#include <memory>
#include <optional>
#include <string>

#include "Platform/Foundation/Task.h"
#include "Platform/Security/AppleIDAuthorization.h"
#include "VoskaryAccount/Client/VoskaryConfig.h"
#include "VoskaryAccount/Client/VoskaryError.h"

namespace platform {
class Window;
}

namespace voskary {

// Runs the platform's Sign in with Apple sheet for one sign-in and hands the credential to the
// account manager, which exchanges the code at the account service. Talks to no server itself.
// The manager makes a new driver for every Apple sign-in.
class SignInWithAppleDriver {
 public:
  // The credential handed back.
  struct AppleAuthorization {
    std::string authorizationCode;
    std::optional<std::string> identityToken;  // absent when missing or not UTF-8
    std::string userIdentifier;
    std::optional<std::string> givenName;
    std::optional<std::string> familyName;
    std::optional<std::string> email;
    bool operator==(const AppleAuthorization&) const = default;
  };

  // The platform's code of a sheet the user closed.
  static constexpr std::int64_t canceledCode = platform::AuthorizationError::canceled;

  explicit SignInWithAppleDriver(VoskaryConfig config);

  // Asks for the full name and the e-mail address, over `window`. Fails with a VoskaryError.
  platform::Task<AppleAuthorization> authorize(std::shared_ptr<platform::Window> window);

  const VoskaryConfig& config() const { return config_; }

  // What a credential gives: an Apple ID credential with a UTF-8 code, else an error.
  static AppleAuthorization authorization(const platform::AuthorizationCredential& credential);
  // Code 1001 is a cancel; any other error fails with its description.
  static VoskaryError map(const platform::Error& error);

 private:
  VoskaryConfig config_;
};

}  // namespace voskary
