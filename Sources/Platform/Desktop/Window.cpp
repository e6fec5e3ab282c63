#include "Platform/Desktop/Window.h"

#include <cctype>
#include <cmath>

#include "Platform/Desktop/Button.h"
#include "Platform/Desktop/ClickGestureRecognizer.h"
#include "Platform/Desktop/Desktop.h"
#include "Platform/Desktop/Screen.h"
#include "Platform/Foundation/Environment.h"
#include "Platform/Foundation/Error.h"
#include "Platform/Foundation/MainThread.h"
#include "Platform/Foundation/NotificationCenter.h"

namespace platform {

namespace {

bool hasTitleBar(std::uint64_t style) {
  return (style & StyleMask::titled) && !(style & StyleMask::fullSizeContentView);
}

// The key equivalent a key event stands for: Return and Esc by themselves, anything else with
// the command key.
bool matchesKeyEquivalent(const std::string& equivalent, const Event& event) {
  if (equivalent.empty()) return false;
  std::uint64_t mods =
      event.modifierFlags & (ModifierFlag::command | ModifierFlag::control | ModifierFlag::option);
  if (equivalent == "\r")
    return mods == 0 &&
           (event.keyCode == KeyCode::returnKey || event.keyCode == KeyCode::keypadEnter);
  if (equivalent == "\x1b") return mods == 0 && event.keyCode == KeyCode::escape;
  if (!(mods & ModifierFlag::command)) return false;
  std::string typed = event.charactersIgnoringModifiers;
  for (auto& c : typed) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return typed == equivalent;
}

Button* findKeyEquivalentButton(View& view, const Event& event) {
  if (view.isHidden()) return nullptr;
  if (auto* button = dynamic_cast<Button*>(&view)) {
    if (button->isEnabled() && matchesKeyEquivalent(button->keyEquivalent(), event)) return button;
  }
  for (const auto& sub : view.subviews()) {
    if (auto* found = findKeyEquivalentButton(*sub, event)) return found;
  }
  return nullptr;
}

std::optional<Cursor> cursorIn(View& view, Point inWindow) {
  if (view.isHidden()) return std::nullopt;
  const auto& subs = view.subviews();
  for (auto it = subs.rbegin(); it != subs.rend(); ++it) {
    if (auto c = cursorIn(**it, inWindow)) return c;
  }
  for (const auto& [rect, cursor] : view.cursorRects()) {
    if (view.convertToWindow(rect).contains(inWindow)) return cursor;
  }
  return std::nullopt;
}

}  // namespace

Window::Window(Rect contentRect, std::uint64_t styleMask) : style_(styleMask) {
  assertMainThread("Window::Window");
  precondition(hasEnvironment() && env().desktop, "Window: no desktop is installed");
  desktop_ = env().desktop;
  frame_ = frameRectForContentRect(contentRect, style_);
  contentView_ = std::make_shared<View>(Rect({0, 0}, contentRect.size));
  contentView_->setWindow(this);
  number_ = env().desktop->registerWindow(*this);
  env().desktop->application().windowCreated(this);
}

Window::~Window() {
  if (contentView_) contentView_->setWindow(nullptr);
  if (auto d = desktop_.lock()) {
    d->application().windowDestroyed(this);
    d->unregisterWindow(*this);
  }
}

void Window::setStyleMask(std::uint64_t style) {
  assertMainThread("Window::setStyleMask");
  Rect content = contentRect();
  style_ = style;
  frame_ = frameRectForContentRect(content);
  changed(WindowChange::style);
}

Rect Window::frameRectForContentRect(Rect content, std::uint64_t style) {
  if (!hasTitleBar(style)) return content;
  return Rect(content.x(), content.y(), content.width(), content.height() + titleBarHeight);
}

Rect Window::contentRectForFrameRect(Rect frame, std::uint64_t style) {
  if (!hasTitleBar(style)) return frame;
  return Rect(frame.x(), frame.y(), frame.width(), std::max(0.0, frame.height() - titleBarHeight));
}

void Window::setFrame(Rect frame) {
  assertMainThread("Window::setFrame");
  if (frame == frame_) return;
  frame_ = frame;
  if (contentView_) contentView_->setFrame(Rect({0, 0}, contentRect().size));
  changed(WindowChange::frame);
}

void Window::setContentSize(Size size) {
  Rect content = contentRect();
  setFrame(frameRectForContentRect(
      Rect(content.x(), content.maxY() - size.height, size.width, size.height)));
}

void Window::setContentMinSize(Size size) {
  if (size == contentMinSize_) return;
  contentMinSize_ = size;
  changed(WindowChange::style);
}

std::shared_ptr<Screen> Window::screen() const {
  std::shared_ptr<Screen> best;
  double bestArea = 0;
  for (const auto& screen : Screen::screens()) {
    Rect overlap = frame_.intersection(screen->frame());
    double area = overlap.width() * overlap.height();
    if (area > bestArea) {
      bestArea = area;
      best = screen;
    }
  }
  return best;
}

void Window::center() {
  auto target = screen();
  if (!target) target = Screen::main();
  if (!target) return;
  Rect v = target->visibleFrame();
  double x = std::round(v.midX() - frame_.width() / 2);
  double y = std::round(v.maxY() - (v.height() - frame_.height()) / 3 - frame_.height());
  setFrameOrigin({x, y});
}

void Window::setLevel(int level) {
  assertMainThread("Window::setLevel");
  if (level == level_) return;
  level_ = level;
  changed(WindowChange::level);
  if (visible_) {
    if (auto d = desktop())
      d->orderWindow(*this, WindowOrderingMode::above, 0, WhileInactive::comeToFront);
  }
}

void Window::setContentView(std::shared_ptr<View> view) {
  assertMainThread("Window::setContentView");
  precondition(view != nullptr, "Window::setContentView: no view");
  if (view == contentView_) return;
  view->removeFromSuperview();
  if (contentView_) contentView_->setWindow(nullptr);
  contentView_ = std::move(view);
  contentView_->setFrame(Rect({0, 0}, contentRect().size));
  contentView_->setWindow(this);
  changed(WindowChange::contentView);
}

std::shared_ptr<Window> Window::retained() {
  auto self = weak_from_this().lock();
  precondition(self != nullptr, "Window: windows are created with std::make_shared");
  return self;
}

void Window::orderIn(WindowOrderingMode mode, std::uint32_t relativeTo,
                     WhileInactive whileInactive) {
  assertMainThread("Window::orderIn");
  auto d = desktop();
  if (!d) return;
  auto self = retained();
  bool wasVisible = visible_;
  visible_ = true;
  if (!wasVisible) d->application().windowOrderedIn(self);
  d->orderWindow(*this, mode, relativeTo, whileInactive);
}

void Window::orderFront() {
  orderIn(WindowOrderingMode::above, 0, WhileInactive::stayBehind);
}

void Window::orderFrontRegardless() {
  orderIn(WindowOrderingMode::above, 0, WhileInactive::comeToFront);
}

void Window::orderBack() {
  orderIn(WindowOrderingMode::below, 0, WhileInactive::stayBehind);
}

void Window::order(WindowOrderingMode mode, std::uint32_t relativeTo) {
  if (mode == WindowOrderingMode::out) {
    orderOut();
  } else {
    orderIn(mode, relativeTo, WhileInactive::comeToFront);
  }
}

void Window::orderOut() {
  assertMainThread("Window::orderOut");
  if (!visible_) return;
  auto d = desktop();
  if (!d) return;
  // The application may hold the last reference; keep the window alive until this returns.
  auto self = retained();
  visible_ = false;
  d->application().windowOrderedOut(*this);
  d->orderWindow(*this, WindowOrderingMode::out, 0, WhileInactive::stayBehind);
}

bool Window::canBecomeKey() const {
  return style_ & (StyleMask::titled | StyleMask::resizable);
}

bool Window::canBecomeMain() const {
  return canBecomeKey();
}

bool Window::isKeyWindow() const {
  auto d = desktop();
  return d && d->application().isKey(*this);
}

bool Window::isMainWindow() const {
  auto d = desktop();
  return d && d->application().mainWindow().get() == this;
}

void Window::makeKey() {
  assertMainThread("Window::makeKey");
  if (!canBecomeKey()) return;
  if (auto d = desktop()) d->application().makeKeyWindow(*this);
}

void Window::makeMain() {
  assertMainThread("Window::makeMain");
  if (!canBecomeMain()) return;
  if (auto d = desktop()) d->application().makeMainWindow(*this);
}

void Window::makeKeyAndOrderFront() {
  orderFront();
  makeKey();
  makeMain();
}

void Window::resignKey() {
  if (auto d = desktop()) d->application().resignKeyWindow(*this);
}

void Window::noteKeyChange(KeyChange change) {
  const bool becameKey = change == KeyChange::becameKey;
  auto name = becameKey ? didBecomeKeyNotification : didResignKeyNotification;
  env().notificationCenter->post(std::string(name), static_cast<const Window*>(this));
  if (auto d = delegate()) {
    if (becameKey) {
      d->windowDidBecomeKey(*this);
    } else {
      d->windowDidResignKey(*this);
    }
  }
  changed(WindowChange::key);
}

bool Window::makeFirstResponder(std::shared_ptr<View> view) {
  auto current = firstResponder_.lock();
  if (current == view) return true;
  if (current && !current->resignFirstResponder()) return false;
  firstResponder_.reset();
  if (!view) return true;
  if (view->window() != this || !view->acceptsFirstResponder() || !view->becomeFirstResponder())
    return false;
  firstResponder_ = view;
  return true;
}

void Window::viewWillLeave(View& view) {
  if (auto current = firstResponder_.lock()) {
    if (current->isDescendantOf(view)) {
      current->resignFirstResponder();
      firstResponder_.reset();
    }
  }
}

void Window::close() {
  assertMainThread("Window::close");
  auto self = retained();
  env().notificationCenter->post(std::string(willCloseNotification),
                                 static_cast<const Window*>(this));
  if (auto d = delegate()) d->windowWillClose(*this);
  orderOut();
  if (auto d = desktop()) d->application().windowWillClose(*this);
}

void Window::performClose() {
  if (auto d = delegate()) {
    if (!d->windowShouldClose(*this)) return;
  }
  close();
}

void Window::sendEvent(const Event& event) {
  assertMainThread("Window::sendEvent");
  auto self = retained();
  switch (event.type) {
    case EventType::leftMouseDown:
    case EventType::rightMouseDown: {
      View* hit = contentView_ ? contentView_->hitTest(event.locationInWindow) : nullptr;
      if (!hit) return;
      auto target = hit->shared_from_this();
      if (target->acceptsFirstResponder()) makeFirstResponder(target);
      for (View* v = hit; v; v = v->superview()) {
        for (const auto& recognizer : v->gestureRecognizers()) {
          if (recognizer->isEnabled() && event.clickCount >= recognizer->numberOfClicksRequired()) {
            mouseDownRecognizer_ = recognizer;
            return;
          }
        }
      }
      mouseDownView_ = target;
      target->mouseDown(event);
      return;
    }
    case EventType::leftMouseUp:
    case EventType::rightMouseUp: {
      auto recognizer = mouseDownRecognizer_.lock();
      auto view = mouseDownView_.lock();
      mouseDownRecognizer_.reset();
      mouseDownView_.reset();
      if (recognizer) {
        View* owner = recognizer->view();
        if (owner && owner->window() == this &&
            owner->bounds().contains(owner->convertFromWindow(event.locationInWindow))) {
          recognizer->recognize();
        }
      } else if (view && view->window() == this) {
        view->mouseUp(event);
      }
      return;
    }
    case EventType::keyDown: {
      if (performKeyEquivalent(event)) return;
      if (auto responder = firstResponder()) {
        responder->keyDown(event);
      } else {
        keyDown(event);
      }
      return;
    }
    default:
      return;
  }
}

void Window::cancelOperation() {}

void Window::keyDown(const Event& event) {
  if (event.keyCode == KeyCode::escape) cancelOperation();
}

bool Window::performKeyEquivalent(const Event& event) {
  if (event.type != EventType::keyDown || !contentView_) return false;
  Button* button = findKeyEquivalentButton(*contentView_, event);
  if (!button) return false;
  auto keep = button->shared_from_this();
  button->performClick();
  return true;
}

Cursor Window::cursorAt(Point inWindow) {
  if (!contentView_) return Cursor::arrow;
  return cursorIn(*contentView_, inWindow).value_or(Cursor::arrow);
}

void Window::changed(WindowChange change) {
  assertMainThread("Window::changed");
  ++changeCount_;
  ++anyChangeCount_;
  if (auto d = desktop()) d->windowDidChange(*this, change);
}

void Window::viewDidChange(View& view, ViewChange change) {
  ++changeCount_;
  ++anyChangeCount_;
  if (auto d = desktop()) d->viewDidChange(*this, view, change);
}

}  // namespace platform
