#pragma once

#include <optional>
#include <string>

#include "Platform/Foundation/Value.h"

namespace voskary::testing {

// A compact JWS taken apart for checking: the decoded header and claims texts, the raw
// signature and the signing input. Verification uses OpenSSL directly, so that a proof is
// checked by other code than the code that made it.
struct CompactJWS {
  std::string header;
  std::string claims;
  platform::Bytes signature;
  std::string signingInput;

  // Three base64url parts joined by "."; absent for anything else.
  static std::optional<CompactJWS> parse(const std::string& text);

  // Whether `signature` is an ES256 signature (raw r‖s) of the signing input by the P-256
  // public key with the base64url coordinates `x` and `y`.
  bool verifies(const std::string& x, const std::string& y) const;
};

}  // namespace voskary::testing
