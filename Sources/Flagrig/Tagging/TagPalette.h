#pragma once

#include <optional>
#include <vector>

#include "Flagrig/Tagging/PaletteEntry.h"

namespace platform {
class UserDefaults;
}

namespace flagrig {

// The tag palette's built-in colours and its stored form: an array with one element per
// entry, each six numbers (background red, green, blue, then text red, green, blue; sRGB, 0-1).
// Alpha is not stored: backgrounds load at 0.95, text colours opaque.
struct TagPalette {
  static constexpr double backgroundAlpha = 0.95;

  // Built once, on first use, and shared.
  static const std::vector<PaletteEntry>& defaultPalette();

  // The stored palette, or nothing when none is stored or the stored value is unusable. Never
  // an empty palette: a value whose every element is too short counts as none.
  static std::optional<std::vector<PaletteEntry>> load(const platform::UserDefaults& defaults);
  // Writes the whole palette (the key is never removed).
  static void save(platform::UserDefaults& defaults, const std::vector<PaletteEntry>& palette);
};

}  // namespace flagrig
