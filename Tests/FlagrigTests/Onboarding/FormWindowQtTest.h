#pragma once

#include <QImage>
#include <QWidget>
#include <QWindow>
#include <functional>
#include <memory>
#include <string>

#include "Platform/Desktop/Window.h"
#include "Platform/Forms/FormHost.h"
#include "Platform/Linux/Qt/QtFormRenderer.h"
#include "PlatformTests/Linux/Qt/QtFormWindowTest.h"
#include "Support/Qt/WindowScreenshot.h"

namespace flagrig::testing {

// One form in a titled window of the Qt desktop on the private X desktop, clicked with xdotool
// and photographed; the screenshots go to $FLAGRIG_SCREENSHOT_DIR (/tmp/flagrig-qt-tests).
class FormWindowQtTest : public platform::testing::QtFormWindowTest {
 protected:
  // Shows `body` in a `width` x `height` window and waits until it is on screen.
  void show(platform::forms::FormHost::Body body, double width, double height,
            platform::Color backdrop) {
    host = platform::forms::FormHost::make(std::move(body));
    auto screen = desktop().screens().front()->frame();
    window = std::make_shared<platform::Window>(
        platform::Rect(120, screen.height() - 60 - height, width, height),
        platform::StyleMask::titled | platform::StyleMask::closable);
    window->setTitle("Flagrig");
    window->setBackgroundColor(backdrop);
    presentAndWait(static_cast<int>(width));
    runFor(0.2);
  }

  // The node with that key in the host's tree.
  const platform::forms::Node* keyed(std::string_view key,
                                     const platform::forms::Node* from = nullptr) const {
    return platform::forms::findKeyed(from ? *from : host->tree(), key);
  }
  QWidget* widgetOf(std::string_view key) {
    const auto* node = keyed(key);
    return node ? renderer->widgetFor(node->identity()) : nullptr;
  }
  // A real click in the middle of the widget drawn for the node with that key.
  bool click(std::string_view key) {
    QWidget* widget = widgetOf(key);
    if (!widget) return false;
    QPoint at = widget->mapToGlobal(QPoint(widget->width() / 2, widget->height() / 2));
    return xdotool({"mousemove", "--sync", std::to_string(at.x()), std::to_string(at.y())}) &&
           xdotool({"click", "1"});
  }
  bool redrawn(int before) {
    return runUntil([&] { return host->renderCount() > before; }, 10);
  }
  // The window's pixels as Qt draws them, kept as a file.
  QImage shoot(const std::string& name) {
    runFor(0.15);
    return platform::testing::keepScreenshot(*renderer->rootWidget(), name);
  }
  QColor colourAt(const QImage& image, QWidget* widget, QPoint offset) {
    return image.pixelColor(widget->mapTo(widget->window(), offset));
  }
};

}  // namespace flagrig::testing
