#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Platform/Desktop/Desktop.h"
#include "Platform/Desktop/Image.h"
#include "Platform/Desktop/Pasteboard.h"
#include "Platform/Linux/X11/X11WindowServer.h"

class QMenu;
class QObject;
class QScreen;
class QSystemTrayIcon;

namespace platform::linuxbackend {

class QtWindowHost;

// What the X11 side of the desktop gives the Qt side: the services that read other
// applications' windows, and the restacking of our override-redirect panels.
struct QtDesktopServices {
  std::shared_ptr<WindowServer> windowServer;
  std::shared_ptr<Accessibility> accessibility;
  std::shared_ptr<HotKeyCenter> hotKeys;
  std::shared_ptr<Workspace> workspace;
  // Puts our window (an X window id) directly above another window (its client window number);
  // without it the backend walks the tree to the target's frame itself.
  std::function<void(std::uint32_t ourWindow, std::uint32_t target)> placeAbove;
  // Our windows were shown, hidden, moved or renamed.
  std::function<void()> ownWindowsDidChange;
  // Runs before each wait of the main loop (events the X11 side has queued already).
  std::function<void()> beforeWait;
};

// The desktop on an X11 session, drawn with Qt 6: screens and the pointer from Qt, one native
// window per `Window` (titled windows managed by the window manager, borderless ones
// override-redirect and stacked by us), the view tree painted with QPainter, input fed back
// into `Application`, the status item as a tray icon with its menu, pop-up menus, and the
// clipboard. Other applications' windows, raising, hot keys and the workspace come from the
// X11 side through `QtDesktopServices`. Needs a QApplication on the main thread.
class QtDesktop final : public Desktop {
 public:
  explicit QtDesktop(QtDesktopServices services);
  ~QtDesktop() override;

  std::vector<std::shared_ptr<Screen>> screens() const override;
  std::uint64_t screensChangeCount() const override { return screensChangeCount_; }
  Point mouseLocation() const override;
  std::optional<FontFace> fontFace(std::string_view name) const override;

  WindowServer& windowServer() override;
  Accessibility& accessibility() override;
  HotKeyCenter& hotKeys() override;
  Workspace& workspace() override;
  Pasteboard& pasteboard() override;

  std::uint32_t registerWindow(Window& window) override;
  void unregisterWindow(Window& window) override;
  void orderWindow(Window& window, WindowOrderingMode mode, std::uint32_t relativeTo,
                   WhileInactive whileInactive) override;
  void windowDidChange(Window& window, WindowChange change) override;
  void viewDidChange(Window& window, View& view, ViewChange change) override;
  void activateApplication() override;
  void setKeyFocus(bool ours) override;
  void activationPolicyDidChange(ActivationPolicy policy) override;
  void terminateApplication() override;
  void showMenu(Menu& menu) override;
  void showMenu(Menu& menu, Point topLeft) override;
  void menuDidChange(Menu& menu) override;
  void showStatusItemsNow() override;
  void alertWillRunModal(Alert& alert) override;
  void alertDidEnd(Alert& alert, long response) override;
  std::shared_ptr<void> presentForm(Window& window, std::shared_ptr<forms::FormHost> host) override;

  // For the X11 window list: our window with that X id, if it is one of ours.
  std::optional<OwnWindowInfo> ownWindowInfo(std::uint32_t xid) const;
  // Between screen coordinates (y up) and X root coordinates (y down).
  Rect toScreen(const Rect& rootRect) const;
  Rect toRoot(const Rect& screenRect) const;
  // Whether a compositing manager runs (translucent windows draw as such).
  bool hasCompositor() const;
  // The tray icon, once a status item exists (for tests and diagnostics).
  QSystemTrayIcon* trayIcon() const { return tray_.get(); }
  // The status items the tray shows (their indexes), and pressing one: its menu opens.
  std::vector<std::uint32_t> shownStatusItems();
  bool pressStatusItem(std::uint32_t index);
  // The pop-up menu that is open, if any.
  QMenu* openPopup() const { return popup_; }
  // Replaces ending the process when the application terminates (tests).
  void setTerminateHandler(std::function<void()> handler) { terminate_ = std::move(handler); }

  // Before each wait of the run loop: the status item follows its model.
  void prepareForWait();

  // From the hosts ------------------------------------------------------------------------------
  void hostFocusChanged();
  void hostMoved(QtWindowHost& host);
  void noteOwnWindowsChanged();
  const QtDesktopServices& services() const { return services_; }

 private:
  void syncStatusItems();
  void openStatusMenu();
  void buildMenu(QMenu& qmenu, Menu& menu);
  void popUp(Menu& menu, std::optional<Point> at);
  QtWindowHost* hostFor(const Window& window) const;
  void applySkipTaskbar(QtWindowHost& host) const;
  void watchScreen(QScreen* screen);
  // Qt reported a change of the screens: they are read again at the next ask.
  void forgetScreens();

  QtDesktopServices services_;
  std::unique_ptr<Pasteboard> pasteboard_;
  // The connections to the application object end with this desktop.
  std::unique_ptr<QObject> context_;
  std::map<const Window*, QtWindowHost*> hosts_;
  // Made again only when Qt reports a screen change.
  mutable std::vector<std::shared_ptr<Screen>> screens_;
  mutable bool screensKnown_ = false;
  std::uint64_t screensChangeCount_ = 0;
  std::unique_ptr<QSystemTrayIcon> tray_;
  std::unique_ptr<QMenu> trayMenu_;
  std::weak_ptr<Menu> trayModel_;
  QMenu* popup_ = nullptr;
  std::weak_ptr<Menu> popupModel_;
  std::function<void()> terminate_;
  bool syncingFocus_ = false;
  std::uint32_t previousActive_ = 0;
  mutable bool compositor_ = false;
  mutable std::optional<std::chrono::steady_clock::time_point> compositorCheckedAt_;
  const Image* trayImage_ = nullptr;
  std::string trayTitle_;
  std::string trayTip_;
  bool trayTipSet_ = false;
};

}  // namespace platform::linuxbackend
