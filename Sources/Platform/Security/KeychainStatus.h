#pragma once

#include <cstdint>
#include <string>

namespace platform {

// The keychain's status codes. The product compares them with the values of the original
// platform (0 success, -25300 item not found, …) and reports them as they are, so they keep
// those numbers on every backend.
using OSStatus = std::int32_t;

struct KeychainStatus {
  static constexpr OSStatus success = 0;
  static constexpr OSStatus unimplemented = -4;
  static constexpr OSStatus io = -36;
  static constexpr OSStatus param = -50;
  static constexpr OSStatus allocate = -108;
  static constexpr OSStatus notAvailable = -25291;
  static constexpr OSStatus authFailed = -25293;
  static constexpr OSStatus noSuchKeychain = -25294;
  static constexpr OSStatus duplicateItem = -25299;
  static constexpr OSStatus itemNotFound = -25300;
  static constexpr OSStatus noDefaultKeychain = -25307;
  static constexpr OSStatus interactionNotAllowed = -25308;
  static constexpr OSStatus decode = -26275;
  static constexpr OSStatus missingEntitlement = -34018;

  // A short English sentence for the status, for logs and error descriptions.
  static std::string message(OSStatus status);
};

}  // namespace platform
