#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "Platform/Desktop/Event.h"
#include "Platform/Desktop/Geometry.h"
#include "Platform/Desktop/Layer.h"

namespace platform {

class Window;
class ClickGestureRecognizer;

// How a view follows its superview's size changes.
namespace AutoresizingMask {
inline constexpr std::uint32_t none = 0;
inline constexpr std::uint32_t minXMargin = 1;
inline constexpr std::uint32_t widthSizable = 2;
inline constexpr std::uint32_t maxXMargin = 4;
inline constexpr std::uint32_t minYMargin = 8;
inline constexpr std::uint32_t heightSizable = 16;
inline constexpr std::uint32_t maxYMargin = 32;
}  // namespace AutoresizingMask

enum class Cursor { arrow, crosshair, pointingHand, iBeam };

// What changed in a view, as reported to the desktop backend.
enum class ViewChange { frame, subviews, layer, appearance, content };

// Where a view goes among its siblings.
enum class SubviewPosition { above, below };

// A rectangle of a window's content: a retained tree of subviews, frames in the superview's
// coordinates (y upwards unless the superview is flipped), an optional backing layer, alpha and
// hidden state, hit testing, cursor rectangles and the responder chain for mouse and key
// events. Views are created with std::make_shared; a superview owns its subviews.
class View : public std::enable_shared_from_this<View> {
 public:
  View();
  explicit View(Rect frame);
  virtual ~View();
  View(const View&) = delete;
  View& operator=(const View&) = delete;

  // Geometry ----------------------------------------------------------------------------------
  Rect frame() const { return frame_; }
  void setFrame(Rect frame);
  void setFrameSize(Size size) { setFrame(Rect(frame_.origin, size)); }
  void setFrameOrigin(Point origin) { setFrame(Rect(origin, frame_.size)); }
  Rect bounds() const { return Rect({0, 0}, frame_.size); }
  // A flipped view's y grows downwards from its top edge.
  virtual bool isFlipped() const { return flipped_; }
  void setFlipped(bool flipped) { update(flipped_, flipped, ViewChange::frame); }

  std::uint32_t autoresizingMask() const { return autoresizingMask_; }
  void setAutoresizingMask(std::uint32_t mask) { autoresizingMask_ = mask; }
  bool autoresizesSubviews() const { return autoresizesSubviews_; }
  void setAutoresizesSubviews(bool autoresizes) { autoresizesSubviews_ = autoresizes; }

  // Between this view and its window's content coordinates (y upwards from the bottom left).
  Point convertToWindow(Point local) const;
  Point convertFromWindow(Point inWindow) const;
  Rect convertToWindow(const Rect& local) const;
  // From the superview's coordinates into this view's.
  Point convertFromSuperview(Point inSuperview) const;

  // Tree --------------------------------------------------------------------------------------
  View* superview() const { return superview_; }
  Window* window() const { return window_; }
  const std::vector<std::shared_ptr<View>>& subviews() const { return subviews_; }
  // Appends on top of the others (removing the view from any earlier superview first).
  void addSubview(std::shared_ptr<View> view);
  // Above or below `relativeTo` (a subview of this view); on top or at the bottom without one.
  void addSubview(std::shared_ptr<View> view, SubviewPosition position,
                  const View* relativeTo = nullptr);
  void removeFromSuperview();
  void removeAllSubviews();
  bool isDescendantOf(const View& other) const;

  // Look --------------------------------------------------------------------------------------
  bool wantsLayer() const { return layer_ != nullptr; }
  // Creates the layer on first use.
  void setWantsLayer(bool wants);
  Layer* layer() { return layer_.get(); }
  const Layer* layer() const { return layer_.get(); }
  double alphaValue() const { return alpha_; }
  void setAlphaValue(double alpha) { update(alpha_, alpha, ViewChange::appearance); }
  bool isHidden() const { return hidden_; }
  void setHidden(bool hidden);
  // Hidden itself or through an ancestor.
  bool isHiddenOrHasHiddenAncestor() const;
  // Sets the alpha value at once and calls `completion` on the main loop when the `duration`
  // of the animation is over.
  void animateAlpha(double to, double duration, std::function<void()> completion = {});
  // Asks the backend to paint the view again.
  void setNeedsDisplay() { changed(ViewChange::content); }

  // Events ------------------------------------------------------------------------------------
  // The deepest visible view at `point` (in the superview's coordinates), or null.
  virtual View* hitTest(Point point);
  // The responder chain: by default each passes the event to the superview, and the content
  // view to the window.
  virtual void mouseDown(const Event& event);
  virtual void mouseUp(const Event& event);
  virtual void keyDown(const Event& event);
  virtual bool acceptsFirstResponder() const { return false; }
  virtual bool becomeFirstResponder() { return true; }
  virtual bool resignFirstResponder() { return true; }

  void addGestureRecognizer(std::shared_ptr<ClickGestureRecognizer> recognizer);
  void removeGestureRecognizer(const ClickGestureRecognizer& recognizer);
  const std::vector<std::shared_ptr<ClickGestureRecognizer>>& gestureRecognizers() const {
    return recognizers_;
  }

  // Cursor rectangles: override `resetCursorRects` and call `addCursorRect` from it.
  virtual void resetCursorRects() {}
  void addCursorRect(Rect rect, Cursor cursor) { cursorRects_.emplace_back(rect, cursor); }
  // Rebuilds and returns the cursor rectangles (in this view's coordinates).
  const std::vector<std::pair<Rect, Cursor>>& cursorRects();

  // Accessibility -----------------------------------------------------------------------------
  // What assistive technology calls the view; when empty the backend names it from what it
  // shows (a button's title, a label's text).
  const std::string& accessibilityLabel() const { return accessibilityLabel_; }
  void setAccessibilityLabel(std::string label) { accessibilityLabel_ = std::move(label); }

  // Tells the backend what changed.
  void changed(ViewChange change);

 protected:
  virtual void viewDidMoveToWindow() {}
  // Stores a property and tells the backend what changed.
  template <class T, class U>
  void update(T& property, U&& value, ViewChange change = ViewChange::content) {
    property = std::forward<U>(value);
    changed(change);
  }

 private:
  friend class Window;
  void setWindow(Window* window);
  void resizeWithOldSuperviewSize(Size oldSize, Size newSize);
  void insertSubview(std::shared_ptr<View> view, std::size_t index);

  Rect frame_;
  bool flipped_ = false;
  std::uint32_t autoresizingMask_ = AutoresizingMask::none;
  bool autoresizesSubviews_ = true;
  View* superview_ = nullptr;
  Window* window_ = nullptr;
  std::vector<std::shared_ptr<View>> subviews_;
  std::unique_ptr<Layer> layer_;
  double alpha_ = 1;
  bool hidden_ = false;
  std::vector<std::shared_ptr<ClickGestureRecognizer>> recognizers_;
  std::vector<std::pair<Rect, Cursor>> cursorRects_;
  std::string accessibilityLabel_;
};

}  // namespace platform
