#include "Flagrig/Tagging/TagPalette.h"

#include <algorithm>
#include <cmath>

#include "Flagrig/Tagging/TagDefaultsKeys.h"
#include "Platform/Foundation/UserDefaults.h"

namespace flagrig {

using platform::Color;
using platform::Value;

namespace {

// Stored components come from a file anyone can edit: keep them in 0-1 (NaN reads as 0).
double component(double v) {
  if (std::isnan(v)) return 0;
  return std::clamp(v, 0.0, 1.0);
}

}  // namespace

const std::vector<PaletteEntry>& TagPalette::defaultPalette() {
  static const std::vector<PaletteEntry> palette = [] {
    const double rgb[8][3] = {{0.24, 0.6, 0.9},   {0.3, 0.75, 0.45}, {0.92, 0.5, 0.15},
                              {0.78, 0.24, 0.24}, {0.58, 0.3, 0.72}, {0.88, 0.75, 0.05},
                              {0.9, 0.38, 0.55},  {0.1, 0.68, 0.65}};
    std::vector<PaletteEntry> entries;
    for (const auto& c : rgb)
      entries.push_back({Color::sRGB(c[0], c[1], c[2], backgroundAlpha), Color::white()});
    return entries;
  }();
  return palette;
}

std::optional<std::vector<PaletteEntry>> TagPalette::load(const platform::UserDefaults& defaults) {
  auto stored = defaults.object(TagDefaultsKeys::palette);
  const Value::Array* elements = stored ? stored->asArray() : nullptr;
  if (!elements) return std::nullopt;

  std::vector<PaletteEntry> palette;
  for (const Value& element : *elements) {
    const Value::Array* numbers = element.asArray();
    if (!numbers) return std::nullopt;
    double c[6];
    std::size_t count = 0;
    for (const Value& number : *numbers) {
      auto v = number.exactly<double>();
      if (!v) return std::nullopt;
      if (count < 6) c[count] = component(*v);
      ++count;
    }
    if (count < 6) continue;
    palette.push_back(
        {Color::sRGB(c[0], c[1], c[2], backgroundAlpha), Color::sRGB(c[3], c[4], c[5])});
  }
  if (palette.empty()) return std::nullopt;
  return palette;
}

void TagPalette::save(platform::UserDefaults& defaults, const std::vector<PaletteEntry>& palette) {
  Value::Array elements;
  elements.reserve(palette.size());
  for (const auto& entry : palette) {
    Color bg = entry.background.toSRGB().value_or(entry.background);
    Color fg = entry.text.toSRGB().value_or(entry.text);
    elements.emplace_back(Value::Array{bg.redComponent(), bg.greenComponent(), bg.blueComponent(),
                                       fg.redComponent(), fg.greenComponent(), fg.blueComponent()});
  }
  defaults.set(TagDefaultsKeys::palette, Value(std::move(elements)));
}

}  // namespace flagrig
