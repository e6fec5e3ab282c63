#include "Platform/Linux/X11/X11Accessibility.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>

#include "Platform/Accessibility/DesktopAXElement.h"
#include "Platform/Linux/X11/X11WindowServer.h"

namespace platform::linuxbackend {

namespace {

using Element = DesktopAXElement;

std::string processName(std::int32_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/comm");
  std::string name;
  std::getline(in, name);
  return name;
}

}  // namespace

X11Accessibility::X11Accessibility(std::shared_ptr<X11Connection> connection,
                                   X11WindowServer& windowServer)
    : connection_(std::move(connection)), windowServer_(windowServer) {
  subscription_ = connection_->observe([this](const xcb_generic_event_t& event) {
    if ((event.response_type & 0x7f) != XCB_PROPERTY_NOTIFY) return;
    const auto& e = reinterpret_cast<const xcb_property_notify_event_t&>(event);
    // The manager answered an activation, whichever it chose.
    if (e.window == connection_->root() && e.atom == connection_->atoms().netActiveWindow)
      pendingActivation_.reset();
  });
}

X11Accessibility::~X11Accessibility() {
  connection_->unsubscribe(subscription_);
}

bool X11Accessibility::processExists(std::int32_t pid) const {
  if (pid <= 0) return false;
  return ::kill(pid, 0) == 0 || errno == EPERM;
}

AXElement X11Accessibility::createApplication(std::int32_t pid) {
  return std::make_shared<Element>(Element::Kind::application, pid);
}

AXElement X11Accessibility::windowElement(std::int32_t pid, std::uint32_t xid) const {
  return std::make_shared<Element>(Element::Kind::window, pid, xid);
}

std::uint32_t X11Accessibility::activeWindow() {
  auto* c = connection_->raw();
  auto cookie = xcb_get_property(c, 0, connection_->root(), connection_->atoms().netActiveWindow,
                                 XCB_ATOM_WINDOW, 0, 1);
  auto* reply = xcb_get_property_reply(c, cookie, nullptr);
  connection_->didWaitForReplies();
  std::uint32_t window = 0;
  if (reply && reply->format == 32 && xcb_get_property_value_length(reply) == 4)
    window = *static_cast<const std::uint32_t*>(xcb_get_property_value(reply));
  std::free(reply);
  return window;
}

AXError X11Accessibility::copyApplicationAttribute(std::int32_t pid, std::string_view attribute,
                                                   AXValue& value) {
  if (pid == static_cast<std::int32_t>(::getpid())) {
    if (attribute == AXAttribute::extrasMenuBar) {
      if (!statusItems_.shownItems || statusItems_.shownItems().empty()) return AXError::noValue;
      value = AXElement(std::make_shared<Element>(Element::Kind::extrasMenuBar, pid));
      return AXError::success;
    }
    return AXError::attributeUnsupported;
  }
  if (!processExists(pid)) return AXError::cannotComplete;
  auto snapshot = windowServer_.snapshot();
  if (!snapshot) return AXError::cannotComplete;
  std::vector<const X11WindowEntry*> windows;  // front to back
  for (const auto& w : snapshot->windows) {
    if (w.pid == pid && !w.own) windows.push_back(&w);
  }

  if (attribute == AXAttribute::windows) {
    AXValue::Array elements;
    for (const auto* w : windows) elements.emplace_back(windowElement(pid, w->number));
    value = AXValue(std::move(elements));
    return AXError::success;
  }
  if (attribute == AXAttribute::focusedWindow || attribute == AXAttribute::mainWindow) {
    std::uint32_t number = 0;
    if (attribute == AXAttribute::focusedWindow) {
      // An activation on its way wins over what the manager last reported.
      if (pendingActivation_ && snapshot->find(*pendingActivation_) &&
          snapshot->find(*pendingActivation_)->pid == pid) {
        number = *pendingActivation_;
      } else if (auto active = activeWindow();
                 active && snapshot->find(active) && snapshot->find(active)->pid == pid) {
        number = active;
      }
    }
    if (number == 0) {
      for (const auto* w : windows) {
        if (!w->minimized) {
          number = w->number;
          break;
        }
      }
    }
    if (number == 0) return AXError::noValue;
    value = windowElement(pid, number);
    return AXError::success;
  }
  if (attribute == AXAttribute::title) {
    value = !windows.empty() && !windows.front()->ownerName.empty() ? windows.front()->ownerName
                                                                    : processName(pid);
    return AXError::success;
  }
  if (attribute == AXAttribute::extrasMenuBar) return AXError::noValue;
  return AXError::attributeUnsupported;
}

AXError X11Accessibility::copyWindowAttribute(std::int32_t pid, std::uint32_t xid,
                                              std::string_view attribute, AXValue& value) {
  auto snapshot = windowServer_.snapshot();
  const X11WindowEntry* w = snapshot ? snapshot->find(xid) : nullptr;
  if (!w || w->pid != pid) return AXError::invalidUIElement;
  return Element::copyWindowAttribute(*w, attribute, value);
}

AXError X11Accessibility::copyAttributeValue(const AXElement& element, std::string_view attribute,
                                             AXValue& value) {
  value = AXValue();
  auto e = Element::from(element);
  if (!e) return AXError::illegalArgument;
  switch (e->kind) {
    case Element::Kind::application:
      return copyApplicationAttribute(e->pid, attribute, value);
    case Element::Kind::window:
      return copyWindowAttribute(e->pid, e->number, attribute, value);
    case Element::Kind::extrasMenuBar:
      return Element::copyExtrasMenuBarAttribute(
          e->pid,
          statusItems_.shownItems ? statusItems_.shownItems() : std::vector<std::uint32_t>(),
          attribute, value);
    case Element::Kind::statusItem:
      return AXError::attributeUnsupported;
  }
  return AXError::failure;
}

void X11Accessibility::sendToRoot(std::uint32_t window, xcb_atom_t type,
                                  std::array<std::uint32_t, 5> data) {
  sendRootClientMessage(connection_->raw(), connection_->root(), window, type, data);
}

AXError X11Accessibility::unminimize(std::uint32_t xid) {
  // Mapping an iconic client asks its manager to restore it (ICCCM 4.1.4).
  xcb_map_window(connection_->raw(), xid);
  connection_->flush();
  windowServer_.ownWindowsDidChange();
  return AXError::success;
}

AXError X11Accessibility::minimize(std::uint32_t xid) {
  constexpr std::uint32_t iconicState = 3;
  sendToRoot(xid, connection_->atoms().wmChangeState, {iconicState, 0, 0, 0, 0});
  connection_->flush();
  return AXError::success;
}

AXError X11Accessibility::activate(std::uint32_t xid) {
  // Source indication 2: a pager acting for the user, which managers honour without their
  // focus-stealing prevention. The manager restores a minimised window on activation too.
  constexpr std::uint32_t sourcePager = 2;
  sendToRoot(xid, connection_->atoms().netActiveWindow, {sourcePager, XCB_CURRENT_TIME, 0, 0, 0});
  connection_->flush();
  pendingActivation_ = xid;
  return AXError::success;
}

AXError X11Accessibility::setAttributeValue(const AXElement& element, std::string_view attribute,
                                            const AXValue& value) {
  auto e = Element::from(element);
  if (!e) return AXError::illegalArgument;
  if (connection_->isBroken()) return AXError::cannotComplete;
  auto snapshot = windowServer_.snapshot();
  if (e->kind == Element::Kind::window) {
    const X11WindowEntry* w = snapshot ? snapshot->find(e->number) : nullptr;
    if (!w || w->pid != e->pid) return AXError::invalidUIElement;
    if (attribute != AXAttribute::minimized) return AXError::attributeUnsupported;
    auto minimized = value.asBool();
    if (!minimized) return AXError::illegalArgument;
    if (*minimized == w->minimized) return AXError::success;
    return *minimized ? minimize(e->number) : unminimize(e->number);
  }
  if (e->kind == Element::Kind::application && attribute == AXAttribute::focusedWindow) {
    if (!processExists(e->pid)) return AXError::cannotComplete;
    auto target = Element::from(value.asElement());
    if (!target || target->kind != Element::Kind::window || target->pid != e->pid)
      return AXError::illegalArgument;
    const X11WindowEntry* w = snapshot ? snapshot->find(target->number) : nullptr;
    if (!w || w->pid != e->pid) return AXError::invalidUIElement;
    return activate(target->number);
  }
  return AXError::attributeUnsupported;
}

AXError X11Accessibility::performAction(const AXElement& element, std::string_view action) {
  auto e = Element::from(element);
  if (!e) return AXError::illegalArgument;
  if (e->kind == Element::Kind::window && action == AXAction::raise) {
    if (connection_->isBroken()) return AXError::cannotComplete;
    auto snapshot = windowServer_.snapshot();
    const X11WindowEntry* w = snapshot ? snapshot->find(e->number) : nullptr;
    if (!w || w->pid != e->pid) return AXError::invalidUIElement;
    if (w->minimized) unminimize(e->number);
    return activate(e->number);
  }
  if (e->kind == Element::Kind::statusItem && action == AXAction::press) {
    if (!statusItems_.press || !statusItems_.press(e->number)) return AXError::invalidUIElement;
    return AXError::success;
  }
  return AXError::actionUnsupported;
}

Accessibility::WindowNumberLookup X11Accessibility::lookUpWindowNumberFunction() {
  return Element::windowNumberLookup();
}

}  // namespace platform::linuxbackend
