#pragma once

#include <string>

namespace voskary {

// URL-safe random texts from the system's secure random source, for proof identifiers and
// verifiers. A failing source ends the process (see platform::SecureRandom): no weaker
// fallback.
struct SecureRandom {
  // `byteCount` random bytes in base64url: ceil(4 * byteCount / 3) characters. A negative
  // count is a programming error.
  static std::string urlSafeString(int byteCount);
};

}  // namespace voskary
