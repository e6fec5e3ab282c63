#include "Platform/Linux/Qt/QtDesktop.h"

#include <xcb/xcb.h>

#include <QApplication>
#include <QCursor>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QMenu>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QWindow>
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "Platform/Desktop/Alert.h"
#include "Platform/Desktop/Application.h"
#include "Platform/Desktop/Menu.h"
#include "Platform/Desktop/Window.h"
#include "Platform/Foundation/Environment.h"
#include "Platform/Foundation/Error.h"
#include "Platform/Linux/Qt/QtFormRenderer.h"
#include "Platform/Linux/Qt/QtPasteboard.h"
#include "Platform/Linux/Qt/QtText.h"
#include "Platform/Linux/Qt/QtViewPainter.h"
#include "Platform/Linux/Qt/QtWindowHost.h"
#include "Platform/Linux/X11/X11Connection.h"

namespace platform::linuxbackend {

namespace {

xcb_connection_t* xcbConnection() {
  // Fixed for the application's life; asked for by every tag at every tick, where Qt's lookup
  // of its native interface is a good part of the cost.
  static const QCoreApplication* askedOf = nullptr;
  static xcb_connection_t* connection = nullptr;
  if (qApp != askedOf) {
    auto* x11 = qApp ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    connection = x11 ? x11->connection() : nullptr;
    askedOf = qApp;
  }
  return connection;
}

xcb_window_t rootWindow(xcb_connection_t* c) {
  return xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
}

xcb_atom_t internAtom(xcb_connection_t* c, const char* name) {
  auto cookie = xcb_intern_atom(c, 0, static_cast<std::uint16_t>(std::strlen(name)), name);
  xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(c, cookie, nullptr);
  xcb_atom_t atom = reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
  std::free(reply);
  return atom;
}

// The child of the root that holds `window`: its frame while a window manager manages it.
xcb_window_t topLevelOf(xcb_connection_t* c, xcb_window_t window) {
  xcb_window_t root = rootWindow(c);
  for (int depth = 0; depth < 16 && window != XCB_NONE; ++depth) {
    xcb_query_tree_reply_t* tree = xcb_query_tree_reply(c, xcb_query_tree(c, window), nullptr);
    if (!tree) return XCB_NONE;
    xcb_window_t parent = tree->parent;
    std::free(tree);
    if (parent == root) return window;
    window = parent;
  }
  return XCB_NONE;
}

void sendRootMessage(xcb_connection_t* c, xcb_window_t window, xcb_atom_t type,
                     std::array<std::uint32_t, 5> data) {
  sendRootClientMessage(c, rootWindow(c), window, type, data);
}

FontWeight weightFromStyle(const std::string& style) {
  std::string s;
  for (char ch : style) s += static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  if (s.find("black") != std::string::npos) return FontWeight::black;
  if (s.find("heavy") != std::string::npos || s.find("extrabold") != std::string::npos)
    return FontWeight::heavy;
  if (s.find("semibold") != std::string::npos || s.find("demibold") != std::string::npos)
    return FontWeight::semibold;
  if (s.find("bold") != std::string::npos) return FontWeight::bold;
  if (s.find("medium") != std::string::npos) return FontWeight::medium;
  if (s.find("light") != std::string::npos) return FontWeight::light;
  if (s.find("thin") != std::string::npos) return FontWeight::thin;
  return FontWeight::regular;
}

}  // namespace

QtDesktop::QtDesktop(QtDesktopServices services)
    : services_(std::move(services)),
      pasteboard_(std::make_unique<QtPasteboard>()),
      context_(std::make_unique<QObject>()) {
  precondition(qApp != nullptr, "QtDesktop: create the QApplication first");
  QObject::connect(qApp, &QGuiApplication::focusWindowChanged, context_.get(),
                   [this](QWindow*) { hostFocusChanged(); });
  auto forget = [this] { forgetScreens(); };
  QObject::connect(qApp, &QGuiApplication::screenAdded, context_.get(), [this](QScreen* screen) {
    forgetScreens();
    watchScreen(screen);
  });
  QObject::connect(qApp, &QGuiApplication::screenRemoved, context_.get(), forget);
  QObject::connect(qApp, &QGuiApplication::primaryScreenChanged, context_.get(), forget);
  for (QScreen* screen : QGuiApplication::screens()) watchScreen(screen);
}

void QtDesktop::forgetScreens() {
  screensKnown_ = false;
  ++screensChangeCount_;
}

void QtDesktop::watchScreen(QScreen* screen) {
  auto forget = [this] { forgetScreens(); };
  QObject::connect(screen, &QScreen::geometryChanged, context_.get(), forget);
  QObject::connect(screen, &QScreen::availableGeometryChanged, context_.get(), forget);
}

QtDesktop::~QtDesktop() {
  if (popup_) popup_->deleteLater();
  for (auto& [window, host] : hosts_) {
    host->detach();
    delete host;
  }
}

// Screens -----------------------------------------------------------------------------------------

Rect QtDesktop::toScreen(const Rect& r) const {
  // The primary screen's bottom edge is y = 0, as on the original platform; the root window's
  // y grows downwards from the top of the whole desktop.
  QScreen* primary = QGuiApplication::primaryScreen();
  double bottom = primary ? primary->geometry().y() + primary->geometry().height() : 0;
  return Rect(r.x(), bottom - r.y() - r.height(), r.width(), r.height());
}

Rect QtDesktop::toRoot(const Rect& r) const {
  return toScreen(r);
}

std::vector<std::shared_ptr<Screen>> QtDesktop::screens() const {
  if (screensKnown_) return screens_;
  std::vector<std::shared_ptr<Screen>> result;
  QScreen* primary = QGuiApplication::primaryScreen();
  if (!primary) return result;
  auto add = [&](QScreen* screen) {
    QRect g = screen->geometry(), a = screen->availableGeometry();
    result.push_back(std::make_shared<Screen>(toScreen(Rect(g.x(), g.y(), g.width(), g.height())),
                                              toScreen(Rect(a.x(), a.y(), a.width(), a.height())),
                                              screen->name().toStdString()));
  };
  add(primary);
  for (QScreen* screen : QGuiApplication::screens()) {
    if (screen != primary) add(screen);
  }
  screens_ = result;
  screensKnown_ = true;
  return result;
}

Point QtDesktop::mouseLocation() const {
  QPoint p = QCursor::pos();
  Rect r = toScreen(Rect(p.x(), p.y(), 0, 0));
  return {r.x(), r.y()};
}

std::optional<FontFace> QtDesktop::fontFace(std::string_view name) const {
  std::string full(name);
  auto dash = full.find('-');
  std::string family = full.substr(0, dash);
  std::string style = dash == std::string::npos ? std::string() : full.substr(dash + 1);
  // "HelveticaNeue" is installed as "Helvetica Neue".
  std::string spaced;
  for (std::size_t i = 0; i < family.size(); ++i) {
    if (i > 0 && std::isupper(static_cast<unsigned char>(family[i])) &&
        std::islower(static_cast<unsigned char>(family[i - 1])))
      spaced += ' ';
    spaced += family[i];
  }
  for (const std::string& candidate : {family, spaced}) {
    QString qfamily = qs(candidate);
    if (candidate.empty() || !QFontDatabase::hasFamily(qfamily)) continue;
    // A substituted family (fontconfig's aliases) is not the face asked for.
    if (!QFontDatabase::families().contains(qfamily, Qt::CaseInsensitive)) continue;
    return FontFace{full, QFontDatabase::isFixedPitch(qfamily), weightFromStyle(style)};
  }
  return std::nullopt;
}

// Services ----------------------------------------------------------------------------------------

WindowServer& QtDesktop::windowServer() {
  precondition(services_.windowServer != nullptr, "QtDesktop: no window server");
  return *services_.windowServer;
}

Accessibility& QtDesktop::accessibility() {
  precondition(services_.accessibility != nullptr, "QtDesktop: no accessibility");
  return *services_.accessibility;
}

HotKeyCenter& QtDesktop::hotKeys() {
  precondition(services_.hotKeys != nullptr, "QtDesktop: no hot keys");
  return *services_.hotKeys;
}

Workspace& QtDesktop::workspace() {
  precondition(services_.workspace != nullptr, "QtDesktop: no workspace");
  return *services_.workspace;
}

Pasteboard& QtDesktop::pasteboard() {
  return *pasteboard_;
}

// Windows -----------------------------------------------------------------------------------------

QtWindowHost* QtDesktop::hostFor(const Window& window) const {
  auto it = hosts_.find(&window);
  return it == hosts_.end() ? nullptr : it->second;
}

std::uint32_t QtDesktop::registerWindow(Window& window) {
  auto* host = new QtWindowHost(*this, window);
  hosts_[&window] = host;
  return host->xid();
}

void QtDesktop::unregisterWindow(Window& window) {
  auto it = hosts_.find(&window);
  if (it == hosts_.end()) return;
  QtWindowHost* host = it->second;
  hosts_.erase(it);
  host->detach();
  if (host->isVisible()) {
    host->setWantsKeyboardGrab(false);
    host->hide();
    noteOwnWindowsChanged();
  }
  // It may be handling the event that released the window.
  host->deleteLater();
}

void QtDesktop::applySkipTaskbar(QtWindowHost& host) const {
  if (host.bypassesWindowManager()) return;
  xcb_connection_t* c = xcbConnection();
  if (!c) return;
  bool skip =
      const_cast<QtDesktop*>(this)->application().activationPolicy() != ActivationPolicy::regular;
  xcb_atom_t state = internAtom(c, "_NET_WM_STATE");
  xcb_atom_t atoms[2] = {internAtom(c, "_NET_WM_STATE_SKIP_TASKBAR"),
                         internAtom(c, "_NET_WM_STATE_SKIP_PAGER")};
  xcb_atom_t above = internAtom(c, "_NET_WM_STATE_ABOVE");
  bool wantAbove = host.model() && host.model()->level() > WindowLevel::normal;
  if (host.isVisible()) {
    // A mapped window's state belongs to the window manager: ask it.
    sendRootMessage(c, host.xid(), state, {skip ? 1u : 0u, atoms[0], atoms[1], 1, 0});
    sendRootMessage(c, host.xid(), state, {wantAbove ? 1u : 0u, above, 0, 1, 0});
  } else {
    std::vector<xcb_atom_t> list;
    if (skip) list.assign(atoms, atoms + 2);
    if (wantAbove) list.push_back(above);
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, host.xid(), state, XCB_ATOM_ATOM, 32,
                        static_cast<std::uint32_t>(list.size()), list.data());
  }
  xcb_flush(c);
}

