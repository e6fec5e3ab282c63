#include "Platform/Desktop/Control.h"

namespace platform {

Font Control::effectiveFont() const {
  return font_ ? *font_ : Font::systemFont(systemFontSize(controlSize_));
}

double Control::systemFontSize(ControlSize size) {
  switch (size) {
    case ControlSize::small:
      return 11;
    case ControlSize::mini:
      return 9;
    case ControlSize::regular:
    case ControlSize::large:
      return 13;
  }
  return 13;
}

bool Control::sendAction() {
  if (!action_) return false;
  // The action may replace itself or drop the last reference to this control.
  auto keep = shared_from_this();
  auto action = action_;
  action(*this);
  return true;
}

}  // namespace platform
