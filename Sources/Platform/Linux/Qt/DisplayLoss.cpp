#include "Platform/Linux/Qt/DisplayLoss.h"

#include <unistd.h>
#include <xcb/xcb.h>

#include <QGuiApplication>
#include <QtGlobal>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "Platform/Linux/X11/X11Connection.h"

// Last: its macros (Bool, Status) break Qt's headers.
#include <X11/Xlib.h>

namespace platform::linuxbackend {

namespace {

struct State {
  std::mutex mutex;
  std::function<void()> handler;
  std::shared_ptr<X11Connection> connection;
  xcb_connection_t* qtConnection = nullptr;
  QtMessageHandler previousMessageHandler = nullptr;
};

State& state() {
  // Never destroyed: it is read while the process exits.
  static auto* s = new State;
  return *s;
}

std::atomic<bool> ending{false};

// Whether the server still answers on our connection: one round trip.
bool displayAnswers(xcb_connection_t* c) {
  if (xcb_connection_has_error(c)) return false;
  auto* reply = xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr);
  bool answered = reply != nullptr;
  std::free(reply);
  return answered && !xcb_connection_has_error(c);
}

// Qt says that its connection broke just before it calls exit().
void qtMessage(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  auto* qt = state().qtConnection;
  if (qt && xcb_connection_has_error(qt)) DisplayLoss::end(1);
  if (auto previous = state().previousMessageHandler) previous(type, context, message);
}

// Xlib's I/O error handler must not return (Xlib exits if it does).
int xlibIOError(Display*) {
  DisplayLoss::end(1);
}

// Whoever else calls exit() while the display is gone.
void atExit(int status, void*) {
  std::shared_ptr<X11Connection> connection;
  {
    std::lock_guard lock(state().mutex);
    connection = state().connection;
  }
  if (!connection || displayAnswers(connection->raw())) return;
  DisplayLoss::end(status);
}

}  // namespace

void DisplayLoss::install(std::shared_ptr<X11Connection> connection) {
  {
    std::lock_guard lock(state().mutex);
    if (!state().handler) return;
  }
  static std::once_flag once;
  std::call_once(once, [&] {
    connection->onBroken([] { DisplayLoss::end(1); });
    {
      std::lock_guard lock(state().mutex);
      state().connection = std::move(connection);
    }
    if (auto* app =
            qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr) {
      state().qtConnection = app->connection();
    }
    state().previousMessageHandler = qInstallMessageHandler(qtMessage);
    XSetIOErrorHandler(xlibIOError);
    ::on_exit(atExit, nullptr);
  });
}

void DisplayLoss::setHandler(std::function<void()> handler) {
  std::lock_guard lock(state().mutex);
  state().handler = std::move(handler);
}

void DisplayLoss::end(int status) {
  // A second thread that gets here waits for the first to end the process.
  if (ending.exchange(true)) {
    for (;;) ::pause();
  }
  std::function<void()> handler;
  {
    std::unique_lock lock(state().mutex, std::try_to_lock);
    if (lock.owns_lock()) handler = state().handler;
  }
  if (handler) {
    try {
      handler();
    } catch (...) {
    }
  }
  std::fflush(stderr);
  ::_exit(status);
}

}  // namespace platform::linuxbackend
