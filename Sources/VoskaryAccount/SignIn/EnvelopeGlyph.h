#pragma once

#include "Platform/Forms/FormNode.h"

namespace voskary {

// The filled envelope of the "Continue with email" button, in the node's foreground colour with
// a darker flap, centred in its frame (designed on a 24 x 24 grid, y down).
class EnvelopeGlyph {
 public:
  platform::forms::Node body() const;
  static void draw(platform::forms::Canvas& canvas);
};

}  // namespace voskary
