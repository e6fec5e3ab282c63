#include "Platform/Desktop/Application.h"

#include <algorithm>

#include "Platform/Desktop/AppleEventManager.h"
#include "Platform/Desktop/Desktop.h"
#include "Platform/Desktop/Window.h"
#include "Platform/Foundation/Environment.h"
#include "Platform/Foundation/Error.h"
#include "Platform/Foundation/NotificationCenter.h"
#include "Platform/Foundation/RunLoop.h"

namespace platform {

Application& Application::shared() {
  precondition(hasEnvironment() && env().desktop, "Application: no desktop is installed");
  return env().desktop->application();
}

Application::Application(Desktop& desktop) : desktop_(desktop) {}

// Windows still alive by now refer to a desktop that is being destroyed; they find it expired
// and do not call back.
Application::~Application() = default;

void Application::post(std::string_view name) {
  env().notificationCenter->post(std::string(name), static_cast<const Application*>(this));
}

bool Application::setActivationPolicy(ActivationPolicy policy) {
  if (policy == policy_) return true;
  policy_ = policy;
  desktop_.activationPolicyDidChange(policy);
  return true;
}

void Application::activate() {
  desktop_.activateApplication();
}

void Application::updateActivation(Activation activation) {
  const auto [active, keyFocus] = activation;
  bool wasActive = active_;
  bool hadFocus = keyFocus_;
  active_ = active;
  keyFocus_ = keyFocus;
  auto key = keyWindow_.lock();
  if (hadFocus && !keyFocus && key) key->noteKeyChange(Window::KeyChange::resignedKey);
  if (wasActive && !active) {
    for (const auto& w : windows()) {
      if (w->isVisible() && w->hidesOnDeactivate()) {
        hiddenOnDeactivate_.push_back(w);
        w->orderOut();
      }
    }
    post(didResignActiveNotification);
  }
  if (!wasActive && active) {
    auto hidden = std::move(hiddenOnDeactivate_);
    hiddenOnDeactivate_.clear();
    for (const auto& weak : hidden) {
      if (auto w = weak.lock()) w->orderFront();
    }
    post(didBecomeActiveNotification);
  }
  key = keyWindow_.lock();
  if (!hadFocus && keyFocus && key) key->noteKeyChange(Window::KeyChange::becameKey);
}

std::vector<std::shared_ptr<Window>> Application::windows() const {
  std::vector<std::shared_ptr<Window>> result;
  result.reserve(windows_.size());
  for (Window* w : windows_) {
    if (auto shared = w->weak_from_this().lock()) result.push_back(std::move(shared));
  }
  return result;
}

std::shared_ptr<Window> Application::windowWithNumber(std::uint32_t number) const {
  for (Window* w : windows_) {
    if (w->windowNumber() == number) return w->weak_from_this().lock();
  }
  return nullptr;
}

std::shared_ptr<Window> Application::keyWindow() const {
  return keyFocus_ ? keyWindow_.lock() : nullptr;
}

bool Application::isKey(const Window& window) const {
  return keyFocus_ && keyWindow_.lock().get() == &window;
}

void Application::windowCreated(Window* window) {
  windows_.push_back(window);
}

void Application::windowDestroyed(Window* window) {
  windows_.erase(std::remove(windows_.begin(), windows_.end(), window), windows_.end());
}

void Application::windowOrderedIn(std::shared_ptr<Window> window) {
  onScreen_.push_back(std::move(window));
}

void Application::windowOrderedOut(Window& window) {
  if (keyWindow_.lock().get() == &window) resignKeyWindow(window);
  if (mainWindow_.lock().get() == &window) mainWindow_.reset();
  auto it = std::find_if(onScreen_.begin(), onScreen_.end(),
                         [&](const auto& w) { return w.get() == &window; });
  if (it != onScreen_.end()) onScreen_.erase(it);
}

void Application::windowWillClose(Window& window) {
  if (window.isPanel() || terminating_) return;
  for (Window* w : windows_) {
    if (w->isVisible() && !w->isPanel()) return;
  }
  auto d = delegate();
  if (d && d->applicationShouldTerminateAfterLastWindowClosed(*this)) {
    env().mainLoop->post([this] { terminate(); });
  }
}

void Application::makeKeyWindow(Window& window) {
  auto previous = keyWindow_.lock();
  if (previous.get() == &window && keyFocus_) return;
  if (previous && previous.get() != &window && keyFocus_)
    previous->noteKeyChange(Window::KeyChange::resignedKey);
  keyWindow_ = window.weak_from_this();
  if (!keyFocus_ && !active_ && window.isNonactivatingPanel()) {
    keyFocus_ = true;
    desktop_.setKeyFocus(true);
  }
  if (keyFocus_) window.noteKeyChange(Window::KeyChange::becameKey);
}

void Application::resignKeyWindow(Window& window) {
  if (keyWindow_.lock().get() != &window) return;
  keyWindow_.reset();
  if (!keyFocus_) return;
  window.noteKeyChange(Window::KeyChange::resignedKey);
  // A panel that held the keyboard for an inactive application gives it back.
  if (!active_) {
    keyFocus_ = false;
    desktop_.setKeyFocus(false);
  }
}

void Application::makeMainWindow(Window& window) {
  mainWindow_ = window.weak_from_this();
}

void Application::finishLaunching() {
  if (launched_) return;
  launched_ = true;
  if (auto d = delegate()) d->applicationWillFinishLaunching(*this);
  // Events that started the application reach the handlers installed just now.
  desktop_.appleEventManager().beginDispatching();
  if (auto d = delegate()) d->applicationDidFinishLaunching(*this);
  post(didFinishLaunchingNotification);
}

void Application::run() {
  finishLaunching();
  env().mainLoop->run();
}

void Application::terminate() {
  if (terminating_) return;
  terminating_ = true;
  if (auto d = delegate()) d->applicationWillTerminate(*this);
  post(willTerminateNotification);
  desktop_.terminateApplication();
}

void Application::reopen() {
  bool visible =
      std::any_of(windows_.begin(), windows_.end(), [](Window* w) { return w->isVisible(); });
  if (auto d = delegate()) d->applicationShouldHandleReopen(*this, visible);
}

long Application::runModal(Window& window) {
  auto keep = window.retained();
  modalWindows_.push_back(keep);
  struct Pop {
    Application* app;
    ~Pop() { app->modalWindows_.pop_back(); }
  } pop{this};
  window.makeKeyAndOrderFront();
  return env().mainLoop->runNested(RunLoopMode::modal);
}

void Application::stopModal(long code) {
  if (modalWindows_.empty()) return;
  env().mainLoop->endNested(code);
}

std::shared_ptr<Window> Application::modalWindow() const {
  return modalWindows_.empty() ? nullptr : modalWindows_.back().lock();
}

std::shared_ptr<EventMonitor> Application::addLocalMonitor(EventMask mask, LocalHandler handler) {
  return addMonitor(
      {.mask = mask, .global = false, .local = std::make_shared<LocalHandler>(std::move(handler))});
}

std::shared_ptr<EventMonitor> Application::addGlobalMonitor(EventMask mask, GlobalHandler handler) {
  return addMonitor({.mask = mask,
                     .global = true,
                     .observer = std::make_shared<GlobalHandler>(std::move(handler))});
}

std::shared_ptr<EventMonitor> Application::addMonitor(Monitor monitor) {
  monitor.id = nextMonitor_++;
  auto added = std::make_shared<EventMonitor>(monitor.id);
  monitors_.push_back(std::move(monitor));
  return added;
}

void Application::removeMonitor(const std::shared_ptr<EventMonitor>& monitor) {
  if (!monitor) return;
  auto id = monitor->id();
  monitors_.erase(std::remove_if(monitors_.begin(), monitors_.end(),
                                 [&](const Monitor& m) { return m.id == id; }),
                  monitors_.end());
}

bool Application::monitorIsRegistered(std::uint64_t id) const {
  return std::any_of(monitors_.begin(), monitors_.end(),
                     [&](const Monitor& m) { return m.id == id; });
}

bool Application::acceptsEventsFor(const Window& window) const {
  auto modal = modalWindow();
  return !modal || modal.get() == &window || window.worksWhenModal();
}

void Application::sendEvent(const Event& original) {
  // Local monitors run in the order they were added; each sees what the previous passed on.
  std::optional<Event> event = original;
  auto snapshot = monitors_;
  for (const auto& m : snapshot) {
    if (m.global || !(m.mask & eventMaskFor(event->type)) || !monitorIsRegistered(m.id)) continue;
    event = (*m.local)(*event);
    if (!event) return;
  }
  if (event->isKey()) {
    auto key = keyWindow();
    if (!key || !acceptsEventsFor(*key)) return;
    if (event->type == EventType::keyDown) key->sendEvent(*event);
    return;
  }
  auto window = windowWithNumber(event->windowNumber);
  if (!window || !window->isVisible() || !acceptsEventsFor(*window)) return;
  if (event->isMouseDown()) {
    if (!window->isNonactivatingPanel() && !active_) activate();
    if (window->canBecomeKey() && !window->isKeyWindow()) window->makeKey();
    if (window->canBecomeMain()) window->makeMain();
    if (!window->isPanel()) window->orderFront();
  }
  window->sendEvent(*event);
}

void Application::dispatchGlobalEvent(const Event& event) {
  auto snapshot = monitors_;
  for (const auto& m : snapshot) {
    if (!m.global || !(m.mask & eventMaskFor(event.type)) || !monitorIsRegistered(m.id)) continue;
    (*m.observer)(event);
  }
}

}  // namespace platform
