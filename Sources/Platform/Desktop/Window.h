#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "Platform/Desktop/Color.h"
#include "Platform/Desktop/Event.h"
#include "Platform/Desktop/Geometry.h"
#include "Platform/Desktop/View.h"

namespace platform {

class Desktop;
class Screen;
class Button;
class ClickGestureRecognizer;

namespace StyleMask {
inline constexpr std::uint64_t borderless = 0;
inline constexpr std::uint64_t titled = 1 << 0;
inline constexpr std::uint64_t closable = 1 << 1;
inline constexpr std::uint64_t miniaturizable = 1 << 2;
inline constexpr std::uint64_t resizable = 1 << 3;
inline constexpr std::uint64_t utilityWindow = 1 << 4;
inline constexpr std::uint64_t nonactivatingPanel = 1 << 7;
inline constexpr std::uint64_t fullSizeContentView = 1 << 15;
}  // namespace StyleMask

// Window levels: a window is always above every window of a lower level.
namespace WindowLevel {
inline constexpr int normal = 0;
inline constexpr int floating = 3;
inline constexpr int modalPanel = 8;
inline constexpr int mainMenu = 24;
inline constexpr int status = 25;
inline constexpr int popUpMenu = 101;
inline constexpr int screenSaver = 1000;
}  // namespace WindowLevel

namespace CollectionBehavior {
inline constexpr std::uint64_t canJoinAllSpaces = 1 << 0;
inline constexpr std::uint64_t moveToActiveSpace = 1 << 1;
inline constexpr std::uint64_t managed = 1 << 2;
inline constexpr std::uint64_t transient = 1 << 3;
inline constexpr std::uint64_t stationary = 1 << 4;
inline constexpr std::uint64_t participatesInCycle = 1 << 5;
inline constexpr std::uint64_t ignoresCycle = 1 << 6;
inline constexpr std::uint64_t fullScreenPrimary = 1 << 7;
inline constexpr std::uint64_t fullScreenAuxiliary = 1 << 8;
}  // namespace CollectionBehavior

enum class WindowOrderingMode { below = -1, out = 0, above = 1 };
// Where a window ordered to the front of its level goes while another application is active:
// behind that application's windows, or to the front regardless.
enum class WhileInactive { stayBehind, comeToFront };
enum class Appearance { system, aqua, darkAqua };

// What changed in a window, as reported to the desktop backend.
enum class WindowChange { frame, style, level, look, title, contentView, key };

// Told about a window's life; held weakly by the window.
class WindowDelegate {
 public:
  virtual ~WindowDelegate() = default;
  // Asked before a user's close (the close button); false keeps the window open.
  virtual bool windowShouldClose(Window&) { return true; }
  virtual void windowWillClose(Window&) {}
  virtual void windowDidBecomeKey(Window&) {}
  virtual void windowDidResignKey(Window&) {}
};

// A window of this application: a frame in screen coordinates (the content rectangle plus a
// title bar for titled windows), a style, a level and its look, a content view, visibility and
// stacking (ordering calls go to the window server, which keeps windows sorted by level), key and
// main status, the first responder, and closing. Each window gets a window number from the
// window server when it is created. Windows are created with std::make_shared; the application
// keeps a visible window alive until it is ordered out.
//
// Notifications (object: the `Window*`) go to the environment's notification centre.
class Window : public std::enable_shared_from_this<Window> {
 public:
  static constexpr std::string_view willCloseNotification = "WindowWillClose";
  static constexpr std::string_view didBecomeKeyNotification = "WindowDidBecomeKey";
  static constexpr std::string_view didResignKeyNotification = "WindowDidResignKey";
  static constexpr double titleBarHeight = 28;

  Window(Rect contentRect, std::uint64_t styleMask);
  virtual ~Window();
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  std::uint32_t windowNumber() const { return number_; }
  std::uint64_t styleMask() const { return style_; }
  void setStyleMask(std::uint64_t style);
  virtual bool isPanel() const { return false; }
  // A panel with the non-activating style: clicking it or making it key leaves the application
  // inactive.
  bool isNonactivatingPanel() const {
    return isPanel() && (style_ & StyleMask::nonactivatingPanel);
  }

