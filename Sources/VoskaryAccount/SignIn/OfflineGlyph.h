#pragma once

#include "Platform/Forms/FormNode.h"

namespace voskary {

// The crossed-out wireless mark of the offline card: three arcs and a slash stroked in the
// node's foreground colour, centred in its frame (designed on a 24 x 24 grid, y down).
class OfflineGlyph {
 public:
  platform::forms::Node body() const;
  static void draw(platform::forms::Canvas& canvas);
};

}  // namespace voskary
