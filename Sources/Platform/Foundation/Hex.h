#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace platform {

// Bytes written as hexadecimal text, two digits per byte in byte order.
struct Hex {
  enum class LetterCase { lower, upper };
  static std::string encode(std::span<const std::uint8_t> bytes,
                            LetterCase letterCase = LetterCase::lower);
  // The value of one hexadecimal digit in either case; -1 for any other character.
  static int digitValue(char c);
};

}  // namespace platform