void QtDesktop::orderWindow(Window& window, WindowOrderingMode mode, std::uint32_t relativeTo,
                            WhileInactive) {
  QtWindowHost* host = hostFor(window);
  if (!host) return;
  if (mode == WindowOrderingMode::out) {
    if (!host->isVisible()) return;
    host->setWantsKeyboardGrab(false);
    host->hide();
    noteOwnWindowsChanged();
    return;
  }
  bool shown = false;
  if (!host->isVisible()) {
    host->syncGeometry();
    host->captureBackdrop();
    applySkipTaskbar(*host);
    // An overlay that takes keys owns the keyboard while it is up, so that Esc reaches the
    // application's monitors whichever application was active.
    host->setWantsKeyboardGrab(host->bypassesWindowManager() && !window.isPanel() &&
                               window.canBecomeKey());
    host->show();
    shown = true;
  }
  xcb_connection_t* c = xcbConnection();
  if (relativeTo != 0 && c) {
    std::uint32_t mine = host->xid();
    if (mode == WindowOrderingMode::above && services_.placeAbove &&
        host->bypassesWindowManager()) {
      services_.placeAbove(mine, relativeTo);
    } else {
      // Siblings under the root: our override-redirect window and the target's frame.
      xcb_window_t target = relativeTo;
      for (const auto& [w, other] : hosts_) {
        if (other->xid() == relativeTo) target = other->xid();
      }
      xcb_window_t sibling = topLevelOf(c, target);
      xcb_window_t self = host->bypassesWindowManager() ? mine : topLevelOf(c, mine);
      if (sibling != XCB_NONE && self != XCB_NONE && sibling != self) {
        std::uint32_t values[2] = {sibling, mode == WindowOrderingMode::above
                                                ? std::uint32_t{XCB_STACK_MODE_ABOVE}
                                                : std::uint32_t{XCB_STACK_MODE_BELOW}};
        xcb_configure_window(c, self, XCB_CONFIG_WINDOW_SIBLING | XCB_CONFIG_WINDOW_STACK_MODE,
                             values);
        xcb_flush(c);
      }
    }
  } else if (mode == WindowOrderingMode::above) {
    host->raise();
    // Levels win: our windows of higher levels stay above it.
    std::vector<QtWindowHost*> higher;
    for (const auto& [w, other] : hosts_) {
      if (other != host && other->isVisible() && other->model() &&
          other->model()->level() > window.level())
        higher.push_back(other);
    }
    std::stable_sort(higher.begin(), higher.end(), [](QtWindowHost* a, QtWindowHost* b) {
      return a->model()->level() < b->model()->level();
    });
    for (QtWindowHost* other : higher) other->raise();
  } else {
    host->lower();
  }
  if (shown) noteOwnWindowsChanged();
}

