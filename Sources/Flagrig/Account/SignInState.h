#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>

namespace flagrig {

// What the rest of the app reads of the sign-in service without depending on it: whether
// someone is signed in, the account id and the headers that authorise a request as that
// account. The sign-in service installs itself; until it does, nobody is signed in.
class SignInState {
 public:
  struct Snapshot {
    bool isSignedIn = false;
    // "va_…" while signed in.
    std::optional<std::string> voskaryAccountID;
  };

  virtual ~SignInState() = default;

  // One consistent read of both fields. Safe from any thread.
  virtual Snapshot snapshot() const = 0;
  // "Authorization", "X-Voskary-Account-Id", "X-Voskary-App" and "X-Voskary-Platform" while a
  // session is stored; empty otherwise. Safe from any thread.
  virtual std::map<std::string, std::string> authorizationHeaders() const = 0;

  // The installed service, or one where nobody is signed in.
  static std::shared_ptr<SignInState> current();
  // Kept weakly: once the service is gone, nobody is signed in again.
  static void install(const std::shared_ptr<SignInState>& state);
};

}  // namespace flagrig
