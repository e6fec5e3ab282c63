#pragma once

#include <algorithm>

#include "Platform/Desktop/Geometry.h"
#include "Platform/Forms/FormNode.h"

namespace voskary {

// Maps a 24 x 24 design grid onto the middle square of a canvas.
class GlyphGrid {
 public:
  explicit GlyphGrid(const platform::forms::Canvas& canvas) {
    auto size = canvas.size();
    scale_ = std::min(size.width, size.height) / 24;
    dx_ = (size.width - 24 * scale_) / 2;
    dy_ = (size.height - 24 * scale_) / 2;
  }
  platform::Point operator()(double x, double y) const {
    return {dx_ + x * scale_, dy_ + y * scale_};
  }
  double length(double v) const { return v * scale_; }

 private:
  double scale_ = 1, dx_ = 0, dy_ = 0;
};

}  // namespace voskary
