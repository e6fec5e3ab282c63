#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace platform {

// The SHA-256 digest (FIPS 180-4), computed by OpenSSL.
struct SHA256 {
  using Digest = std::array<std::uint8_t, 32>;

  static Digest hash(std::span<const std::uint8_t> bytes);
  // Over the bytes of the text as they are (UTF-8 for the product's texts).
  static Digest hash(std::string_view bytes);

  // The digest as 64 lower-case hexadecimal digits.
  static std::string hexDigest(std::span<const std::uint8_t> bytes);
  static std::string hexDigest(std::string_view bytes);
};

}  // namespace platform
