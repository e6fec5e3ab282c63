#include "Platform/Security/KeychainStatus.h"

namespace platform {

std::string KeychainStatus::message(OSStatus status) {
  switch (status) {
    case success:
      return "No error.";
    case unimplemented:
      return "Function or operation not implemented.";
    case io:
      return "I/O error.";
    case param:
      return "One or more parameters passed to a function were not valid.";
    case allocate:
      return "Failed to allocate memory.";
    case notAvailable:
      return "No keychain is available.";
    case authFailed:
      return "The user name or passphrase you entered is not correct.";
    case noSuchKeychain:
      return "The specified keychain could not be found.";
    case duplicateItem:
      return "The specified item already exists in the keychain.";
    case itemNotFound:
      return "The specified item could not be found in the keychain.";
    case noDefaultKeychain:
      return "A default keychain could not be found.";
    case interactionNotAllowed:
      return "User interaction is not allowed.";
    case decode:
      return "Unable to decode the provided data.";
    case missingEntitlement:
      return "A required entitlement isn't present.";
    default:
      return "Keychain error " + std::to_string(status) + ".";
  }
}

}  // namespace platform
