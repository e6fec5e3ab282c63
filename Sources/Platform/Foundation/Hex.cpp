#include "Platform/Foundation/Hex.h"

namespace platform {

std::string Hex::encode(std::span<const std::uint8_t> bytes, LetterCase letterCase) {
  const char* digits = letterCase == LetterCase::lower ? "0123456789abcdef" : "0123456789ABCDEF";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (auto byte : bytes) {
    out += digits[byte >> 4];
    out += digits[byte & 0x0F];
  }
  return out;
}

int Hex::digitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace platform
