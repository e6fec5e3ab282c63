#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "Platform/Foundation/Value.h"

namespace voskary {

// Base64url as the library's proofs and PKCE values carry it: the standard alphabet with "-"
// and "_" in place of "+" and "/", and no "=".
std::string base64URLEncodedString(std::span<const std::uint8_t> bytes);

// The bytes of a base64url text; standard base64 reads too, since "+", "/" and a trailing "="
// pass the mapping unchanged. Strict: white space, "=" anywhere but at the end, or any other
// character outside the alphabet gives nothing.
std::optional<platform::Bytes> bytesFromBase64URLEncoded(std::string_view text);

}  // namespace voskary
