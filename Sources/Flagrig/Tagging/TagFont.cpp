#include "Flagrig/Tagging/TagFont.h"

namespace flagrig {

using platform::Font;
using platform::FontWeight;

std::optional<TagFont> tagFontFromRawValue(std::int64_t raw) {
  if (raw < 0 || raw > 4) return std::nullopt;
  return static_cast<TagFont>(raw);
}

TagFont tagFontFromStoredValue(std::int64_t stored) {
  return tagFontFromRawValue(stored).value_or(TagFont::mono);
}

Font nsFont(TagFont font, double size) {
  auto system = [size] { return Font::systemFont(size, FontWeight::semibold); };
  auto mono = [size] { return Font::monospacedSystemFont(size, FontWeight::semibold); };
  switch (font) {
    case TagFont::system:
      return system();
    case TagFont::mono:
      return mono();
    case TagFont::menlo:
      return Font::named("Menlo-Bold", size).value_or(mono());
    case TagFont::helvetica:
      return Font::named("HelveticaNeue-Bold", size).value_or(system());
    case TagFont::monaco:
      return Font::named("Monaco", size).value_or(mono());
  }
  return system();
}

std::string_view title(TagFont font) {
  switch (font) {
    case TagFont::system:
      return "System";
    case TagFont::mono:
      return "SF Mono";
    case TagFont::menlo:
      return "Menlo";
    case TagFont::helvetica:
      return "Helvetica Neue";
    case TagFont::monaco:
      return "Monaco";
  }
  return "System";
}

}  // namespace flagrig
