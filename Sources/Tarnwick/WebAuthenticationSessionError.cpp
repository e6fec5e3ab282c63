#include "Tarnwick/WebAuthenticationSessionError.h"

namespace tarnwick {

std::string WebAuthenticationSessionError::description() const {
  switch (code_) {
    case Code::canceledLogin:
      return "The user canceled login.";
    case Code::presentationContextNotProvided:
      return "The web authentication session has no window to present in.";
    case Code::presentationContextInvalid:
      return "The web authentication session's window cannot present it.";
  }
  return "The web authentication session failed.";
}

}  // namespace tarnwick
