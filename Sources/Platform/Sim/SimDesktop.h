#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Platform/Desktop/Alert.h"
#include "Platform/Desktop/AppleEventManager.h"
#include "Platform/Desktop/Desktop.h"
#include "Platform/Desktop/Menu.h"
#include "Platform/Sim/SimAccessibility.h"
#include "Platform/Sim/SimHotKeys.h"
#include "Platform/Sim/SimPasteboard.h"
#include "Platform/Sim/SimWindowServer.h"
#include "Platform/Sim/SimWorkspace.h"

namespace platform::sim {

// The simulated desktop every test runs against. It holds the screens, the installed fonts, the
// pointer, which application is frontmost and which one has the keyboard, the simulated window
// server with the foreign applications, Accessibility, hot keys, the workspace and the
// pasteboard, and the helpers that play a user: clicks, typing and key presses go where they
// would go on a real desktop, menus open and items are chosen, alerts are answered from a
// script. Tests configure and drive it through here; the product sees it only through the
// `Desktop` interface.
class SimDesktop : public Desktop {
 public:
  static constexpr double menuBarHeight = 25;

  SimDesktop();
  ~SimDesktop() override;

  // Screens -----------------------------------------------------------------------------------
  std::vector<std::shared_ptr<Screen>> screens() const override;
  std::uint64_t screensChangeCount() const override { return screensChangeCount_; }
  // Replaces the screens; each gets a menu bar of `menuBarHeight` at its top. The first is the
  // primary screen. The default is one 1440 x 900 screen at the origin.
  void setScreens(const std::vector<Rect>& frames);
  // Replaces the screens with exactly these. The window list is made anew when a frame changed.
  void setScreens(std::vector<std::shared_ptr<Screen>> screens);

  // Fonts -------------------------------------------------------------------------------------
  std::optional<FontFace> fontFace(std::string_view name) const override;
  // The default set holds common faces (Menlo, Monaco, Courier, Helvetica, Helvetica Neue).
  void installFont(FontFace face);
  void removeFont(std::string_view name);

  // The window server and the foreign applications ------------------------------------------
  SimWindowServer& windowServer() override { return server_; }
  SimAccessibility& accessibility() override { return accessibility_; }
  SimHotKeys& hotKeys() override { return hotKeys_; }
  SimWorkspace& workspace() override { return workspace_; }
  SimPasteboard& pasteboard() override { return pasteboard_; }

  // Activation --------------------------------------------------------------------------------
  // The frontmost application's process id (ours included); nothing while no application is.
  std::optional<std::int32_t> frontmostPID() const { return frontmost_; }
  // Makes a foreign application frontmost (raising its windows), as the user switching to it.
  void activateForeignApplication(std::int32_t pid);
  // Whether keys go to this application.
  bool keyboardIsOurs() const { return keyboardOurs_; }
  const std::vector<ActivationPolicy>& activationPolicyChanges() const { return policyChanges_; }
  bool hasTerminated() const { return terminated_; }

  // The user opens the application again (from the file manager or the dock).
  void reopenApplication() { application().reopen(); }

  // The status bar and menus ------------------------------------------------------------------
  std::uint32_t statusItemCount();
  // Shown unless hidden by its owner or by a crowded menu bar.
  bool isStatusItemShown(std::uint32_t index);
  void setStatusItemsHiddenByMenuBar(bool hidden) { statusItemsHidden_ = hidden; }
  // Clicks the status item: its menu opens.
  void clickStatusItem(std::uint32_t index = 0);
  // The menu that is open, if any (the innermost one when a submenu is open).
  std::shared_ptr<Menu> openMenu() const {
    return openMenus_.empty() ? nullptr : openMenus_.back();
  }
  // Opens the main menu's submenu with that title, as a click in the menu bar does.
  bool openMainMenu(std::string_view title);
  // Chooses the item with that title in the open menu: a submenu opens, any other enabled item
  // closes every open menu and performs its action. False when no such item could be chosen.
  bool chooseMenuItem(std::string_view title);
  void closeMenus();

