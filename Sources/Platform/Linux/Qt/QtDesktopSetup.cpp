#include "Platform/Linux/Qt/QtDesktopSetup.h"

#include <xcb/xcb.h>

#include <QApplication>
#include <QFontMetricsF>
#include <QPlatformSurfaceEvent>
#include <QString>
#include <QWindow>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

#include "Platform/Desktop/Font.h"
#include "Platform/Desktop/TextMeasurer.h"
#include "Platform/Foundation/RunLoop.h"
#include "Platform/Linux/Qt/QtRunLoopWaiter.h"
#include "Platform/Linux/Qt/QtViewPainter.h"

namespace platform::linuxbackend {

namespace {

// Qt gives each window a colormap of its own even on the screen's default visual. Screenshot
// tools read a window whose colormap is not installed through that map and show a window of
// ours over another (an alert over its window, a menu) as black: on the default visual, every
// window of ours uses the default map.
class DefaultColormap final : public QObject {
 public:
  using QObject::QObject;
  bool eventFilter(QObject* object, QEvent* event) override {
    if (event->type() != QEvent::PlatformSurface) return false;
    if (static_cast<QPlatformSurfaceEvent*>(event)->surfaceEventType() !=
        QPlatformSurfaceEvent::SurfaceCreated)
      return false;
    auto* window = qobject_cast<QWindow*>(object);
    if (window) use(static_cast<xcb_window_t>(window->winId()));
    return false;
  }

 private:
  static void use(xcb_window_t window) {
    auto* x11 = qApp ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* c = x11 ? x11->connection() : nullptr;
    if (!c || window == XCB_NONE) return;
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    xcb_get_window_attributes_reply_t* attributes =
        xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, window), nullptr);
    bool change = attributes && attributes->visual == screen->root_visual &&
                  attributes->colormap != screen->default_colormap;
    std::free(attributes);
    if (!change) return;
    std::uint32_t colormap = screen->default_colormap;
    xcb_change_window_attributes(c, window, XCB_CW_COLORMAP, &colormap);
    xcb_flush(c);
  }
};

}  // namespace

bool x11DisplayAvailable() {
  const char* display = std::getenv("DISPLAY");
  if (!display || !*display) return false;
  // The first good probe stays connected: a server that resets when its last client leaves
  // (xvfb-run's) would still be resetting when the caller connects for real, and refuse it.
  static xcb_connection_t* held = nullptr;
  if (held && !xcb_connection_has_error(held)) return true;
  xcb_connection_t* c = xcb_connect(display, nullptr);
  bool ok = c && !xcb_connection_has_error(c);
  if (ok) {
    if (held) xcb_disconnect(held);
    held = c;
  } else if (c) {
    xcb_disconnect(c);
  }
  return ok;
}

std::shared_ptr<QtDesktop> makeQtDesktop(RunLoop& loop, QtDesktopServices services) {
  if (!qApp) {
    // Our windows live on the X display, whatever else the session offers.
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    static int argc = 1;
    static char name[] = "flagrig";
    static char* argv[] = {name, nullptr};
    // Never destroyed: windows and the tray icon may outlive any owner we could give it.
    auto* app = new QApplication(argc, argv);
    app->setQuitOnLastWindowClosed(false);
    QApplication::setApplicationName("Flagrig");
    QApplication::setDesktopFileName("flagrig");
    app->installEventFilter(new DefaultColormap(app));
  }
  auto desktop = std::make_shared<QtDesktop>(std::move(services));
  std::weak_ptr<QtDesktop> measuring = desktop;
  // Layouts measure text as Qt draws it, while this desktop lives.
  // Every layout measures the same few hundred texts again, and shaping them is most of a
  // redraw: each width is kept, per font, while this desktop lives.
  struct Widths {
    std::mutex lock;
    std::unordered_map<std::string, double> byKey;
  };
  auto widths = std::make_shared<Widths>();
  setTextMeasurer(
      [measuring, widths](const Font& font, std::string_view utf8) -> std::optional<double> {
        if (measuring.expired() || !qApp) return std::nullopt;
        std::string key = font.fontName();
        key += '\x1f';
        key += std::to_string(font.pointSize());
        key += '\x1f';
        key += std::to_string(static_cast<int>(font.weight()));
        key += font.isMonospaced() ? 'm' : '-';
        key += font.isSystemFont() ? 's' : '-';
        key += '\x1f';
        key += utf8;
        {
          std::lock_guard held(widths->lock);
          if (auto found = widths->byKey.find(key); found != widths->byKey.end())
            return found->second;
        }
        QString text = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
        double width = std::ceil(QFontMetricsF(toQFont(font)).horizontalAdvance(text));
        std::lock_guard held(widths->lock);
        // Bounded: texts that keep changing (a counter, a typed field) must not grow it forever.
        if (widths->byKey.size() >= 8192) widths->byKey.clear();
        widths->byKey.emplace(std::move(key), width);
        return width;
      });
  auto waiter = std::make_unique<QtRunLoopWaiter>();
  std::weak_ptr<QtDesktop> weak = desktop;
  waiter->setBeforeWait([weak] {
    if (auto d = weak.lock()) d->prepareForWait();
  });
  loop.setWaiter(std::move(waiter));
  return desktop;
}

}  // namespace platform::linuxbackend
