#pragma once

#include <QColor>
#include <QFont>
#include <QPixmap>
#include <QRectF>
#include <optional>

#include "Platform/Desktop/Color.h"
#include "Platform/Desktop/Font.h"

class QPainter;

namespace platform {
class Image;
class TextField;
class Window;
}  // namespace platform

namespace platform::linuxbackend {

// Converts the desktop layer's values into Qt's and paints a window's view tree with QPainter.
QColor toQColor(const Color& color);
// Points are pixels on X11 at scale 1; the face maps to an installed family.
QFont toQFont(const Font& font);
// Draws an image into `rect` (y down); template images take `tint`.
void paintImage(QPainter& painter, const Image& image, const QRectF& rect,
                std::optional<QColor> tint = std::nullopt);
QPixmap renderImage(const Image& image, QSize size, std::optional<QColor> tint = std::nullopt);
// Paints the window's background and every visible view of its content, back to front.
// `caret` draws the caret of the field being edited; `blend` lays the background over what the
// painter holds already instead of replacing it.
// `selectedAll` is a field whose whole text is selected.
void paintWindow(QPainter& painter, Window& window, QSizeF size, bool caret, bool blend = false,
                 const TextField* selectedAll = nullptr);

}  // namespace platform::linuxbackend
