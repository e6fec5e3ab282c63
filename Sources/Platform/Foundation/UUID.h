#pragma once

#include <array>
#include <compare>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// A universally unique identifier (RFC 9562): 16 bytes, written as 8-4-4-4-12 hexadecimal digits.
class UUID {
 public:
  using Bytes = std::array<std::uint8_t, 16>;

  explicit UUID(const Bytes& bytes) : bytes_(bytes) {}

  // A new version-4 identifier from the secure random source.
  static UUID random();
  // The 36-character text in either letter case; nothing for anything else.
  static std::optional<UUID> parse(std::string_view text);

  const Bytes& bytes() const { return bytes_; }
  // The version digit (the high nibble of byte 6).
  int version() const { return bytes_[6] >> 4; }
  // Whether the variant bits are those of RFC 9562 (10xx), the only ones the versions apply to.
  bool hasStandardVariant() const { return (bytes_[8] & 0xC0) == 0x80; }
  // A time-ordered identifier: version 7 with the standard variant.
  bool isVersion7() const { return version() == 7 && hasStandardVariant(); }

  // Upper-case text, as the platform writes identifiers by default.
  std::string uuidString() const;
  std::string lowercaseString() const;

  auto operator<=>(const UUID&) const = default;

 private:
  Bytes bytes_;
};

}  // namespace platform

template <>
struct std::hash<platform::UUID> {
  std::size_t operator()(const platform::UUID& uuid) const noexcept {
    return std::hash<std::string_view>()(
        std::string_view(reinterpret_cast<const char*>(uuid.bytes().data()), uuid.bytes().size()));
  }
};
