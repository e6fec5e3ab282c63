#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "Platform/Desktop/Geometry.h"

namespace platform::sim {

// A window of another application on the simulated desktop. Bounds are in window-list
// coordinates (y downwards from the top of the union of all screen frames), as the window list
// reports them.
struct SimForeignWindow {
  std::uint32_t number = 0;
  std::int32_t pid = 0;
  std::optional<std::string> name;
  int layer = 0;
  Rect bounds;
  bool minimized = false;
  bool onOtherSpace = false;
  // Desktop pictures and icons: left out when the list excludes desktop elements.
  bool desktopElement = false;
};

}  // namespace platform::sim
