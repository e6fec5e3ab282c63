#pragma once

#include "Platform/Desktop/Color.h"

namespace flagrig {

// One colour pair of the tag palette: what a new tag, or a cycled one, is painted with.
struct PaletteEntry {
  platform::Color background;
  platform::Color text;
  bool operator==(const PaletteEntry&) const = default;
};

}  // namespace flagrig
