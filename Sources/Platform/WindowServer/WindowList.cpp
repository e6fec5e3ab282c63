#include "Platform/WindowServer/WindowList.h"

#include <cmath>

namespace platform {

Value WindowList::boundsDictionary(const Rect& rect) {
  return Value::Dictionary{{std::string(xKey), rect.x()},
                           {std::string(yKey), rect.y()},
                           {std::string(widthKey), rect.width()},
                           {std::string(heightKey), rect.height()}};
}

std::optional<Rect> WindowList::rectFromBounds(const Value& bounds) {
  if (!bounds.asDictionary()) return std::nullopt;
  double values[4];
  const std::string_view keys[] = {xKey, yKey, widthKey, heightKey};
  for (int i = 0; i < 4; ++i) {
    const Value* v = bounds.find(keys[i]);
    auto d = v ? v->exactly<double>() : std::nullopt;
    if (!d || !std::isfinite(*d)) return std::nullopt;
    values[i] = *d;
  }
  return Rect(values[0], values[1], values[2], values[3]);
}

}  // namespace platform
