#include "Platform/Desktop/ColorWell.h"

#include "Platform/Desktop/ColorPanel.h"

namespace platform {

ColorWell::ColorWell() = default;

ColorWell::ColorWell(Rect frame) : Control(frame) {}

ColorWell::~ColorWell() {
  if (active_ && ColorPanel::sharedExists() && ColorPanel::shared().activeWell() == this) {
    ColorPanel::shared().setActiveWell(nullptr);
  }
}

void ColorWell::activate() {
  auto& panel = ColorPanel::shared();
  panel.setActiveWell(this);
  active_ = true;
  changed(ViewChange::content);
  panel.settingFromWell_ = true;
  panel.setColor(color_);
  panel.settingFromWell_ = false;
  panel.orderFront();
}

void ColorWell::deactivate() {
  if (!active_) return;
  active_ = false;
  if (ColorPanel::sharedExists() && ColorPanel::shared().activeWell() == this)
    ColorPanel::shared().setActiveWell(nullptr);
  changed(ViewChange::content);
}

void ColorWell::mouseUp(const Event& event) {
  if (isEnabled() && bounds().contains(convertFromWindow(event.locationInWindow))) activate();
}

void ColorWell::takeColorFromPanel(const Color& color) {
  setColor(color);
  sendAction();
}

}  // namespace platform
