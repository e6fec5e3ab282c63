#include "Flagrig/Tagging/TagShape.h"

namespace flagrig {

std::optional<TagShape> tagShapeFromRawValue(std::int64_t raw) {
  if (raw < 0 || raw > 2) return std::nullopt;
  return static_cast<TagShape>(raw);
}

TagShape tagShapeFromStoredValue(std::int64_t stored) {
  switch (stored) {
    case 0:
      return TagShape::pill;
    case 2:
      return TagShape::square;
    default:
      return TagShape::rounded;
  }
}

double tagCornerRadius(TagShape shape, bool big) {
  switch (shape) {
    case TagShape::pill:
      return big ? 21 : 13;
    case TagShape::rounded:
      return big ? 8 : 6;
    case TagShape::square:
      return 0;
  }
  return 0;
}

}  // namespace flagrig
