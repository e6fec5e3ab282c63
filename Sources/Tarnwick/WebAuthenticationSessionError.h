#pragma once

#include <string>

#include "Platform/Foundation/Error.h"

namespace tarnwick {

// Why a web-authentication sheet ended without a callback URL.
class WebAuthenticationSessionError : public platform::Error {
 public:
  enum class Code {
    canceledLogin = 1,
    presentationContextNotProvided = 2,
    presentationContextInvalid = 3
  };

  explicit WebAuthenticationSessionError(Code code) : code_(code) {}
  Code code() const { return code_; }
  std::string description() const override;
  bool operator==(const WebAuthenticationSessionError&) const = default;

 private:
  Code code_;
};

}  // namespace tarnwick