void QtDesktop::windowDidChange(Window& window, WindowChange change) {
  QtWindowHost* host = hostFor(window);
  if (!host) return;
  switch (change) {
    case WindowChange::frame:
      // The position poll sets every tag's frame 30 times a second: nothing to do unless it moved.
      if (!host->syncGeometry()) return;
      host->syncLook();
      if (host->isVisible()) noteOwnWindowsChanged();
      return;
    case WindowChange::level:
      applySkipTaskbar(*host);
      return;
    case WindowChange::style:
      host->syncSizeLimits();
      [[fallthrough]];
    case WindowChange::look:
    case WindowChange::title:
    case WindowChange::contentView:
      host->syncLook();
      if (change == WindowChange::title && host->isVisible()) noteOwnWindowsChanged();
      return;
    case WindowChange::key: {
      host->update();
      if (syncingFocus_) return;
      if (window.isKeyWindow() && host->isVisible() && !host->isActiveWindow())
        host->activateWindow();
      return;
    }
  }
}

void QtDesktop::viewDidChange(Window& window, View& view, ViewChange change) {
  QtWindowHost* host = hostFor(window);
  if (!host) return;
  if (&view == window.contentView().get() &&
      (change == ViewChange::layer || change == ViewChange::frame))
    host->syncLook();
  host->update();
}

