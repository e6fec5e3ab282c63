#pragma once

#include "Platform/Forms/FormNode.h"

namespace voskary {

// The Google "G" mark, drawn from four vector paths on every render at the size of its frame
// (no image resource). Designed on a 24 x 24 grid, y down, scaled by the frame's width only and
// anchored at the top-left corner.
class GoogleGGlyph {
 public:
  GoogleGGlyph() = default;

  platform::forms::Node body() const;
  // Paints the mark into `canvas`: blue, green, yellow, red, each filled non-zero.
  static void draw(platform::forms::Canvas& canvas);
};

}  // namespace voskary
