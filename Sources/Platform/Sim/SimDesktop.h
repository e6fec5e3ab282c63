#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Platform/Desktop/Desktop.h"
#include "Platform/Sim/SimAccessibility.h"
#include "Platform/Sim/SimHotKeys.h"
#include "Platform/Sim/SimWindowServer.h"

namespace platform::sim {

// The simulated desktop every test runs against. It holds the screens, the installed fonts, the
// pointer, which application is frontmost and which one has the keyboard, the simulated window
// server with the foreign applications, and the input helpers that play a user: clicks, typing
// and key presses go where they would go on a real desktop. Tests configure and drive it
// through here; the product sees it only through the `Desktop` interface.
class SimDesktop : public Desktop {
 public:
  static constexpr double menuBarHeight = 25;

  SimDesktop();
  ~SimDesktop() override;

  // Screens -----------------------------------------------------------------------------------
  std::vector<std::shared_ptr<Screen>> screens() const override;
  // Replaces the screens; each gets a menu bar of `menuBarHeight` at its top. The first is the
  // primary screen. The default is one 1440 x 900 screen at the origin.
  void setScreens(const std::vector<Rect>& frames);
  // Replaces the screens with exactly these.
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

  // Activation --------------------------------------------------------------------------------
  // The frontmost application's process id (ours included); nothing while no application is.
  std::optional<std::int32_t> frontmostPID() const { return frontmost_; }
  // Makes a foreign application frontmost (raising its windows), as the user switching to it.
  void activateForeignApplication(std::int32_t pid);
  // Whether keys go to this application.
  bool keyboardIsOurs() const { return keyboardOurs_; }
  const std::vector<ActivationPolicy>& activationPolicyChanges() const { return policyChanges_; }
  bool hasTerminated() const { return terminated_; }

  // The status bar -----------------------------------------------------------------------------
  std::uint32_t statusItemCount() const { return 0; }
  bool isStatusItemShown(std::uint32_t) const { return false; }
  void clickStatusItem(std::uint32_t) {}

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
                   bool regardless) override;
  void windowDidChange(Window& window, WindowChange change) override;
  void viewDidChange(Window& window, View& view, ViewChange change) override;
  void activateApplication() override;
  void setKeyFocus(bool ours) override;
  void activationPolicyDidChange(ActivationPolicy policy) override {
    policyChanges_.push_back(policy);
  }
  void terminateApplication() override;

 private:
  void sendKey(const Event& event);
  void setFrontmost(std::optional<std::int32_t> pid);

  std::vector<std::shared_ptr<Screen>> screens_;
  std::map<std::string, FontFace, std::less<>> fonts_;
  SimWindowServer server_;
  SimAccessibility accessibility_{*this};
  SimHotKeys hotKeys_;
  Point mouse_;
  std::optional<std::int32_t> frontmost_;
  bool keyboardOurs_ = false;
  bool terminated_ = false;
  std::vector<ActivationPolicy> policyChanges_;
  std::vector<Event> keysElsewhere_;
  std::map<std::uint32_t, int> changes_;
};

}  // namespace platform::sim
