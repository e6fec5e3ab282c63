#include "Flagrig/Tagging/ColorHex.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>

#include "Platform/Foundation/UnicodeText.h"

namespace flagrig {

using platform::Color;
using platform::UnicodeText;

namespace {

int channel(double component) {
  if (std::isnan(component)) return 0;
  // Truncated, as the field has always shown it: 0.5 gives 127.
  return static_cast<int>(std::clamp(component, 0.0, 1.0) * 255);
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// An unsigned 32-bit number in base 16 with an optional sign; a minus sign is accepted only
// before a zero.
std::optional<std::uint32_t> parseHex(std::string_view text) {
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.empty()) return std::nullopt;
  std::uint64_t value = 0;
  for (char c : text) {
    int digit = hexDigit(c);
    if (digit < 0) return std::nullopt;
    value = value * 16 + static_cast<std::uint64_t>(digit);
    if (value > UINT32_MAX) return std::nullopt;
  }
  if (negative && value != 0) return std::nullopt;
  return static_cast<std::uint32_t>(value);
}

}  // namespace

std::string ColorHex::hexString(const Color& color) {
  Color c = color.toSRGB().value_or(color);
  char text[8];
  std::snprintf(text, sizeof text, "#%02X%02X%02X", channel(c.redComponent()),
                channel(c.greenComponent()), channel(c.blueComponent()));
  return text;
}

std::optional<Color> ColorHex::from(std::string_view hex) {
  // Pasted values often carry a no-break or narrow space; line breaks are not trimmed.
  std::string trimmed = UnicodeText::trimmed(hex, UnicodeText::WhiteSpace::spaces);
  std::string digits;
  for (char c : trimmed) {
    if (c != '#') digits.push_back(c);
  }
  if (digits.size() != 6) return std::nullopt;
  auto value = parseHex(digits);
  if (!value) return std::nullopt;
  return Color::sRGB(((*value >> 16) & 0xFF) / 255.0, ((*value >> 8) & 0xFF) / 255.0,
                     (*value & 0xFF) / 255.0, 1.0);
}

}  // namespace flagrig
