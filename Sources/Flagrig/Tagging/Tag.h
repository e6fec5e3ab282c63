#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "Platform/Desktop/Color.h"
#include "Platform/Desktop/Geometry.h"

namespace flagrig {

class TagPanel;

// One tagged window, kept in memory only. The window number is the key: at most one tag per
// window. The tag owns the panel that shows it.
struct Tag {
  std::uint32_t windowNumber = 0;
  std::int32_t ownerPID = 0;
  std::string ownerName;
  std::string text;
  platform::Color color;
  platform::Color textColor;
  // The palette index the colours came from; may lie beyond the palette after it shrank.
  long colorIndex = 0;
  std::shared_ptr<TagPanel> panel;
  // The window's last known bounds in window-list coordinates (y downwards).
  platform::Rect lastBounds;
  // The panel's change count when the tag poll last placed it and ordered it above the window.
  std::optional<std::uint64_t> placedChangeCount;
};

}  // namespace flagrig
