#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "Platform/Desktop/Geometry.h"

namespace platform {

class Screen;

// Converts between the two coordinate systems that meet on the desktop: screen coordinates
// (y grows upwards; screens, windows and the mouse) and window-list coordinates (y grows
// downwards from the top of the union of all screen frames; the window list and its bounds).
// x is the same in both. The conversion is its own inverse.
class DesktopCoordinates {
 public:
  explicit DesktopCoordinates(double desktopTop) : top_(desktopTop) {}

  // The union of all screen frames; nothing without screens.
  static std::optional<Rect> desktopBounds(const std::vector<std::shared_ptr<Screen>>& screens);
  // The conversion for these screens (the installed desktop's by default); nothing without screens.
  static std::optional<DesktopCoordinates> forScreens(
      const std::vector<std::shared_ptr<Screen>>& screens);
  static std::optional<DesktopCoordinates> current();

  double desktopTop() const { return top_; }

  Point toWindowList(Point screenPoint) const { return {screenPoint.x, top_ - screenPoint.y}; }
  Point toScreen(Point windowListPoint) const {
    return {windowListPoint.x, top_ - windowListPoint.y};
  }
  // A rectangle keeps its size; its origin moves to the other corner's image.
  Rect toWindowList(const Rect& screenRect) const {
    return Rect(screenRect.x(), top_ - screenRect.y() - screenRect.height(), screenRect.width(),
                screenRect.height());
  }
  Rect toScreen(const Rect& windowListRect) const { return toWindowList(windowListRect); }

 private:
  double top_;
};

}  // namespace platform
