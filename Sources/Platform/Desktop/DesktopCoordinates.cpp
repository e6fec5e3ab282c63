#include "Platform/Desktop/DesktopCoordinates.h"

#include "Platform/Desktop/Screen.h"

namespace platform {

std::optional<Rect> DesktopCoordinates::desktopBounds(
    const std::vector<std::shared_ptr<Screen>>& screens) {
  std::optional<Rect> bounds;
  for (const auto& screen : screens) {
    if (!screen) continue;
    bounds = bounds ? bounds->unionWith(screen->frame()) : screen->frame();
  }
  return bounds;
}

std::optional<DesktopCoordinates> DesktopCoordinates::forScreens(
    const std::vector<std::shared_ptr<Screen>>& screens) {
  auto bounds = desktopBounds(screens);
  if (!bounds) return std::nullopt;
  return DesktopCoordinates(bounds->maxY());
}

std::optional<DesktopCoordinates> DesktopCoordinates::current() {
  return forScreens(Screen::screens());
}

}  // namespace platform