  // Alerts ------------------------------------------------------------------------------------
  struct AlertRecord {
    AlertStyle style;
    std::string message;
    std::string informativeText;
    std::vector<std::string> buttons;
    std::optional<long> response;
  };
  // What the next alert does once it runs: the user presses the button with this response code
  // (1000 for the first), or `script` runs with the alert (it may start timers, press buttons,
  // or do nothing and leave the alert open). An alert that runs with no script queued is a
  // ProgrammingError (it would wait for ever on the manual clock); it is still recorded.
  void respondToNextAlert(long response);
  void scriptNextAlert(std::function<void(Alert&)> script);
  const std::vector<AlertRecord>& alerts() const { return alerts_; }

  // System events -----------------------------------------------------------------------------
  // The system hands the application a URL of its scheme (a get-URL event).
  void deliverURL(std::string url);
  void deliverAppleEvent(const AppleEventDescriptor& event) { appleEventManager().dispatch(event); }

  // The colour panel ------------------------------------------------------------------------
  // The user picks a colour in the shared colour panel (opaque unless the panel shows alpha).
  void chooseColorInPanel(Color color);

  // Input -------------------------------------------------------------------------------------
  Point mouseLocation() const override { return mouse_; }
  void moveMouse(Point screenPoint) { mouse_ = screenPoint; }
  // Moves the pointer there and clicks: the topmost window at the point takes the click. One
  // of ours gets a press and a release (which hit-test its views and run gestures, buttons and
  // text fields); another application's is raised and activated; the empty desktop makes no
  // application frontmost.
  void click(Point screenPoint, int clickCount = 1);
  // Types each character as its key on the US layout (shift as needed).
  void type(std::string_view text);
  // Presses and releases a key: a registered hot key takes it first; else it goes to this
  // application when it has the keyboard (local monitors, then the key window) or to the
  // frontmost other application (global monitors observe it while the process is trusted for
  // Accessibility). `characters`
  // defaults to the key's own.
  void pressKey(std::uint16_t keyCode, std::uint64_t modifierFlags = 0,
                std::optional<std::string> characters = std::nullopt);
  // Keys that went to other applications, in order.
  const std::vector<Event>& keysSentElsewhere() const { return keysElsewhere_; }
  // The cursor the pointer shows at a screen point over one of our windows (arrow elsewhere).
  Cursor cursorAt(Point screenPoint) const;

  // What the object model reported: changes per window number.
  int changeCount(std::uint32_t windowNumber) const;

  // Desktop (what the object model reports) -----------------------------------------------------
  std::uint32_t registerWindow(Window& window) override;
  void unregisterWindow(Window& window) override;
  void orderWindow(Window& window, WindowOrderingMode mode, std::uint32_t relativeTo,
                   WhileInactive whileInactive) override;
  void windowDidChange(Window& window, WindowChange change) override;
  void viewDidChange(Window& window, View& view, ViewChange change) override;
  void activateApplication() override;
  void setKeyFocus(bool ours) override;
  void activationPolicyDidChange(ActivationPolicy policy) override {
    policyChanges_.push_back(policy);
  }
  void terminateApplication() override;
  void showMenu(Menu& menu) override;
  void menuDidChange(Menu&) override { ++menuChanges_; }
  void alertWillRunModal(Alert& alert) override;
  void alertDidEnd(Alert& alert, long response) override;

 private:
  void sendKey(const Event& event);
  void setFrontmost(std::optional<std::int32_t> pid);

  std::vector<std::shared_ptr<Screen>> screens_;
  std::uint64_t screensChangeCount_ = 0;
  std::map<std::string, FontFace, std::less<>> fonts_;
  SimWindowServer server_;
  SimAccessibility accessibility_{*this};
  SimHotKeys hotKeys_;
  SimWorkspace workspace_{*this};
  SimPasteboard pasteboard_;
  bool statusItemsHidden_ = false;
  std::vector<std::shared_ptr<Menu>> openMenus_;
  int menuChanges_ = 0;
  std::deque<std::function<void(Alert&)>> alertScripts_;
  std::vector<AlertRecord> alerts_;
  // The alerts running now, innermost last, with their records.
  std::vector<std::pair<const Alert*, std::size_t>> runningAlerts_;
  Point mouse_;
  std::optional<std::int32_t> frontmost_;
  bool keyboardOurs_ = false;
  bool terminated_ = false;
  std::vector<ActivationPolicy> policyChanges_;
  std::vector<Event> keysElsewhere_;
  std::map<std::uint32_t, int> changes_;
};

}  // namespace platform::sim
