#pragma once

#include <optional>
#include <string>

#include "Platform/Desktop/Color.h"
#include "Platform/Desktop/Font.h"

namespace platform {

// Text with one font and one colour, as labels and placeholders draw it.
struct AttributedString {
  std::string string;
  std::optional<Font> font;
  std::optional<Color> foregroundColor;

  // The size the text takes; without a font, the system font of 12 points.
  Size size() const { return font.value_or(Font::systemFont(12)).sizeOf(string); }
  bool operator==(const AttributedString&) const = default;
};

}  // namespace platform
