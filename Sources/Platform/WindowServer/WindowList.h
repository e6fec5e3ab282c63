#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "Platform/Desktop/Geometry.h"
#include "Platform/Foundation/Value.h"

namespace platform {

// The shape of the window server's window list: an array of dictionaries, front to back, with
// these keys. Window numbers are unsigned integers, process ids and layers signed integers,
// bounds a dictionary of doubles in window-list coordinates (y downwards from the top of the
// union of all screen frames). A window's name is present only for this application's windows
// and, with screen-capture access, for other applications' named windows.
struct WindowList {
  static constexpr std::string_view numberKey = "windowNumber";
  static constexpr std::string_view ownerPIDKey = "ownerPID";
  static constexpr std::string_view ownerNameKey = "ownerName";
  static constexpr std::string_view layerKey = "layer";
  static constexpr std::string_view boundsKey = "bounds";
  static constexpr std::string_view nameKey = "name";
  static constexpr std::string_view onScreenKey = "onScreen";

  static constexpr std::string_view xKey = "X";
  static constexpr std::string_view yKey = "Y";
  static constexpr std::string_view widthKey = "Width";
  static constexpr std::string_view heightKey = "Height";

  // Options of a window-list request.
  static constexpr std::uint32_t optionAll = 0;
  static constexpr std::uint32_t optionOnScreenOnly = 1;
  static constexpr std::uint32_t excludeDesktopElements = 16;

  static Value boundsDictionary(const Rect& rect);
  // A dictionary with the four keys, each any finite number; nothing otherwise.
  static std::optional<Rect> rectFromBounds(const Value& bounds);
};

}  // namespace platform
