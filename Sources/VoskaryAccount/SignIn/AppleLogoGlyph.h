#pragma once

#include "Platform/Forms/FormNode.h"

namespace voskary {

// The apple mark of the "Sign in with Apple" button, drawn from vector paths in the node's
// foreground colour, centred in its frame (designed on a 24 x 24 grid, y down).
class AppleLogoGlyph {
 public:
  platform::forms::Node body() const;
  static void draw(platform::forms::Canvas& canvas);
};

}  // namespace voskary
