#pragma once

#include <functional>
#include <memory>

namespace platform::linuxbackend {

class X11Connection;

// A lost X display (every logout, a server that died) ends the run at once and quietly. The
// libraries that notice first, Qt's xcb plugin and Xlib, call exit(); the ordinary exit would
// then destroy windows, the tray icon and the application object against a dead connection,
// racing Qt's own threads, and crash. Instead, once the display is found gone, the handler the
// application set writes its line and the process ends with `_exit`, with no destructor run.
// A normal exit, with the display still there, goes on as before.
class DisplayLoss {
 public:
  // Watches `connection` (our own, on the same display), Qt's report of its broken connection,
  // Xlib's I/O error and every exit of the process. Once, after the application object exists,
  // and only in a process that set a handler first (the application's, never a test's).
  static void install(std::shared_ptr<X11Connection> connection);
  // Runs on the thread that found the display gone, just before the end; it must not touch the
  // display. Set before the desktop is made.
  static void setHandler(std::function<void()> handler);
  // Runs the handler and ends the process with `status`, once, whichever thread gets here first.
  [[noreturn]] static void end(int status);
};

}  // namespace platform::linuxbackend
