#include "Platform/Sim/SimAccessibility.h"

#include "Platform/Accessibility/DesktopAXElement.h"
#include "Platform/Sim/SimDesktop.h"

namespace platform::sim {

using Element = DesktopAXElement;

bool SimAccessibility::isProcessTrustedWithOptions(TrustPrompt prompt) {
  if (prompt == TrustPrompt::askUser && !trusted_) ++prompts_;
  return trusted_;
}

AXElement SimAccessibility::createApplication(std::int32_t pid) {
  return std::make_shared<Element>(Element::Kind::application, pid);
}

AXElement SimAccessibility::windowElement(std::int32_t pid, std::uint32_t number) const {
  return std::make_shared<Element>(Element::Kind::window, pid, number);
}

std::uint32_t SimAccessibility::focusedWindowOf(std::int32_t pid) const {
  auto& server = desktop_.windowServer();
  if (auto it = focused_.find(pid); it != focused_.end() && server.foreignWindow(it->second))
    return it->second;
  for (auto number : server.windowsOf(pid)) {
    if (!server.foreignWindow(number)->minimized) return number;
  }
  return 0;
}

AXError SimAccessibility::copyApplicationAttribute(std::int32_t pid, std::string_view attribute,
                                                   AXValue& value) {
  auto& server = desktop_.windowServer();
  if (pid == server.ownPID()) {
    if (attribute == AXAttribute::extrasMenuBar) {
      if (desktop_.statusItemCount() == 0) return AXError::noValue;
      value = AXElement(std::make_shared<Element>(Element::Kind::extrasMenuBar, pid));
      return AXError::success;
    }
    return AXError::attributeUnsupported;
  }
  auto app = server.application(pid);
  if (!app || app->state == SimProcessState::gone) return AXError::cannotComplete;
  if (attribute == AXAttribute::windows) {
    AXValue::Array windows;
    for (auto number : server.windowsOf(pid)) windows.emplace_back(windowElement(pid, number));
    value = AXValue(std::move(windows));
    return AXError::success;
  }
  if (attribute == AXAttribute::focusedWindow || attribute == AXAttribute::mainWindow) {
    std::uint32_t number = attribute == AXAttribute::focusedWindow ? focusedWindowOf(pid) : 0;
    if (attribute == AXAttribute::mainWindow) {
      for (auto n : server.windowsOf(pid)) {
        if (!server.foreignWindow(n)->minimized) {
          number = n;
          break;
        }
      }
    }
    if (number == 0) return AXError::noValue;
    value = windowElement(pid, number);
    return AXError::success;
  }
  if (attribute == AXAttribute::title) {
    value = app->name;
    return AXError::success;
  }
  if (attribute == AXAttribute::extrasMenuBar) return AXError::noValue;
  return AXError::attributeUnsupported;
}

AXError SimAccessibility::copyAttributeValue(const AXElement& element, std::string_view attribute,
                                             AXValue& value) {
  value = AXValue();
  if (!trusted_) return AXError::apiDisabled;
  auto e = Element::from(element);
  if (!e) return AXError::illegalArgument;
  auto& server = desktop_.windowServer();
  switch (e->kind) {
    case Element::Kind::application:
      return copyApplicationAttribute(e->pid, attribute, value);
    case Element::Kind::window: {
      auto w = server.foreignWindow(e->number);
      if (!w) return AXError::invalidUIElement;
      return Element::copyWindowAttribute(*w, attribute, value);
    }
    case Element::Kind::extrasMenuBar: {
      std::vector<std::uint32_t> shown;
      for (std::uint32_t i = 0; i < desktop_.statusItemCount(); ++i) {
        if (desktop_.isStatusItemShown(i)) shown.push_back(i);
      }
      return Element::copyExtrasMenuBarAttribute(e->pid, shown, attribute, value);
    }
    case Element::Kind::statusItem:
      return AXError::attributeUnsupported;
  }
  return AXError::failure;
}

AXError SimAccessibility::setAttributeValue(const AXElement& element, std::string_view attribute,
                                            const AXValue& value) {
  if (!trusted_) return AXError::apiDisabled;
  auto e = Element::from(element);
  if (!e) return AXError::illegalArgument;
  auto& server = desktop_.windowServer();
  if (e->kind == Element::Kind::window) {
    if (!server.foreignWindow(e->number)) return AXError::invalidUIElement;
    if (attribute != AXAttribute::minimized) return AXError::attributeUnsupported;
    auto minimized = value.asBool();
    if (!minimized) return AXError::illegalArgument;
    server.setMinimized(e->number, *minimized);
    operations_.push_back("#" + std::to_string(e->number) +
                          " AXMinimized=" + (*minimized ? "true" : "false"));
    return AXError::success;
  }
  if (e->kind == Element::Kind::application && attribute == AXAttribute::focusedWindow) {
    auto app = server.application(e->pid);
    if (!app || app->state == SimProcessState::gone) return AXError::cannotComplete;
    auto target = Element::from(value.asElement());
    if (!target || target->kind != Element::Kind::window || target->pid != e->pid)
      return AXError::illegalArgument;
    if (!server.foreignWindow(target->number)) return AXError::invalidUIElement;
    focused_[e->pid] = target->number;
    operations_.push_back("pid " + std::to_string(e->pid) + " AXFocusedWindow=#" +
                          std::to_string(target->number));
    return AXError::success;
  }
  return AXError::attributeUnsupported;
}

AXError SimAccessibility::performAction(const AXElement& element, std::string_view action) {
  if (!trusted_) return AXError::apiDisabled;
  auto e = Element::from(element);
  if (!e) return AXError::illegalArgument;
  if (e->kind == Element::Kind::window && action == AXAction::raise) {
    if (!desktop_.windowServer().foreignWindow(e->number)) return AXError::invalidUIElement;
    desktop_.windowServer().raiseWindow(e->number);
    operations_.push_back("#" + std::to_string(e->number) + " AXRaise");
    return AXError::success;
  }
  if (e->kind == Element::Kind::statusItem && action == AXAction::press) {
    if (!desktop_.isStatusItemShown(e->number)) return AXError::invalidUIElement;
    operations_.push_back("status item " + std::to_string(e->number) + " AXPress");
    desktop_.clickStatusItem(e->number);
    return AXError::success;
  }
  return AXError::actionUnsupported;
}

Accessibility::WindowNumberLookup SimAccessibility::lookUpWindowNumberFunction() {
  if (!lookupAvailable_) return {};
  return Element::windowNumberLookup();
}

}  // namespace platform::sim
