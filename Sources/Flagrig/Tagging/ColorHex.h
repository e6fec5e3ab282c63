#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "Platform/Desktop/Color.h"

namespace flagrig {

// Converts between a colour and its six-digit hexadecimal form "#RRGGBB", for the colour
// panel's hex field.
struct ColorHex {
  // "#RRGGBB" of the colour in sRGB (alpha ignored). Components outside 0-1, or not finite,
  // are clamped first, so the text is always seven characters.
  static std::string hexString(const platform::Color& color);
  // The opaque sRGB colour that the text names, or nothing when it is not a six-digit hex
  // colour. Space separators (Unicode Zs) and tabs around it, and every "#"
  // in it, are ignored.
  static std::optional<platform::Color> from(std::string_view hex);
};

}  // namespace flagrig
