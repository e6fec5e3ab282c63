#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Platform/Desktop/Geometry.h"

namespace platform {

// One display, in screen coordinates (y upwards, origin at the bottom left of the primary
// screen). The visible frame leaves out the menu bar and the dock.
class Screen {
 public:
  Screen(Rect frame, Rect visibleFrame, std::string name = {})
      : frame_(frame), visibleFrame_(visibleFrame), name_(std::move(name)) {}

  Rect frame() const { return frame_; }
  Rect visibleFrame() const { return visibleFrame_; }
  const std::string& name() const { return name_; }

  // The installed desktop's screens in the platform's order (the primary screen first), and its
  // main screen: the one holding the key window, else the first. Empty and null without screens.
  static std::vector<std::shared_ptr<Screen>> screens();
  // How many times they changed; while it stays the same, `screens()` answers as before.
  static std::uint64_t changeCount();
  static std::shared_ptr<Screen> main();

 private:
  Rect frame_;
  Rect visibleFrame_;
  std::string name_;
};

}  // namespace platform
