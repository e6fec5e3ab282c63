#include "VoskaryAccount/SignIn/GoogleGGlyph.h"

#include <array>
#include <initializer_list>

namespace voskary {

using platform::Color;
using platform::Point;
using platform::forms::Canvas;
using platform::forms::CanvasPath;

namespace {

// One step of a path on the 24-point grid: a move, a line or a cubic curve (point, then its
// two control points).
struct Step {
  char command;  // 'M', 'L', 'C'
  double x, y;
  double c1x = 0, c1y = 0, c2x = 0, c2y = 0;
};

CanvasPath makePath(std::initializer_list<Step> steps, double s) {
  CanvasPath path;
  for (const Step& step : steps) {
    Point p{step.x * s, step.y * s};
    switch (step.command) {
      case 'M':
        path.moveTo(p);
        break;
      case 'L':
        path.lineTo(p);
        break;
      default:
        path.curveTo(p, {step.c1x * s, step.c1y * s}, {step.c2x * s, step.c2y * s});
        break;
    }
  }
  // Not closed: the fill closes each path from its last point back to its first.
  return path;
}

}  // namespace

platform::forms::Node GoogleGGlyph::body() const {
  return platform::forms::CanvasNode(&GoogleGGlyph::draw).accessibilityHidden();
}

void GoogleGGlyph::draw(Canvas& canvas) {
  const double s = canvas.size().width / 24;
  canvas.fill(makePath({{'M', 22.56, 12.25},
                        {'C', 22.36, 10.00, 22.56, 11.47, 22.49, 10.72},
                        {'L', 12.00, 10.00},
                        {'L', 12.00, 14.26},
                        {'L', 17.92, 14.26},
                        {'C', 15.71, 17.57, 17.66, 15.63, 16.88, 16.79},
                        {'L', 19.28, 20.34},
                        {'C', 22.56, 12.25, 21.36, 18.42, 22.56, 15.60}},
                       s),
              Color::sRGB(0.26, 0.52, 0.96));
  canvas.fill(makePath({{'M', 12.00, 23.00},
                        {'C', 19.28, 20.34, 14.97, 23.00, 17.46, 22.02},
                        {'L', 15.71, 17.57},
                        {'C', 12.00, 18.63, 14.72, 18.23, 13.48, 18.63},
                        {'C', 5.84, 14.10, 9.14, 18.63, 6.71, 16.70},
                        {'L', 2.18, 16.94},
                        {'C', 12.00, 23.00, 4.00, 20.53, 7.70, 23.00}},
                       s),
              Color::sRGB(0.20, 0.66, 0.33));
  canvas.fill(makePath({{'M', 5.84, 14.09},
                        {'C', 5.49, 12.00, 5.62, 13.43, 5.49, 12.73},
                        {'C', 5.84, 9.91, 5.49, 11.27, 5.62, 10.57},
                        {'L', 2.18, 7.07},
                        {'C', 1.00, 12.00, 1.43, 8.55, 1.00, 10.22},
                        {'C', 2.18, 16.93, 1.00, 13.78, 1.43, 15.45},
                        {'L', 5.03, 14.71},
                        {'L', 5.84, 14.09}},
                       s),
              Color::sRGB(0.98, 0.74, 0.02));
  canvas.fill(makePath({{'M', 12.00, 5.38},
                        {'C', 16.21, 7.02, 13.62, 5.38, 15.06, 5.94},
                        {'L', 19.36, 3.87},
                        {'C', 12.00, 1.00, 17.45, 2.09, 14.97, 1.00},
                        {'C', 2.18, 7.07, 7.70, 1.00, 3.99, 3.47},
                        {'L', 5.84, 9.91},
                        {'C', 12.00, 5.38, 6.71, 7.31, 9.14, 5.38}},
                       s),
              Color::sRGB(0.92, 0.26, 0.21));
}

}  // namespace voskary
