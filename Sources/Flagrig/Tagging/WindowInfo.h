#pragma once

#include <cstdint>
#include <string>

#include "Platform/Desktop/Geometry.h"

namespace flagrig {

// The window a pick chose: what the tag manager needs to tag it. `bounds` are in window-list
// coordinates (origin at the top left of the desktop, y downwards).
struct WindowInfo {
  std::uint32_t windowNumber = 0;
  std::int32_t ownerPID = 0;
  platform::Rect bounds;
  std::string ownerName;
  bool operator==(const WindowInfo&) const = default;
};

}  // namespace flagrig
