#pragma once

#include <vector>

#include "Platform/Desktop/Color.h"
#include "Platform/Desktop/Geometry.h"

namespace platform {

// One recorded drawing step of a drawn image.
struct DrawingOperation {
  enum class Kind { fillRect, fillOval, strokeRect, strokeOval };
  Kind kind;
  Rect rect;
  Color color;
  bool operator==(const DrawingOperation&) const = default;
};

// What a drawn image's drawing code paints into. It records the steps, so that any backend can
// render them and tests can read them.
class GraphicsContext {
 public:
  void fillRect(Rect rect, Color color) {
    operations_.push_back({DrawingOperation::Kind::fillRect, rect, color});
  }
  void fillOval(Rect rect, Color color) {
    operations_.push_back({DrawingOperation::Kind::fillOval, rect, color});
  }
  void strokeRect(Rect rect, Color color) {
    operations_.push_back({DrawingOperation::Kind::strokeRect, rect, color});
  }
  void strokeOval(Rect rect, Color color) {
    operations_.push_back({DrawingOperation::Kind::strokeOval, rect, color});
  }
  const std::vector<DrawingOperation>& operations() const { return operations_; }

 private:
  std::vector<DrawingOperation> operations_;
};

}  // namespace platform
