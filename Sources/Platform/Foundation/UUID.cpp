#include "Platform/Foundation/UUID.h"

#include <span>

#include "Platform/Foundation/Hex.h"
#include "Platform/Security/SecureRandom.h"

namespace platform {

namespace {

constexpr std::size_t kTextLength = 36;

bool isDash(std::size_t index) {
  return index == 8 || index == 13 || index == 18 || index == 23;
}

std::string format(const UUID::Bytes& bytes, Hex::LetterCase letterCase) {
  std::span<const std::uint8_t> all(bytes);
  return Hex::encode(all.subspan(0, 4), letterCase) + "-" +
         Hex::encode(all.subspan(4, 2), letterCase) + "-" +
         Hex::encode(all.subspan(6, 2), letterCase) + "-" +
         Hex::encode(all.subspan(8, 2), letterCase) + "-" +
         Hex::encode(all.subspan(10), letterCase);
}

}  // namespace

UUID UUID::random() {
  Bytes bytes;
  SecureRandom::fill(bytes);
  bytes[6] = static_cast<std::uint8_t>((bytes[6] & 0x0F) | 0x40);
  bytes[8] = static_cast<std::uint8_t>((bytes[8] & 0x3F) | 0x80);
  return UUID(bytes);
}

std::optional<UUID> UUID::parse(std::string_view text) {
  if (text.size() != kTextLength) return std::nullopt;
  Bytes bytes{};
  std::size_t nibble = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (isDash(i)) {
      if (text[i] != '-') return std::nullopt;
      continue;
    }
    int value = Hex::digitValue(text[i]);
    if (value < 0) return std::nullopt;
    bytes[nibble / 2] =
        static_cast<std::uint8_t>(bytes[nibble / 2] | (nibble % 2 ? value : value << 4));
    ++nibble;
  }
  return UUID(bytes);
}

std::string UUID::uuidString() const {
  return format(bytes_, Hex::LetterCase::upper);
}

std::string UUID::lowercaseString() const {
  return format(bytes_, Hex::LetterCase::lower);
}

}  // namespace platform
