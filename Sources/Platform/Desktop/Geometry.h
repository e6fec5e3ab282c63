#pragma once

#include <algorithm>
#include <optional>

namespace platform {

// Points, sizes and rectangles in points (doubles), as windows, views and screens use them. The
// types carry no orientation: whether y grows upwards or downwards is the caller's coordinate
// space (see DesktopCoordinates).
struct Point {
  double x = 0;
  double y = 0;
  bool operator==(const Point&) const = default;
};

struct Size {
  double width = 0;
  double height = 0;
  bool operator==(const Size&) const = default;
};

struct Rect {
  Point origin;
  Size size;

  constexpr Rect() = default;
  constexpr Rect(Point o, Size s) : origin(o), size(s) {}
  constexpr Rect(double x, double y, double width, double height)
      : origin{x, y}, size{width, height} {}

  double x() const { return origin.x; }
  double y() const { return origin.y; }
  double width() const { return size.width; }
  double height() const { return size.height; }
  double minX() const { return std::min(origin.x, origin.x + size.width); }
  double maxX() const { return std::max(origin.x, origin.x + size.width); }
  double midX() const { return origin.x + size.width / 2; }
  double minY() const { return std::min(origin.y, origin.y + size.height); }
  double maxY() const { return std::max(origin.y, origin.y + size.height); }
  double midY() const { return origin.y + size.height / 2; }

  bool isEmpty() const { return size.width <= 0 || size.height <= 0; }
  // Half-open on the max edges, so that two rectangles sharing an edge never both contain a point.
  bool contains(Point p) const {
    return p.x >= minX() && p.x < maxX() && p.y >= minY() && p.y < maxY();
  }
  bool intersects(const Rect& o) const {
    return !isEmpty() && !o.isEmpty() && minX() < o.maxX() && o.minX() < maxX() &&
           minY() < o.maxY() && o.minY() < maxY();
  }
  // The overlap; an empty rectangle at the origin when there is none.
  Rect intersection(const Rect& o) const {
    if (!intersects(o)) return Rect();
    double x0 = std::max(minX(), o.minX()), y0 = std::max(minY(), o.minY());
    return Rect(x0, y0, std::min(maxX(), o.maxX()) - x0, std::min(maxY(), o.maxY()) - y0);
  }
  // The smallest rectangle holding both.
  Rect unionWith(const Rect& o) const {
    double x0 = std::min(minX(), o.minX()), y0 = std::min(minY(), o.minY());
    return Rect(x0, y0, std::max(maxX(), o.maxX()) - x0, std::max(maxY(), o.maxY()) - y0);
  }
  Rect insetBy(double dx, double dy) const {
    return Rect(origin.x + dx, origin.y + dy, size.width - 2 * dx, size.height - 2 * dy);
  }
  Rect offsetBy(double dx, double dy) const {
    return Rect(origin.x + dx, origin.y + dy, size.width, size.height);
  }

  bool operator==(const Rect&) const = default;
};

}  // namespace platform