void QtDesktop::hostMoved(QtWindowHost& host) {
  Window* window = host.model();
  if (!window || host.bypassesWindowManager()) return;
  // The window manager moved or resized the window: the model follows.
  QRect g = host.geometry();
  Rect content = toScreen(Rect(g.x(), g.y(), g.width(), g.height()));
  Rect frame = window->frameRectForContentRect(content);
  if (frame != window->frame()) window->setFrame(frame);
  noteOwnWindowsChanged();
}

void QtDesktop::noteOwnWindowsChanged() {
  if (services_.ownWindowsDidChange) services_.ownWindowsDidChange();
}

std::optional<OwnWindowInfo> QtDesktop::ownWindowInfo(std::uint32_t xid) const {
  for (const auto& [window, host] : hosts_) {
    if (host->xid() != xid || !host->model()) continue;
    return OwnWindowInfo{host->model()->level(), host->model()->title(), host->isVisible()};
  }
  return std::nullopt;
}

bool QtDesktop::hasCompositor() const {
  // A round trip; asked again at most once a second (a compositor may start or stop).
  auto now = std::chrono::steady_clock::now();
  if (compositorCheckedAt_ && now - *compositorCheckedAt_ < std::chrono::seconds(1))
    return compositor_;
  compositorCheckedAt_ = now;
  compositor_ = false;
  xcb_connection_t* c = xcbConnection();
  if (!c) return false;
  static const xcb_atom_t selection = internAtom(c, "_NET_WM_CM_S0");
  xcb_get_selection_owner_reply_t* reply =
      xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, selection), nullptr);
  compositor_ = reply && reply->owner != XCB_NONE;
  std::free(reply);
  return compositor_;
}

// Activation --------------------------------------------------------------------------------------

