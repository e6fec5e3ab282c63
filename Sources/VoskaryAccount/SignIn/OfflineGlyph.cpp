#include "VoskaryAccount/SignIn/OfflineGlyph.h"

#include "VoskaryAccount/SignIn/GlyphGrid.h"

namespace voskary {

using platform::forms::Canvas;
using platform::forms::CanvasPath;

platform::forms::Node OfflineGlyph::body() const {
  return platform::forms::CanvasNode(&OfflineGlyph::draw).accessibilityHidden();
}

void OfflineGlyph::draw(Canvas& canvas) {
  GlyphGrid g(canvas);
  double width = g.length(2.2);
  for (double radius : {3.5, 7.5, 11.5}) {
    CanvasPath arc;
    // Upwards on screen is 270 degrees: a quarter circle either side of it.
    arc.addArc(g(12, 20), g.length(radius), 225, 315);
    canvas.stroke(std::move(arc), canvas.foreground(), width);
  }
  CanvasPath slash;
  slash.moveTo(g(3.5, 3.5));
  slash.lineTo(g(20.5, 20.5));
  canvas.stroke(std::move(slash), canvas.foreground(), width);
}

}  // namespace voskary
