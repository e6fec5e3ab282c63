#pragma once

#include <cstdint>

#include "Platform/Accessibility/AXUIElement.h"

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

  Kind kind;
  std::int32_t pid;
  // The window's number, or the status item's index.
  std::uint32_t number;
};

}  // namespace platform
