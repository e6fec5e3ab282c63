#include "Platform/Linux/Qt/QtDesktopSetup.h"

#include <xcb/xcb.h>

#include <QApplication>
#include <QFontMetricsF>
#include <QString>
#include <cmath>
#include <cstdlib>

#include "Platform/Desktop/Font.h"
#include "Platform/Desktop/TextMeasurer.h"
#include "Platform/Foundation/RunLoop.h"
#include "Platform/Linux/Qt/QtRunLoopWaiter.h"
#include "Platform/Linux/Qt/QtViewPainter.h"

namespace platform::linuxbackend {

bool x11DisplayAvailable() {
  const char* display = std::getenv("DISPLAY");
  if (!display || !*display) return false;
  xcb_connection_t* c = xcb_connect(display, nullptr);
  bool ok = c && !xcb_connection_has_error(c);
  if (c) xcb_disconnect(c);
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
  }
  auto desktop = std::make_shared<QtDesktop>(std::move(services));
  std::weak_ptr<QtDesktop> measuring = desktop;
  // Layouts measure text as Qt draws it, while this desktop lives.
  setTextMeasurer([measuring](const Font& font, std::string_view utf8) -> std::optional<double> {
    if (measuring.expired() || !qApp) return std::nullopt;
    QString text = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
    return std::ceil(QFontMetricsF(toQFont(font)).horizontalAdvance(text));
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
