#include "Platform/Security/AppleIDAuthorization.h"

namespace platform {

std::string AuthorizationError::description() const {
  if (!description_.empty()) return description_;
  return "The authorization failed (error " + std::to_string(code_) + ").";
}

}  // namespace platform