void QtDesktop::hostFocusChanged() {
  if (syncingFocus_) return;
  syncingFocus_ = true;
  struct Reset {
    bool& flag;
    ~Reset() { flag = false; }
  } reset{syncingFocus_};
  Application& app = application();
  QWindow* focus = QGuiApplication::focusWindow();
  QtWindowHost* host = nullptr;
  for (const auto& [window, h] : hosts_) {
    if (focus && h->windowHandle() == focus) host = h;
  }
  if (!host || !host->model()) {
    // Our own open menu has the focus: the application stays active under it. Deactivating
    // would hide the panels that hide on deactivation, and the focus coming back to re-show
    // them would close the menu before the user could choose from it.
    QWidget* popup = QApplication::activePopupWidget();
    if (focus && popup && popup->windowHandle() == focus) return;
    if (app.isActive() || app.hasKeyFocus())
      app.updateActivation({.active = false, .keyFocus = false});
    return;
  }
  Window& window = *host->model();
  auto keep = window.weak_from_this().lock();
  if (!keep) return;
  if (window.isNonactivatingPanel() && !app.isActive()) {
    app.updateActivation({.active = false, .keyFocus = true});
  } else if (!app.isActive() || !app.hasKeyFocus()) {
    app.updateActivation({.active = true, .keyFocus = true});
  }
  if (window.canBecomeKey() && !window.isKeyWindow()) window.makeKey();
}

void QtDesktop::activateApplication() {
  Application& app = application();
  std::shared_ptr<Window> target = app.keyWindow();
  if (!target) target = app.mainWindow();
  if (!target) {
    for (const auto& w : app.windows()) {
      if (w->isVisible() && w->canBecomeKey()) target = w;
    }
  }
  QtWindowHost* host = target ? hostFor(*target) : nullptr;
  if (host && host->isVisible()) {
    host->raise();
    host->activateWindow();
  }
  // X gives focus only to a mapped window; an application without one counts as active until
  // another window takes the focus.
  if (!app.isActive()) app.updateActivation({.active = true, .keyFocus = true});
}

void QtDesktop::setKeyFocus(bool ours) {
  xcb_connection_t* c = xcbConnection();
  if (!c) return;
  xcb_atom_t active = internAtom(c, "_NET_ACTIVE_WINDOW");
  if (ours) {
    // Remember who had the keyboard, to give it back when the panel is done.
    xcb_get_property_reply_t* reply = xcb_get_property_reply(
        c, xcb_get_property(c, 0, rootWindow(c), active, XCB_ATOM_WINDOW, 0, 1), nullptr);
    previousActive_ = XCB_NONE;
    if (reply && xcb_get_property_value_length(reply) >= 4)
      previousActive_ = *static_cast<xcb_window_t*>(xcb_get_property_value(reply));
    std::free(reply);
    if (auto key = application().keyWindow()) {
      if (QtWindowHost* host = hostFor(*key); host && host->isVisible()) host->activateWindow();
    }
    return;
  }
  if (previousActive_ != XCB_NONE) {
    // Source 2: on behalf of the user, so that the window manager does not refuse.
    sendRootMessage(c, previousActive_, active, {2, XCB_CURRENT_TIME, 0, 0, 0});
    xcb_flush(c);
    previousActive_ = XCB_NONE;
  }
}

void QtDesktop::activationPolicyDidChange(ActivationPolicy) {
  for (const auto& [window, host] : hosts_) applySkipTaskbar(*host);
}

void QtDesktop::terminateApplication() {
  if (tray_) tray_->hide();
  for (const auto& [window, host] : hosts_) host->hide();
  if (terminate_) {
    terminate_();
    return;
  }
  // The platform ends the process here; nothing after the delegate's last word runs.
  if (xcb_connection_t* c = xcbConnection()) xcb_flush(c);
  std::fflush(nullptr);
  std::_Exit(0);
}

// Alerts ------------------------------------------------------------------------------------------

void QtDesktop::alertWillRunModal(Alert& alert) {
  // The alert lays itself out in its own window and the modal session is our nested run loop;
  // the alert comes forward with the application, so that its keys reach it.
  if (QtWindowHost* host = hostFor(*alert.window())) host->syncLook();
  application().activate();
}

void QtDesktop::alertDidEnd(Alert&, long) {}

std::shared_ptr<void> QtDesktop::presentForm(Window& window,
                                             std::shared_ptr<forms::FormHost> host) {
  return std::make_shared<QtFormRenderer>(window, std::move(host));
}

}  // namespace platform::linuxbackend
