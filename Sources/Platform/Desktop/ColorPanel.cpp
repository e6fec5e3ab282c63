#include "Platform/Desktop/ColorPanel.h"

#include "Platform/Desktop/ColorWell.h"
#include "Platform/Desktop/Desktop.h"
#include "Platform/Foundation/Environment.h"
#include "Platform/Foundation/NotificationCenter.h"

namespace platform {

ColorPanel& ColorPanel::shared() {
  return env().desktop->colorPanel();
}

bool ColorPanel::sharedExists() {
  return hasEnvironment() && env().desktop && env().desktop->hasColorPanel();
}

void ColorPanel::setPickerMask(std::uint32_t mask) {
  env().desktop->setColorPanelPickerMask(mask);
}

std::uint32_t ColorPanel::pickerMask() {
  return env().desktop->colorPanelPickerMask();
}

ColorPanel::ColorPanel()
    : Panel(Rect(0, 0, 220, 300),
            StyleMask::titled | StyleMask::closable | StyleMask::utilityWindow) {
  setTitle("Colors");
  setLevel(WindowLevel::floating);
  closeObserver_ = env().notificationCenter->addObserver(
      std::string(Window::willCloseNotification), nullptr, nullptr,
      [this](const Notification& n) { windowWillClose(n.object); });
}

ColorPanel::~ColorPanel() {
  if (hasEnvironment()) env().notificationCenter->removeObserver(closeObserver_);
}

// The panel goes with the window of the well it edits: left floating alone, it would edit
// nothing the user sees, and the next deactivation would hide it under whatever they click.
void ColorPanel::windowWillClose(const void* window) {
  if (!activeWell_ || window == this) return;
  if (static_cast<const void*>(activeWell_->window()) != window) return;
  activeWell_->deactivate();
  if (isVisible()) close();
}

void ColorPanel::setColor(Color color) {
  color_ = std::move(color);
  changed(WindowChange::look);
  if (activeWell_ && !settingFromWell_) {
    auto keep = activeWell_->shared_from_this();
    activeWell_->takeColorFromPanel(color_);
  }
  env().notificationCenter->post(std::string(colorDidChangeNotification),
                                 static_cast<const ColorPanel*>(this));
}

void ColorPanel::setAccessoryView(std::shared_ptr<View> view) {
  if (accessory_) accessory_->removeFromSuperview();
  accessory_ = std::move(view);
  if (accessory_) {
    accessory_->setFrameOrigin({0, 0});
    contentView()->addSubview(accessory_);
  }
}

void ColorPanel::setActiveWell(ColorWell* well) {
  if (activeWell_ && activeWell_ != well) activeWell_->active_ = false;
  activeWell_ = well;
}

}  // namespace platform
