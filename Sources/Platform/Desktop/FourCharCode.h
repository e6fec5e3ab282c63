#pragma once

#include <cstdint>

namespace platform {

// A four-character code as the platform packs it: the first character in the high byte
// ("GURL" is 0x4755524C).
constexpr std::uint32_t fourCharCode(const char (&code)[5]) {
  return (std::uint32_t{static_cast<unsigned char>(code[0])} << 24) |
         (std::uint32_t{static_cast<unsigned char>(code[1])} << 16) |
         (std::uint32_t{static_cast<unsigned char>(code[2])} << 8) |
         std::uint32_t{static_cast<unsigned char>(code[3])};
}

}  // namespace platform
