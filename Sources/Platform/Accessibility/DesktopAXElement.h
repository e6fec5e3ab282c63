#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "Platform/Accessibility/Accessibility.h"

namespace platform {

// The element both desktop backends hand out: an application, one of its windows, or our own
// status items and the bar that holds them.
class DesktopAXElement final : public AXUIElement {
 public:
  enum class Kind { application, window, extrasMenuBar, statusItem };

  DesktopAXElement(Kind kind, std::int32_t pid, std::uint32_t number = 0)
      : kind(kind), pid(pid), number(number) {}

  std::int32_t processIdentifier() const override { return pid; }
  bool isEqual(const AXUIElement& other) const override {
    auto o = dynamic_cast<const DesktopAXElement*>(&other);
    return o && o->kind == kind && o->pid == pid && o->number == number;
  }

  // The element behind `element`, or null for another kind.
  static const DesktopAXElement* from(const AXElement& element) {
    return dynamic_cast<const DesktopAXElement*>(element.get());
  }

  // What both backends answer alike --------------------------------------------------------
  // A foreign window's "AXMinimized" and "AXTitle" (no value while it has no name), from the
  // backend's record of it.
  template <class Window>
  static AXError copyWindowAttribute(const Window& window, std::string_view attribute,
                                     AXValue& value) {
    if (attribute == AXAttribute::minimized) {
      value = window.minimized;
      return AXError::success;
    }
    if (attribute == AXAttribute::title) {
      if (!window.name) return AXError::noValue;
      value = *window.name;
      return AXError::success;
    }
    return AXError::attributeUnsupported;
  }
  // The "AXChildren" of our extras menu bar: an element for each status item shown, by index.
  static AXError copyExtrasMenuBarAttribute(std::int32_t pid,
                                            const std::vector<std::uint32_t>& shownItems,
                                            std::string_view attribute, AXValue& value);
  // The exact lookup: a window element carries its window's number.
  static Accessibility::WindowNumberLookup windowNumberLookup();

  Kind kind;
  std::int32_t pid;
  // The window's number, or the status item's index.
  std::uint32_t number;
};

}  // namespace platform
