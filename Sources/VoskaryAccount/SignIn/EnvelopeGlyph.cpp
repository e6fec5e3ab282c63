#include "VoskaryAccount/SignIn/EnvelopeGlyph.h"

#include "VoskaryAccount/SignIn/GlyphGrid.h"

namespace voskary {

using platform::Color;
using platform::forms::Canvas;
using platform::forms::CanvasPath;

platform::forms::Node EnvelopeGlyph::body() const {
  return platform::forms::CanvasNode(&EnvelopeGlyph::draw).accessibilityHidden();
}

void EnvelopeGlyph::draw(Canvas& canvas) {
  GlyphGrid g(canvas);
  const double left = 2.5, top = 5.5, right = 21.5, bottom = 18.5, r = 2.2;
  constexpr double k = 0.5523 * 2.2;
  CanvasPath card;
  card.moveTo(g(left + r, top));
  card.lineTo(g(right - r, top));
  card.curveTo(g(right, top + r), g(right - r + k, top), g(right, top + r - k));
  card.lineTo(g(right, bottom - r));
  card.curveTo(g(right - r, bottom), g(right, bottom - r + k), g(right - r + k, bottom));
  card.lineTo(g(left + r, bottom));
  card.curveTo(g(left, bottom - r), g(left + r - k, bottom), g(left, bottom - r + k));
  card.lineTo(g(left, top + r));
  card.curveTo(g(left + r, top), g(left, top + r - k), g(left + r - k, top));
  card.close();
  canvas.fill(std::move(card), canvas.foreground());

  CanvasPath flap;
  flap.moveTo(g(left + 1.2, top + 1.2));
  flap.lineTo(g(12, 12.6));
  flap.lineTo(g(right - 1.2, top + 1.2));
  canvas.stroke(std::move(flap), Color::sRGB(0, 0, 0, 0.35), g.length(1.5));
}

}  // namespace voskary
