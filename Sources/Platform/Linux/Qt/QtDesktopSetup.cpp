#include "Platform/Linux/Qt/QtDesktopSetup.h"

#include <xcb/xcb.h>

#include <QApplication>
#include <cstdlib>

#include "Platform/Foundation/RunLoop.h"
#include "Platform/Linux/Qt/QtRunLoopWaiter.h"

namespace platform::linuxbackend {

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
  }
  auto desktop = std::make_shared<QtDesktop>(std::move(services));
  auto waiter = std::make_unique<QtRunLoopWaiter>();
  std::weak_ptr<QtDesktop> weak = desktop;
  waiter->setBeforeWait([weak] {
    if (auto d = weak.lock()) d->prepareForWait();
  });
  loop.setWaiter(std::move(waiter));
  return desktop;
}

}  // namespace platform::linuxbackend
