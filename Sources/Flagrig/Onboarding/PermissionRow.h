#pragma once

#include <functional>
#include <string>

#include "Platform/Desktop/Color.h"
#include "Platform/Forms/FormNode.h"

namespace platform::forms {
class FormHost;
}

namespace flagrig {

// One permission as a card of the first-run permissions step: its state when the step was
// drawn, a badge for required or optional, and, while not granted, a click that asks for it.
// `hovering` lives in the host's view state under `hoverCell()`.
struct PermissionRow {
  static constexpr const char* grantedText = "Granted";
  static constexpr const char* requiredBadge = "Required";
  static constexpr const char* optionalBadge = "Optional";

  std::string title;
  std::string detail;
  bool required = false;
  bool granted = false;
  std::string actionTitle;
  platform::Color accent;
  std::function<void()> onEnable;

  std::string hoverCell() const { return "permissionRow." + title + ".hovering"; }
  platform::forms::Node body(platform::forms::FormHost& host) const;

 private:
  // The card's content; lit while the pointer is over a row not yet granted.
  platform::forms::Node rowBody(bool hovering = false) const;
  platform::forms::Node badge() const;
};

}  // namespace flagrig
