#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "Platform/Foundation/Value.h"

namespace platform {

// Base64 (RFC 4648 section 4) and base64url (section 5).
//
// Both decoders are strict: no white space, no character outside the alphabet, no "=" but at
// the end, and no set bits in the unused low bits of the last character.
struct Base64 {
  // Standard alphabet, padded with "=" to a multiple of 4 characters.
  static std::string encode(std::span<const std::uint8_t> bytes);
  static std::string encode(std::string_view bytes);
  // Standard alphabet; the padding is required.
  static std::optional<Bytes> decode(std::string_view text);

  // "-" and "_" in place of "+" and "/", without padding.
  static std::string urlEncode(std::span<const std::uint8_t> bytes);
  static std::string urlEncode(std::string_view bytes);
  // "-" and "_" read as "+" and "/" (so standard text decodes too); a length that is not a
  // multiple of 4 is padded before the strict standard decoding.
  static std::optional<Bytes> urlDecode(std::string_view text);
};

}  // namespace platform
