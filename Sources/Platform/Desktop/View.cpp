#include "Platform/Desktop/View.h"

#include <algorithm>
#include <cmath>

#include "Platform/Desktop/ClickGestureRecognizer.h"
#include "Platform/Desktop/Window.h"
#include "Platform/Foundation/Environment.h"
#include "Platform/Foundation/Error.h"
#include "Platform/Foundation/RunLoop.h"

namespace platform {

namespace {

// Shares `delta` among the flexible parts of one axis in proportion to their sizes (evenly when
// they are all zero), as the platform's autoresizing does.
void distribute(double delta, bool flexMin, bool flexSize, bool flexMax, double min, double size,
                double max, double& newMin, double& newSize) {
  newMin = min;
  newSize = size;
  int count = int{flexMin} + int{flexSize} + int{flexMax};
  if (count == 0 || delta == 0) return;
  double total = (flexMin ? min : 0) + (flexSize ? size : 0) + (flexMax ? max : 0);
  auto share = [&](bool flex, double part) {
    if (!flex) return 0.0;
    return total > 0 ? delta * part / total : delta / count;
  };
  newMin = min + share(flexMin, min);
  newSize = std::max(0.0, size + share(flexSize, size));
}

}  // namespace

View::View() = default;

View::View(Rect frame) : frame_(frame) {}

View::~View() {
  for (auto& sub : subviews_) sub->superview_ = nullptr;
}

void View::setFrame(Rect frame) {
  if (frame == frame_) return;
  Size oldSize = frame_.size;
  frame_ = frame;
  if (autoresizesSubviews_ && oldSize != frame.size) {
    for (auto& sub : subviews_) sub->resizeWithOldSuperviewSize(oldSize, frame.size);
  }
  changed(ViewChange::frame);
}

void View::resizeWithOldSuperviewSize(Size oldSize, Size newSize) {
  using namespace AutoresizingMask;
  if (autoresizingMask_ == none) return;
  Rect f = frame_;
  double x, w, y, h;
  distribute(newSize.width - oldSize.width, autoresizingMask_ & minXMargin,
             autoresizingMask_ & widthSizable, autoresizingMask_ & maxXMargin, f.x(), f.width(),
             oldSize.width - f.x() - f.width(), x, w);
  distribute(newSize.height - oldSize.height, autoresizingMask_ & minYMargin,
             autoresizingMask_ & heightSizable, autoresizingMask_ & maxYMargin, f.y(), f.height(),
             oldSize.height - f.y() - f.height(), y, h);
  setFrame(Rect(x, y, w, h));
}

Point View::convertFromSuperview(Point p) const {
  bool parentFlipped = superview_ ? superview_->isFlipped() : false;
  Point local{p.x - frame_.x(), p.y - frame_.y()};
  if (parentFlipped != isFlipped()) local.y = frame_.height() - local.y;
  return local;
}

Point View::convertToWindow(Point local) const {
  const View* view = this;
  Point p = local;
  while (view) {
    bool parentFlipped = view->superview_ ? view->superview_->isFlipped() : false;
    if (parentFlipped != view->isFlipped()) p.y = view->frame_.height() - p.y;
    p = {p.x + view->frame_.x(), p.y + view->frame_.y()};
    view = view->superview_;
  }
  return p;
}

Point View::convertFromWindow(Point inWindow) const {
  if (!superview_) return convertFromSuperview(inWindow);
  return convertFromSuperview(superview_->convertFromWindow(inWindow));
}

Rect View::convertToWindow(const Rect& local) const {
  Point a = convertToWindow(local.origin);
  Point b = convertToWindow(Point{local.maxX(), local.maxY()});
  return Rect(std::min(a.x, b.x), std::min(a.y, b.y), std::abs(b.x - a.x), std::abs(b.y - a.y));
}

void View::addSubview(std::shared_ptr<View> view) {
  addSubview(std::move(view), SubviewPosition::above, nullptr);
}

void View::addSubview(std::shared_ptr<View> view, SubviewPosition position,
                      const View* relativeTo) {
  precondition(view != nullptr, "View::addSubview: no view");
  precondition(view.get() != this && !isDescendantOf(*view),
               "View::addSubview: the view would contain itself");
  view->removeFromSuperview();
  std::size_t index = position == SubviewPosition::above ? subviews_.size() : 0;
  if (relativeTo) {
    auto it = std::find_if(subviews_.begin(), subviews_.end(),
                           [&](const auto& s) { return s.get() == relativeTo; });
    if (it != subviews_.end()) {
      index = static_cast<std::size_t>(it - subviews_.begin()) +
              (position == SubviewPosition::above ? 1 : 0);
    }
  }
  insertSubview(std::move(view), index);
}

void View::insertSubview(std::shared_ptr<View> view, std::size_t index) {
  view->superview_ = this;
  View* raw = view.get();
  subviews_.insert(subviews_.begin() + static_cast<std::ptrdiff_t>(index), std::move(view));
  raw->setWindow(window_);
  changed(ViewChange::subviews);
}

void View::removeFromSuperview() {
  View* parent = superview_;
  if (!parent) return;
  auto it = std::find_if(parent->subviews_.begin(), parent->subviews_.end(),
                         [&](const auto& s) { return s.get() == this; });
  if (it == parent->subviews_.end()) return;
  // Keep this view alive until it is detached: its superview may hold the only reference.
  auto self = *it;
  parent->subviews_.erase(it);
  superview_ = nullptr;
  setWindow(nullptr);
  parent->changed(ViewChange::subviews);
}

void View::removeAllSubviews() {
  while (!subviews_.empty()) subviews_.back()->removeFromSuperview();
}

bool View::isDescendantOf(const View& other) const {
  for (const View* v = this; v; v = v->superview_) {
    if (v == &other) return true;
  }
  return false;
}

void View::setWindow(Window* window) {
  if (window_ == window) return;
  if (window_) window_->viewWillLeave(*this);
  window_ = window;
  for (auto& sub : subviews_) sub->setWindow(window);
  viewDidMoveToWindow();
}

void View::setWantsLayer(bool wants) {
  if (wants && !layer_) {
    layer_ = std::make_unique<Layer>(*this);
    changed(ViewChange::layer);
  }
}

void View::setHidden(bool hidden) {
  if (hidden_ == hidden) return;
  hidden_ = hidden;
  changed(ViewChange::appearance);
}

bool View::isHiddenOrHasHiddenAncestor() const {
  for (const View* v = this; v; v = v->superview_) {
    if (v->hidden_) return true;
  }
  return false;
}

void View::animateAlpha(double to, double duration, std::function<void()> completion) {
  setAlphaValue(to);
  if (completion) env().mainLoop->postAfter(duration, std::move(completion));
}

View* View::hitTest(Point point) {
  if (hidden_ || !frame_.contains(point)) return nullptr;
  Point local = convertFromSuperview(point);
  for (auto it = subviews_.rbegin(); it != subviews_.rend(); ++it) {
    if (View* hit = (*it)->hitTest(local)) return hit;
  }
  return this;
}

void View::mouseDown(const Event& event) {
  if (superview_) superview_->mouseDown(event);
}

void View::mouseUp(const Event& event) {
  if (superview_) superview_->mouseUp(event);
}

void View::keyDown(const Event& event) {
  if (superview_) {
    superview_->keyDown(event);
  } else if (window_) {
    window_->keyDown(event);
  }
}

void View::addGestureRecognizer(std::shared_ptr<ClickGestureRecognizer> recognizer) {
  precondition(recognizer != nullptr, "View::addGestureRecognizer: no recognizer");
  recognizer->view_ = this;
  recognizers_.push_back(std::move(recognizer));
}

void View::removeGestureRecognizer(const ClickGestureRecognizer& recognizer) {
  auto it = std::find_if(recognizers_.begin(), recognizers_.end(),
                         [&](const auto& r) { return r.get() == &recognizer; });
  if (it == recognizers_.end()) return;
  (*it)->view_ = nullptr;
  recognizers_.erase(it);
}

const std::vector<std::pair<Rect, Cursor>>& View::cursorRects() {
  cursorRects_.clear();
  resetCursorRects();
  return cursorRects_;
}

void View::changed(ViewChange change) {
  if (window_) window_->viewDidChange(*this, change);
}

}  // namespace platform
