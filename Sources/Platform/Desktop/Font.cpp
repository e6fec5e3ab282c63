#include "Platform/Desktop/Font.h"

#include <cmath>

#include "Platform/Desktop/Desktop.h"
#include "Platform/Desktop/TextMeasurer.h"
#include "Platform/Foundation/Environment.h"

namespace platform {

namespace {

const char* weightName(FontWeight weight) {
  switch (weight) {
    case FontWeight::ultraLight:
      return "UltraLight";
    case FontWeight::thin:
      return "Thin";
    case FontWeight::light:
      return "Light";
    case FontWeight::regular:
      return "Regular";
    case FontWeight::medium:
      return "Medium";
    case FontWeight::semibold:
      return "Semibold";
    case FontWeight::bold:
      return "Bold";
    case FontWeight::heavy:
      return "Heavy";
    case FontWeight::black:
      return "Black";
  }
  return "Regular";
}

}  // namespace

Font Font::systemFont(double size, FontWeight weight) {
  return Font(std::string(".SystemUI-") + weightName(weight), size, weight, Spacing::proportional,
              Family::system);
}

Font Font::monospacedSystemFont(double size, FontWeight weight) {
  return Font(std::string(".SystemUIMono-") + weightName(weight), size, weight, Spacing::monospaced,
              Family::system);
}

std::optional<Font> Font::named(std::string_view name, double size) {
  if (!hasEnvironment() || !env().desktop) return std::nullopt;
  auto face = env().desktop->fontFace(name);
  if (!face) return std::nullopt;
  return Font(face->name, size, face->weight,
              face->monospaced ? Spacing::monospaced : Spacing::proportional, Family::installed);
}

Font Font::withSize(double size) const {
  Font copy = *this;
  copy.size_ = size;
  return copy;
}

std::size_t Font::codePointCount(std::string_view utf8) {
  std::size_t count = 0;
  for (unsigned char c : utf8) {
    if ((c & 0xC0) != 0x80) ++count;
  }
  return count;
}

namespace {
TextMeasurer& textMeasurer() {
  static TextMeasurer measurer;
  return measurer;
}
}  // namespace

void setTextMeasurer(TextMeasurer measurer) {
  textMeasurer() = std::move(measurer);
}

double Font::widthOf(std::string_view utf8) const {
  if (const auto& measure = textMeasurer()) {
    if (auto width = measure(*this, utf8)) return *width;
  }
  return advance() * static_cast<double>(codePointCount(utf8));
}

double Font::lineHeight() const {
  return std::ceil(size_ * lineHeightFactor - 1e-9);
}

}  // namespace platform
