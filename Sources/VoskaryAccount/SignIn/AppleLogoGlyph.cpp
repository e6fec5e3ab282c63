#include "VoskaryAccount/SignIn/AppleLogoGlyph.h"

#include "VoskaryAccount/SignIn/GlyphGrid.h"

namespace voskary {

using platform::forms::Canvas;
using platform::forms::CanvasPath;

platform::forms::Node AppleLogoGlyph::body() const {
  return platform::forms::CanvasNode(&AppleLogoGlyph::draw).accessibilityHidden();
}

void AppleLogoGlyph::draw(Canvas& canvas) {
  GlyphGrid g(canvas);
  // The body, with the bite scooped out of its right side.
  CanvasPath body;
  body.moveTo(g(12.0, 7.4));
  body.curveTo(g(19.2, 8.9), g(14.8, 5.8), g(17.8, 6.6));
  body.curveTo(g(19.9, 15.3), g(16.9, 10.6), g(16.9, 14.3));
  body.curveTo(g(17.0, 21.3), g(19.5, 17.5), g(18.4, 20.0));
  body.curveTo(g(12.0, 20.4), g(15.6, 22.4), g(13.7, 20.9));
  body.curveTo(g(7.0, 21.3), g(10.3, 20.9), g(8.4, 22.4));
  body.curveTo(g(3.6, 12.2), g(4.6, 19.6), g(3.2, 15.8));
  body.curveTo(g(12.0, 7.4), g(4.0, 7.6), g(8.6, 5.6));
  body.close();
  canvas.fill(std::move(body), canvas.foreground());

  CanvasPath leaf;
  leaf.moveTo(g(12.2, 6.6));
  leaf.curveTo(g(16.0, 2.0), g(12.0, 4.2), g(13.6, 2.2));
  leaf.curveTo(g(12.2, 6.6), g(16.2, 4.4), g(14.6, 6.4));
  leaf.close();
  canvas.fill(std::move(leaf), canvas.foreground());
}

}  // namespace voskary
