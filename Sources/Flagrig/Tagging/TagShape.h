#pragma once

#include <cstdint>
#include <optional>

namespace flagrig {

// The outline of a tag's body. Stored by raw value under the shape key.
enum class TagShape : int { pill = 0, rounded = 1, square = 2 };

// 0-2; nothing for any other value.
std::optional<TagShape> tagShapeFromRawValue(std::int64_t raw);
// How a stored value reads: 0 pill, 2 square, every other value rounded.
TagShape tagShapeFromStoredValue(std::int64_t stored);
// The corner radius of a tag body of this shape.
double tagCornerRadius(TagShape shape, bool big);

}  // namespace flagrig