  // Geometry ----------------------------------------------------------------------------------
  static Rect frameRectForContentRect(Rect content, std::uint64_t style);
  static Rect contentRectForFrameRect(Rect frame, std::uint64_t style);
  Rect frameRectForContentRect(Rect content) const {
    return frameRectForContentRect(content, style_);
  }
  Rect contentRectForFrameRect(Rect frame) const { return contentRectForFrameRect(frame, style_); }
  Rect frame() const { return frame_; }
  Rect contentRect() const { return contentRectForFrameRect(frame_); }
  // The frame changes at once, never animated.
  void setFrame(Rect frame);
  void setFrameOrigin(Point origin) { setFrame(Rect(origin, frame_.size)); }
  // Keeps the top-left corner where it is, as the platform does.
  void setContentSize(Size size);
  Size contentMinSize() const { return contentMinSize_; }
  // The least content size the user can resize the window to.
  void setContentMinSize(Size size);
  // Centres the window horizontally on its screen's visible frame (the main screen when it is on
  // none), with a third of the free height above it and two thirds below; whole points.
  void center();
  // The screen holding most of the window; null when it is on none.
  std::shared_ptr<Screen> screen() const;

  // Look --------------------------------------------------------------------------------------
  const std::string& title() const { return title_; }
  void setTitle(std::string title) { update(title_, std::move(title), WindowChange::title); }
  int level() const { return level_; }
  // Re-sorts a visible window at the front of its new level.
  void setLevel(int level);
  bool isOpaque() const { return opaque_; }
  void setOpaque(bool opaque) { update(opaque_, opaque, WindowChange::look); }
  bool hasShadow() const { return shadow_; }
  void setHasShadow(bool shadow) { update(shadow_, shadow, WindowChange::look); }
  // What a window is filled with until someone sets another colour.
  static Color defaultBackgroundColor() { return Color::gray(0.93); }
  const Color& backgroundColor() const { return background_; }
  void setBackgroundColor(Color color) {
    update(background_, std::move(color), WindowChange::look);
  }
  std::uint64_t collectionBehavior() const { return collection_; }
  void setCollectionBehavior(std::uint64_t behavior) {
    update(collection_, behavior, WindowChange::look);
  }
  bool hidesOnDeactivate() const { return hidesOnDeactivate_; }
  void setHidesOnDeactivate(bool hides) { hidesOnDeactivate_ = hides; }
  bool isMovableByWindowBackground() const { return movableByBackground_; }
  void setMovableByWindowBackground(bool movable) { movableByBackground_ = movable; }
  bool isReleasedWhenClosed() const { return releasedWhenClosed_; }
  void setReleasedWhenClosed(bool released) { releasedWhenClosed_ = released; }
  Appearance appearance() const { return appearance_; }
  void setAppearance(Appearance appearance) { update(appearance_, appearance, WindowChange::look); }
  bool ignoresMouseEvents() const { return ignoresMouse_; }
  void setIgnoresMouseEvents(bool ignores) { ignoresMouse_ = ignores; }

  // Content -----------------------------------------------------------------------------------
  const std::shared_ptr<View>& contentView() const { return contentView_; }
  // The view is resized to the content rectangle.
  void setContentView(std::shared_ptr<View> view);

  // Ordering ----------------------------------------------------------------------------------
  bool isVisible() const { return visible_; }
  // To the front of its level. While the application is inactive the windows of the active
  // application at that level stay in front of it.
  void orderFront();
  // To the front of its level, even while the application is inactive.
  void orderFrontRegardless();
  void orderBack();
  void orderOut();
  // Above or below the window with that number (ours or another application's); 0 means the
  // front or back of the level. Levels win: against a window of another level the window goes
  // to the end of its own level nearest to it.
  void order(WindowOrderingMode mode, std::uint32_t relativeTo);

