#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "Platform/Desktop/Application.h"
#include "Platform/Desktop/Font.h"
#include "Platform/Desktop/Geometry.h"
#include "Platform/Desktop/Screen.h"
#include "Platform/Desktop/View.h"
#include "Platform/Desktop/Window.h"

namespace platform {

class WindowServer;
class Accessibility;
class HotKeyCenter;
class Workspace;
class Pasteboard;
class Menu;
class Alert;
class StatusBar;
class ColorPanel;
class AppleEventManager;
namespace forms {
class FormHost;
}

// The desktop backend: what the application framework, the window server and the rest of the
// desktop give the product. `env().desktop` holds the active one (the simulated desktop in
// tests, the X11 backend for users).
//
// The object model (Application, Window, View and the controls) is the same on every backend;
// it reports what changes through the second half of this interface, so that a backend can
// mirror it on screen, and the backend feeds input and activation changes back through
// `Application`.
class Desktop {
 public:
  Desktop();
  virtual ~Desktop();
  Desktop(const Desktop&) = delete;
  Desktop& operator=(const Desktop&) = delete;

  // The application object, the status bar, the colour panel and the event manager; each is
  // created on first use and lives as long as the desktop.
  Application& application();
  StatusBar& statusBar();
  ColorPanel& colorPanel();
  bool hasColorPanel() const { return colorPanel_ != nullptr; }
  std::uint32_t colorPanelPickerMask() const { return pickerMask_; }
  void setColorPanelPickerMask(std::uint32_t mask) { pickerMask_ = mask; }
  AppleEventManager& appleEventManager();

  // Screens in the platform's order, the primary screen first.
  virtual std::vector<std::shared_ptr<Screen>> screens() const = 0;
  // How many times the screens changed (one added, removed, moved or resized, another made the
  // primary): while it stays the same, `screens()` answers as before.
  virtual std::uint64_t screensChangeCount() const = 0;
  // The screen holding the key window, else the first; null without screens.
  virtual std::shared_ptr<Screen> mainScreen() const;
  // The pointer, in screen coordinates.
  virtual Point mouseLocation() const = 0;
  // The installed face with this name, if any.
  virtual std::optional<FontFace> fontFace(std::string_view name) const = 0;

  virtual WindowServer& windowServer() = 0;
  virtual Accessibility& accessibility() = 0;
  virtual HotKeyCenter& hotKeys() = 0;
  virtual Workspace& workspace() = 0;
  virtual Pasteboard& pasteboard() = 0;

  // What the object model reports ---------------------------------------------------------------
  // A window was created; answers its window number, unique among all windows of the desktop.
  virtual std::uint32_t registerWindow(Window& window) = 0;
  virtual void unregisterWindow(Window& window) = 0;
  // Stack `window` (`out` removes it from the screen).
  virtual void orderWindow(Window& window, WindowOrderingMode mode, std::uint32_t relativeTo,
                           WhileInactive whileInactive) = 0;
  virtual void windowDidChange(Window& window, WindowChange change) = 0;
  virtual void viewDidChange(Window& window, View& view, ViewChange change) = 0;
  // Make the application frontmost; the backend answers through Application::updateActivation.
  virtual void activateApplication() = 0;
  // A non-activating panel took (or gave back) the keyboard while another application is active.
  virtual void setKeyFocus(bool ours) = 0;
  virtual void activationPolicyDidChange(ActivationPolicy policy) = 0;
  // The application terminates: end the process (or, simulated, record it and stop the loop).
  virtual void terminateApplication() = 0;
  // Show a menu (a status item's, a pop-up button's) as if the user had opened it; the backend
  // calls Menu::willOpen before and Menu::didClose after.
  virtual void showMenu(Menu& menu) = 0;
  // The same, with the menu's top left at a point of the screen (a pop-up button's menu opens
  // below the button, wherever the pointer is).
  virtual void showMenu(Menu& menu, Point topLeft) {
    (void)topLeft;
    showMenu(menu);
  }
  virtual void menuDidChange(Menu& menu) = 0;
  // Puts the status bar's items on screen now rather than at the main loop's next wait, for a
  // caller that may keep the loop busy for a while after making one.
  virtual void showStatusItemsNow() {}
  // Around an alert's modal session.
  virtual void alertWillRunModal(Alert& alert) = 0;
  virtual void alertDidEnd(Alert& alert, long response) = 0;
  // Draws a form in one of our windows, following its renders, until the handle is released.
  // Null where nothing draws forms (the simulated desktop: tests read the host's tree).
  virtual std::shared_ptr<void> presentForm(Window&, std::shared_ptr<forms::FormHost>) {
    return nullptr;
  }

 private:
  std::unique_ptr<Application> application_;
  std::unique_ptr<StatusBar> statusBar_;
  std::unique_ptr<AppleEventManager> appleEvents_;
  std::shared_ptr<ColorPanel> colorPanel_;
  std::uint32_t pickerMask_ = 0xFFFF;
};

}  // namespace platform
