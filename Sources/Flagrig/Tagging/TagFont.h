#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "Platform/Desktop/Font.h"

namespace flagrig {

// The typeface of tag labels. Stored by raw value under the font key.
enum class TagFont : int { system = 0, mono = 1, menlo = 2, helvetica = 3, monaco = 4 };

inline constexpr std::array<TagFont, 5> allTagFonts = {
    TagFont::system, TagFont::mono, TagFont::menlo, TagFont::helvetica, TagFont::monaco};

// Label sizes in points.
inline constexpr double tagLabelSize = 11;
inline constexpr double bigTagLabelSize = 18;
inline double tagLabelFontSize(bool big) {
  return big ? bigTagLabelSize : tagLabelSize;
}

// 0-4; nothing for any other value.
std::optional<TagFont> tagFontFromRawValue(std::int64_t raw);
// How a stored value reads: 0-4 as themselves, anything else as mono.
TagFont tagFontFromStoredValue(std::int64_t stored);
// The face at `size`; a named face that is not installed falls back to a system face.
platform::Font nsFont(TagFont font, double size);
// The name the appearance editor shows.
std::string_view title(TagFont font);

}  // namespace flagrig