  // Key and main ------------------------------------------------------------------------------
  // Key by default for titled or resizable windows; borderless windows override to accept.
  virtual bool canBecomeKey() const;
  virtual bool canBecomeMain() const;
  bool isKeyWindow() const;
  bool isMainWindow() const;
  void makeKey();
  void makeMain();
  void makeKeyAndOrderFront();
  // Gives up key status: keyboard input goes back to whoever had it before.
  void resignKey();

  // The focused view, or null when the window itself is the first responder.
  std::shared_ptr<View> firstResponder() const { return firstResponder_.lock(); }
  // Null makes the window the first responder. False when the view refuses, or the current
  // first responder refuses to resign.
  bool makeFirstResponder(std::shared_ptr<View> view);

  // Closing -----------------------------------------------------------------------------------
  // Posts the will-close notification, tells the delegate and orders the window out.
  void close();
  // The close button: asks the delegate first.
  void performClose();
  std::shared_ptr<WindowDelegate> delegate() const { return delegate_.lock(); }
  void setDelegate(const std::shared_ptr<WindowDelegate>& delegate) { delegate_ = delegate; }

  // Events ------------------------------------------------------------------------------------
  virtual void sendEvent(const Event& event);
  // Esc that no view handled. By default nothing happens.
  virtual void cancelOperation();
  // Whether the window takes events while another window runs a modal session.
  virtual bool worksWhenModal() const { return false; }
  // The end of the responder chain for keys: Esc runs `cancelOperation`.
  virtual void keyDown(const Event& event);
  // Clicks an enabled, visible button whose key equivalent matches the key; false when none.
  bool performKeyEquivalent(const Event& event);
  // The cursor shown at a point of the content (window coordinates).
  Cursor cursorAt(Point inWindow);

  // The backend hears about changes through these.
  void changed(WindowChange change);
  void viewDidChange(View& view, ViewChange change);
  // How many changes of the window or of a view in it were reported: while it stays the same,
  // nothing of either changed.
  std::uint64_t changeCount() const { return changeCount_; }
  // The same over every window: while it stays the same, no window and no view in one changed.
  static std::uint64_t anyChangeCount() { return anyChangeCount_; }

 protected:
  std::shared_ptr<Desktop> desktop() const { return desktop_.lock(); }
  // Stores a property and tells the backend what changed.
  template <class T, class U>
  void update(T& property, U&& value, WindowChange change) {
    property = std::forward<U>(value);
    changed(change);
  }

 private:
  friend class View;
  friend class Application;
  void viewWillLeave(View& view);
  void orderIn(WindowOrderingMode mode, std::uint32_t relativeTo, WhileInactive whileInactive);
  enum class KeyChange { becameKey, resignedKey };
  void noteKeyChange(KeyChange change);
  std::shared_ptr<Window> retained();

  std::weak_ptr<Desktop> desktop_;
  std::uint32_t number_ = 0;
  std::uint64_t style_;
  Rect frame_;
  Size contentMinSize_;
  std::string title_;
  int level_ = WindowLevel::normal;
  bool opaque_ = true;
  bool shadow_ = true;
  Color background_ = defaultBackgroundColor();
  std::uint64_t collection_ = 0;
  bool hidesOnDeactivate_ = false;
  bool movableByBackground_ = false;
  bool releasedWhenClosed_ = true;
  bool ignoresMouse_ = false;
  Appearance appearance_ = Appearance::system;
  std::shared_ptr<View> contentView_;
  bool visible_ = false;
  std::uint64_t changeCount_ = 0;
  static inline std::uint64_t anyChangeCount_ = 0;
  std::weak_ptr<View> firstResponder_;
  std::weak_ptr<WindowDelegate> delegate_;
  // The target of the press being tracked, until the release.
  std::weak_ptr<View> mouseDownView_;
  std::weak_ptr<ClickGestureRecognizer> mouseDownRecognizer_;
};

}  // namespace platform
