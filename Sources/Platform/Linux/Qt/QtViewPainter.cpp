#include "Platform/Linux/Qt/QtViewPainter.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QPaintEngine>
#include <QPainter>
#include <QPainterPath>
#include <QPainterPathStroker>
#include <QTransform>
#include <cmath>
#include <vector>

#include "Platform/Desktop/Button.h"
#include "Platform/Desktop/ColorWell.h"
#include "Platform/Desktop/Image.h"
#include "Platform/Desktop/ImageView.h"
#include "Platform/Desktop/PopUpButton.h"
#include "Platform/Desktop/SegmentedControl.h"
#include "Platform/Desktop/TextField.h"
#include "Platform/Desktop/Window.h"

namespace platform::linuxbackend {

namespace {

// Label colours are the dark appearance's; a light window draws them dark. Set per window
// painted (painting happens on the main thread only).
bool lightAppearance = false;
// Controls are drawn for a dark window: a dark appearance, or an opaque dark background.
// Windows of neither kind (a tag's clear panel) keep the light controls.
bool darkControls = false;

// The controls' colours for the window being painted.
struct ControlColours {
  QColor fill, border, text, arrow, separator, boxFill, fieldFill, fieldText;
};
ControlColours controlColours() {
  if (darkControls) {
    return {QColor(255, 255, 255, 40), QColor(255, 255, 255, 30), QColor(255, 255, 255, 225),
            QColor(220, 220, 220),     QColor(255, 255, 255, 45), QColor(255, 255, 255, 30),
            QColor(255, 255, 255, 22), QColor(255, 255, 255, 225)};
  }
  return {QColor(0xf4, 0xf4, 0xf4), QColor(0, 0, 0, 70), QColor(Qt::black), QColor(60, 60, 60),
          QColor(0, 0, 0, 50),      QColor(Qt::white),   QColor(Qt::white), QColor(Qt::black)};
}
// The field whose whole text is selected in the window being painted.
const TextField* selectedField = nullptr;

QString qs(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

int qtWeight(FontWeight weight) {
  switch (weight) {
    case FontWeight::ultraLight:
      return QFont::ExtraLight;
    case FontWeight::thin:
      return QFont::Thin;
    case FontWeight::light:
      return QFont::Light;
    case FontWeight::regular:
      return QFont::Normal;
    case FontWeight::medium:
      return QFont::Medium;
    case FontWeight::semibold:
      return QFont::DemiBold;
    case FontWeight::bold:
      return QFont::Bold;
    case FontWeight::heavy:
      return QFont::ExtraBold;
    case FontWeight::black:
      return QFont::Black;
  }
  return QFont::Normal;
}

// Window coordinates (y up from the content's bottom) to widget coordinates (y down).
QRectF toWidget(const Rect& r, double height) {
  return QRectF(r.x(), height - r.y() - r.height(), r.width(), r.height());
}

QPainterPath roundedPath(const QRectF& rect, double radius) {
  QPainterPath path;
  double r = std::min({radius, rect.width() / 2, rect.height() / 2});
  if (r > 0) {
    path.addRoundedRect(rect, r, r);
  } else {
    path.addRect(rect);
  }
  return path;
}

// Layouts are measured with the desktop layer's uniform advance; an installed face that runs a
// little wider is narrowed to the room the layout gave the text instead of losing characters.
QFont fitted(QFont font, const QString& text, double room) {
  double width = QFontMetricsF(font).horizontalAdvance(text);
  if (width <= room || room <= 0) return font;
  int stretch = static_cast<int>(std::floor(100 * room / width));
  font.setStretch(std::max(70, stretch));
  return font;
}

// How a text meets the width of its rectangle: one line cut at the edge, one line ending in an
// ellipsis, or as many lines as it wraps to.
enum class TextFit { clip, elide, wrap };

void drawText(QPainter& painter, const QRectF& rect, const std::string& text, const Font& font,
              const QColor& color, Qt::Alignment alignment, TextFit fit) {
  const bool wrap = fit == TextFit::wrap;
  QFont qfont = toQFont(font);
  QString string = qs(text);
  if (!wrap) qfont = fitted(qfont, string, rect.width());
  painter.setFont(qfont);
  painter.setPen(color);
  if (fit == TextFit::elide)
    string = QFontMetricsF(qfont).elidedText(string, Qt::ElideRight, rect.width());
  int flags = static_cast<int>(alignment) | (wrap ? Qt::TextWordWrap : Qt::TextSingleLine);
  painter.drawText(rect, flags, string);
}

// The glyphs of the symbols we draw, by the prefix of their names: strokes in a unit square
// (0..1, y down), each an open polyline. The first prefix a name starts with wins.
struct SymbolGlyph {
  const char* prefix;
  std::vector<std::vector<QPointF>> strokes;
};

const std::vector<SymbolGlyph>& symbolGlyphs() {
  static const std::vector<SymbolGlyph> glyphs{
      {"checkmark", {{{0.1, 0.55}, {0.38, 0.82}, {0.9, 0.2}}}},
      {"xmark", {{{0.15, 0.15}, {0.85, 0.85}}, {{0.85, 0.15}, {0.15, 0.85}}}},
      {"minus", {{{0.1, 0.5}, {0.9, 0.5}}}},
      {"plus", {{{0.1, 0.5}, {0.9, 0.5}}, {{0.5, 0.1}, {0.5, 0.9}}}},
      {"arrow.up.right",
       {{{0.15, 0.85}, {0.85, 0.15}}, {{0.35, 0.15}, {0.85, 0.15}, {0.85, 0.65}}}},
      {"chevron.right", {{{0.35, 0.1}, {0.7, 0.5}, {0.35, 0.9}}}},
  };
  return glyphs;
}

// The glyph a symbol name starts with, as an open path to be stroked; empty for names with no
// glyph of their own (plain shapes).
QPainterPath symbolGlyph(const std::string& name) {
  QPainterPath p;
  for (const auto& glyph : symbolGlyphs()) {
    if (name.rfind(glyph.prefix, 0) != 0) continue;
    for (const auto& stroke : glyph.strokes) {
      p.moveTo(stroke.front());
      for (std::size_t i = 1; i < stroke.size(); ++i) p.lineTo(stroke[i]);
    }
    break;
  }
  return p;
}

// Where the glyph of an enclosed symbol ("checkmark.circle.fill") goes inside its enclosure.
QPainterPath placed(const QPainterPath& unit, const QRectF& box) {
  QTransform t;
  t.translate(box.left(), box.top());
  t.scale(box.width(), box.height());
  return t.map(unit);
}

// A system symbol, drawn by name. An enclosed one ("minus.circle.fill") is its circle or
// rounded square with the glyph cut out of it when filled, or both outlined when not; a name we
// have no drawing for is a plain circle.
void paintSymbol(QPainter& painter, const std::string& name, const QRectF& r, const QColor& color) {
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  auto starts = [&](const char* prefix) { return name.rfind(prefix, 0) == 0; };
  auto has = [&](const char* part) { return name.find(part) != std::string::npos; };
  QPen pen(color, std::max(1.0, r.width() / 10));
  pen.setCapStyle(Qt::RoundCap);
  pen.setJoinStyle(Qt::RoundJoin);
  painter.setPen(pen);
  painter.setBrush(Qt::NoBrush);
  QRectF box =
      r.adjusted(r.width() * 0.15, r.height() * 0.15, -r.width() * 0.15, -r.height() * 0.15);
  bool filled = has(".fill");
  if (starts("tag")) {
    if (filled) painter.setBrush(color);
    QPainterPath p;
    p.moveTo(box.left(), box.top() + box.height() * 0.25);
    p.lineTo(box.left() + box.width() * 0.55, box.top() + box.height() * 0.25);
    p.lineTo(box.right(), box.center().y());
    p.lineTo(box.left() + box.width() * 0.55, box.bottom() - box.height() * 0.25);
    p.lineTo(box.left(), box.bottom() - box.height() * 0.25);
    p.closeSubpath();
    painter.drawPath(p);
    painter.setBrush(filled ? QColor(Qt::transparent) : color);
    painter.drawEllipse(QPointF(box.left() + box.width() * 0.2, box.center().y()),
                        box.width() * 0.06, box.width() * 0.06);
    painter.restore();
    return;
  }
  if (has("exclamationmark")) {
    if (filled) painter.setBrush(color);
    QPainterPath p;
    p.moveTo(box.center().x(), box.top());
    p.lineTo(box.right(), box.bottom());
    p.lineTo(box.left(), box.bottom());
    p.closeSubpath();
    painter.drawPath(p);
    painter.drawLine(QPointF(box.center().x(), box.top() + box.height() * 0.35),
                     QPointF(box.center().x(), box.bottom() - box.height() * 0.3));
    painter.restore();
    return;
  }
  bool circle = starts("circle") || has(".circle");
  bool square = !circle && (starts("square") || has(".square"));
  QPainterPath glyph = symbolGlyph(name);
  if (!circle && !square) {
    if (glyph.isEmpty()) {
      painter.drawEllipse(box);
    } else {
      painter.drawPath(placed(glyph, box));
    }
    painter.restore();
    return;
  }
  // The enclosure fills the box; its glyph takes the middle half of it.
  QRectF outer =
      r.adjusted(r.width() * 0.06, r.height() * 0.06, -r.width() * 0.06, -r.height() * 0.06);
  QPainterPath enclosure;
  double line = std::max(1.0, outer.width() * 0.08);
  QRectF edge = filled ? outer : outer.adjusted(line / 2, line / 2, -line / 2, -line / 2);
  if (circle) {
    enclosure.addEllipse(edge);
  } else {
    enclosure.addRoundedRect(edge, edge.width() * 0.22, edge.height() * 0.22);
  }
  double m = outer.width() * 0.26;
  QPainterPath mark = placed(glyph, outer.adjusted(m, m, -m, -m));
  QPen markPen(color, std::max(1.0, outer.width() * 0.1), Qt::SolidLine, Qt::RoundCap,
               Qt::RoundJoin);
  if (filled) {
    QPainterPathStroker stroker(markPen);
    QPainterPath cut = glyph.isEmpty() ? QPainterPath() : stroker.createStroke(mark).simplified();
    painter.setPen(Qt::NoPen);
    painter.fillPath(enclosure.subtracted(cut), color);
  } else {
    QPen ring(color, line);
    if (has("dashed")) ring.setDashPattern({2.5, 2});
    painter.setPen(ring);
    painter.drawPath(enclosure);
    painter.setPen(markPen);
    if (!glyph.isEmpty()) painter.drawPath(mark);
  }
  painter.restore();
}

void paintOperations(QPainter& painter, const Image& image, const QRectF& rect) {
  Size size = image.size();
  if (size.width <= 0 || size.height <= 0) return;
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  painter.translate(rect.topLeft());
  painter.scale(rect.width() / size.width, rect.height() / size.height);
  if (!image.isFlipped()) {
    painter.translate(0, size.height);
    painter.scale(1, -1);
  }
  for (const auto& op : image.operations()) {
    QRectF r(op.rect.x(), op.rect.y(), op.rect.width(), op.rect.height());
    QColor c = toQColor(op.color);
    switch (op.kind) {
      case DrawingOperation::Kind::fillRect:
        painter.fillRect(r, c);
        break;
      case DrawingOperation::Kind::fillOval:
        painter.setPen(Qt::NoPen);
        painter.setBrush(c);
        painter.drawEllipse(r);
        break;
      case DrawingOperation::Kind::strokeRect:
        painter.setPen(QPen(c, 1));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(r.adjusted(0.5, 0.5, -0.5, -0.5));
        break;
      case DrawingOperation::Kind::strokeOval:
        painter.setPen(QPen(c, 1));
        painter.setBrush(Qt::NoBrush);
        painter.drawEllipse(r.adjusted(0.5, 0.5, -0.5, -0.5));
        break;
    }
  }
  painter.restore();
}

void paintTextField(QPainter& painter, TextField& field, const QRectF& r, bool caret) {
  if (field.isBezeled() || field.isBordered()) {
    painter.fillRect(r, field.drawsBackground() && field.backgroundColor()
                            ? toQColor(*field.backgroundColor())
                            : controlColours().fieldFill);
    painter.setPen(darkControls ? controlColours().border : QColor(0, 0, 0, 90));
    painter.drawRect(r.adjusted(0.5, 0.5, -0.5, -0.5));
  } else if (field.drawsBackground() && field.backgroundColor()) {
    painter.fillRect(r, toQColor(*field.backgroundColor()));
  }
  Font font = field.effectiveFont();
  QRectF text = r.adjusted(TextField::textInset, 0, -TextField::textInset, 0);
  bool single =
      field.usesSingleLineMode() || (field.lineBreakMode() != LineBreakMode::byWordWrapping &&
                                     field.lineBreakMode() != LineBreakMode::byCharWrapping);
  Qt::Alignment align = Qt::AlignLeft | (single ? Qt::AlignVCenter : Qt::AlignTop);
  QColor color = field.textColor() ? toQColor(*field.textColor()) : controlColours().fieldText;
  if (!field.isEnabled()) color.setAlphaF(color.alphaF() * 0.5f);
  bool elide = field.lineBreakMode() == LineBreakMode::byTruncatingTail && !field.isEditing();
  if (field.stringValue().empty() && field.placeholderAttributedString()) {
    const auto& placeholder = *field.placeholderAttributedString();
    QColor pc = placeholder.foregroundColor ? toQColor(*placeholder.foregroundColor)
                                            : QColor(128, 128, 128);
    drawText(painter, text, placeholder.string, placeholder.font.value_or(font), pc, align,
             TextFit::elide);
  } else {
    painter.save();
    painter.setClipRect(r);
    QString string = qs(field.stringValue());
    QFontMetricsF metrics(fitted(toQFont(font), string, text.width()));
    double width = metrics.horizontalAdvance(string);
    // While editing, the end of a long text stays in view, with the caret after it.
    QRectF place = text;
    if (field.isEditing() && width > text.width()) place.setLeft(text.right() - width);
    if (&field == selectedField && width > 0) {
      QColor highlight(0x2f, 0x6f, 0xe0, 110);
      double h = metrics.height();
      double left = std::max(place.left(), text.left());
      painter.fillRect(QRectF(left, r.center().y() - h / 2, std::min(width, text.width()), h),
                       highlight);
    }
    TextFit fit = !single && !field.isEditing() ? TextFit::wrap
                  : elide                       ? TextFit::elide
                                                : TextFit::clip;
    drawText(painter, place, field.stringValue(), font, color, align, fit);
    painter.restore();
  }
  if (caret && field.isEditing()) {
    QFontMetricsF metrics(fitted(toQFont(font), qs(field.stringValue()), text.width()));
    double width =
        field.stringValue().empty() ? 0 : metrics.horizontalAdvance(qs(field.stringValue()));
    double x = std::min(text.left() + width, text.right()) + 0.5;
    double h = metrics.height();
    double top = single ? r.center().y() - h / 2 : r.top();
    painter.setPen(QPen(color, 1));
    painter.drawLine(QPointF(x, top), QPointF(x, top + h));
  }
}

void paintButton(QPainter& painter, Button& button, const QRectF& r) {
  Font font = button.effectiveFont();
  const ControlColours colours = controlColours();
  QColor text = button.contentTintColor() ? toQColor(*button.contentTintColor()) : colours.text;
  if (!button.isEnabled()) text.setAlphaF(text.alphaF() * 0.45f);
  if (button.buttonType() == ButtonType::checkbox || button.buttonType() == ButtonType::radio) {
    QRectF box(r.left() + 1, r.center().y() - 7, 14, 14);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(darkControls ? QColor(255, 255, 255, 90) : QColor(0, 0, 0, 120));
    bool on = button.state() == ControlState::on;
    painter.setBrush(on ? QColor(0x2f, 0x6f, 0xe0) : colours.boxFill);
    if (button.buttonType() == ButtonType::radio) {
      painter.drawEllipse(box);
    } else {
      painter.drawRoundedRect(box, 3, 3);
    }
    if (on) paintSymbol(painter, "checkmark", box, Qt::white);
    drawText(painter, QRectF(r.left() + 22, r.top(), r.width() - 22, r.height()), button.title(),
             font, text, Qt::AlignLeft | Qt::AlignVCenter, TextFit::elide);
    return;
  }
  if (button.isBordered()) {
    painter.setRenderHint(QPainter::Antialiasing);
    bool pressedLook =
        button.buttonType() != ButtonType::momentaryPushIn && button.state() == ControlState::on;
    bool isDefault = button.keyEquivalent() == "\r";
    QColor fill = isDefault ? QColor(0x2f, 0x6f, 0xe0) : colours.fill;
    if (pressedLook) fill = darkControls ? QColor(255, 255, 255, 80) : QColor(0xd0, 0xd0, 0xd0);
    if (isDefault && !button.contentTintColor()) text = Qt::white;
    painter.setPen(colours.border);
    painter.setBrush(fill);
    painter.drawRoundedRect(r.adjusted(0.5, 1.5, -0.5, -1.5), 5, 5);
  }
  const auto& image = button.image();
  bool showImage = image && button.imagePosition() != ImagePosition::noImage;
  if (image && button.title().empty()) showImage = true;
  QFontMetricsF metrics(toQFont(font));
  double titleWidth = button.title().empty() ? 0 : metrics.horizontalAdvance(qs(button.title()));
  double imageWidth = showImage ? image->size().width : 0;
  double gap = showImage && titleWidth > 0 ? 4 : 0;
  double x = r.center().x() - (titleWidth + imageWidth + gap) / 2;
  if (showImage) {
    Size s = image->size();
    QRectF ir(x, r.center().y() - s.height / 2, s.width, s.height);
    paintImage(painter, *image, ir, text);
    x += imageWidth + gap;
  }
  if (titleWidth > 0) {
    drawText(painter, QRectF(x, r.top(), r.right() - x, r.height()), button.title(), font, text,
             Qt::AlignLeft | Qt::AlignVCenter, TextFit::clip);
  }
}

void paintPopUp(QPainter& painter, PopUpButton& popUp, const QRectF& r) {
  const ControlColours colours = controlColours();
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(colours.border);
  painter.setBrush(colours.fill);
  painter.drawRoundedRect(r.adjusted(0.5, 1.5, -0.5, -1.5), 5, 5);
  drawText(painter, r.adjusted(8, 0, -20, 0), popUp.titleOfSelectedItem(), popUp.effectiveFont(),
           colours.text, Qt::AlignLeft | Qt::AlignVCenter, TextFit::elide);
  QPainterPath arrow;
  double cx = r.right() - 11, cy = r.center().y();
  arrow.moveTo(cx - 4, cy - 2);
  arrow.lineTo(cx + 4, cy - 2);
  arrow.lineTo(cx, cy + 3);
  arrow.closeSubpath();
  painter.setPen(Qt::NoPen);
  painter.setBrush(colours.arrow);
  painter.drawPath(arrow);
}

void paintSegments(QPainter& painter, SegmentedControl& control, const QRectF& r) {
  painter.setRenderHint(QPainter::Antialiasing);
  double natural = 0;
  for (std::size_t i = 0; i < control.segmentCount(); ++i) natural += control.widthForSegment(i);
  double scale = natural > 0 ? r.width() / natural : 1;
  const ControlColours colours = controlColours();
  painter.setPen(colours.border);
  painter.setBrush(colours.fill);
  painter.drawRoundedRect(r.adjusted(0.5, 0.5, -0.5, -0.5), 5, 5);
  double x = r.left();
  for (std::size_t i = 0; i < control.segmentCount(); ++i) {
    double w = control.widthForSegment(i) * scale;
    QRectF seg(x, r.top(), w, r.height());
    bool selected = static_cast<long>(i) == control.selectedSegment();
    if (selected) {
      painter.setPen(Qt::NoPen);
      painter.setBrush(QColor(0x2f, 0x6f, 0xe0));
      painter.drawRoundedRect(seg.adjusted(1.5, 1.5, -1.5, -1.5), 4, 4);
    } else if (i > 0) {
      painter.setPen(colours.separator);
      painter.drawLine(QPointF(x, r.top() + 4), QPointF(x, r.bottom() - 4));
    }
    drawText(painter, seg, control.label(i), control.effectiveFont(),
             selected ? QColor(Qt::white) : colours.text, Qt::AlignCenter, TextFit::elide);
    x += w;
  }
}

// The part of the window being painted, in widget coordinates; none: all of it.
std::optional<QRectF> paintedArea;

void paintView(QPainter& painter, View& view, double height, bool caret) {
  if (view.isHidden()) return;
  QRectF r = toWidget(view.convertToWindow(view.bounds()), height);
  // A view outside what is painted draws nothing there (a hosted editor's rows scrolled out of
  // the window cost their text shaping otherwise); its subviews may still reach in.
  const bool shown = !paintedArea || r.intersects(*paintedArea);
  if (!shown && view.layer() && view.layer()->masksToBounds()) return;
  painter.save();
  painter.setOpacity(painter.opacity() * std::clamp(view.alphaValue(), 0.0, 1.0));
  if (!shown) {
    for (const auto& sub : view.subviews()) paintView(painter, *sub, height, caret);
    painter.restore();
    return;
  }
  if (const Layer* layer = view.layer()) {
    QPainterPath path = roundedPath(r, layer->cornerRadius());
    if (layer->backgroundColor()) {
      painter.setRenderHint(QPainter::Antialiasing);
      painter.fillPath(path, toQColor(*layer->backgroundColor()));
    }
    if (layer->masksToBounds()) painter.setClipPath(path, Qt::IntersectClip);
  }
  if (auto* field = dynamic_cast<TextField*>(&view)) {
    paintTextField(painter, *field, r, caret);
  } else if (auto* popUp = dynamic_cast<PopUpButton*>(&view)) {
    paintPopUp(painter, *popUp, r);
  } else if (auto* button = dynamic_cast<Button*>(&view)) {
    paintButton(painter, *button, r);
  } else if (auto* well = dynamic_cast<ColorWell*>(&view)) {
    painter.setPen(darkControls ? controlColours().border : QColor(0, 0, 0, 90));
    painter.setBrush(controlColours().fill);
    painter.drawRect(r.adjusted(0.5, 0.5, -0.5, -0.5));
    painter.fillRect(r.adjusted(4, 4, -4, -4), toQColor(well->color()));
    if (well->isActive()) {
      painter.setPen(QPen(QColor(0x2f, 0x6f, 0xe0), 2));
      painter.setBrush(Qt::NoBrush);
      painter.drawRect(r.adjusted(1, 1, -1, -1));
    }
  } else if (auto* segments = dynamic_cast<SegmentedControl*>(&view)) {
    paintSegments(painter, *segments, r);
  } else if (auto* imageView = dynamic_cast<ImageView*>(&view)) {
    if (const auto& image = imageView->image()) {
      Size s = image->size();
      QRectF target = r;
      if (imageView->imageScaling() != ImageScaling::axesIndependently && s.width > 0 &&
          s.height > 0) {
        double k = std::min(r.width() / s.width, r.height() / s.height);
        if (imageView->imageScaling() == ImageScaling::none ||
            (imageView->imageScaling() == ImageScaling::proportionallyDown && k > 1))
          k = 1;
        target = QRectF(0, 0, s.width * k, s.height * k);
        target.moveCenter(r.center());
      }
      paintImage(painter, *image, target, QColor(Qt::black));
    }
  }
  for (const auto& sub : view.subviews()) paintView(painter, *sub, height, caret);
  painter.restore();
}

}  // namespace

QColor toQColor(const Color& color) {
  if (lightAppearance && color.space() == ColorSpace::catalog &&
      color.name().find("abelColor") != std::string::npos) {
    return QColor::fromRgbF(0, 0, 0, static_cast<float>(color.alphaComponent()));
  }
  auto srgb = color.toSRGB();
  if (!srgb) return QColor(128, 128, 128);
  auto c = [](double v) { return static_cast<float>(std::clamp(v, 0.0, 1.0)); };
  return QColor::fromRgbF(c(srgb->redComponent()), c(srgb->greenComponent()),
                          c(srgb->blueComponent()), c(srgb->alphaComponent()));
}

QFont toQFont(const Font& font) {
  QFont qfont;
  if (font.isMonospaced()) qfont = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  if (!font.isSystemFont()) {
    // "Menlo-Bold" is the family "Menlo"; a face we do not have falls back to the system one.
    std::string name = font.fontName();
    auto dash = name.find('-');
    QString family = qs(name.substr(0, dash));
    if (QFontDatabase::hasFamily(family)) qfont.setFamily(family);
  }
  qfont.setPixelSize(std::max(1, static_cast<int>(std::lround(font.pointSize()))));
  qfont.setWeight(static_cast<QFont::Weight>(qtWeight(font.weight())));
  return qfont;
}

void paintImage(QPainter& painter, const Image& image, const QRectF& rect,
                std::optional<QColor> tint) {
  switch (image.kind()) {
    case Image::Kind::symbol:
      paintSymbol(painter, image.name(), rect, tint.value_or(QColor(Qt::black)));
      return;
    case Image::Kind::drawn:
      paintOperations(painter, image, rect);
      return;
    case Image::Kind::bitmap: {
      QImage bitmap(qs(image.name()));
      if (bitmap.isNull()) return;
      if (image.isTemplate() && tint) {
        QImage tinted = bitmap.convertToFormat(QImage::Format_ARGB32_Premultiplied);
        QPainter p(&tinted);
        p.setCompositionMode(QPainter::CompositionMode_SourceIn);
        p.fillRect(tinted.rect(), *tint);
        p.end();
        bitmap = tinted;
      }
      // Fitted into the frame keeping its own aspect, centred, never stretched.
      QRectF fitted = rect;
      if (bitmap.width() > 0 && bitmap.height() > 0) {
        double k = std::min(rect.width() / bitmap.width(), rect.height() / bitmap.height());
        fitted = QRectF(0, 0, bitmap.width() * k, bitmap.height() * k);
        fitted.moveCenter(rect.center());
      }
      painter.save();
      painter.setRenderHint(QPainter::SmoothPixmapTransform);
      painter.drawImage(fitted, bitmap);
      painter.restore();
      return;
    }
  }
}

QPixmap renderImage(const Image& image, QSize size, std::optional<QColor> tint) {
  QPixmap pixmap(size);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  Size s = image.size();
  QRectF target(0, 0, size.width(), size.height());
  if (s.width > 0 && s.height > 0) {
    double k = std::min(size.width() / s.width, size.height() / s.height);
    target = QRectF(0, 0, s.width * k, s.height * k);
    target.moveCenter(QRectF(0, 0, size.width(), size.height()).center());
  }
  paintImage(painter, image, target, tint);
  return pixmap;
}

void paintWindow(QPainter& painter, Window& window, QSizeF size, bool caret, bool blend,
                 const TextField* selectedAll) {
  lightAppearance = false;
  darkControls = false;
  selectedField = selectedAll;
  QColor background = toQColor(window.backgroundColor());
  switch (window.appearance()) {
    case Appearance::aqua:
      lightAppearance = true;
      break;
    case Appearance::darkAqua:
      lightAppearance = false;
      darkControls = true;
      break;
    case Appearance::system:
      lightAppearance = background.alphaF() > 0.5f && background.lightnessF() > 0.5f;
      darkControls = background.alphaF() > 0.5f && background.lightnessF() <= 0.5f;
      break;
  }
  if (window.isOpaque()) background.setAlpha(255);
  if (!blend) painter.setCompositionMode(QPainter::CompositionMode_Source);
  painter.fillRect(QRectF(QPointF(0, 0), size), background);
  painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
  paintedArea = QRectF(QPointF(0, 0), size);
  if (QPaintEngine* engine = painter.paintEngine(); engine && !engine->systemClip().isEmpty())
    paintedArea = paintedArea->intersected(QRectF(engine->systemClip().boundingRect()));
  if (const auto& content = window.contentView())
    paintView(painter, *content, size.height(), caret);
  paintedArea.reset();
  lightAppearance = false;
  darkControls = false;
  selectedField = nullptr;
}

}  // namespace platform::linuxbackend
