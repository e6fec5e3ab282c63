#include "Platform/Desktop/Desktop.h"

#include "Platform/Desktop/AppleEventManager.h"
#include "Platform/Desktop/ColorPanel.h"
#include "Platform/Desktop/StatusBar.h"

namespace platform {

Desktop::Desktop() = default;

// Windows still alive refer to the desktop weakly and stop reporting once it is gone.
Desktop::~Desktop() = default;

Application& Desktop::application() {
  if (!application_) application_ = std::make_unique<Application>(*this);
  return *application_;
}

StatusBar& Desktop::statusBar() {
  if (!statusBar_) statusBar_ = std::make_unique<StatusBar>();
  return *statusBar_;
}

ColorPanel& Desktop::colorPanel() {
  if (!colorPanel_) colorPanel_ = std::make_shared<ColorPanel>();
  return *colorPanel_;
}

AppleEventManager& Desktop::appleEventManager() {
  if (!appleEvents_) appleEvents_ = std::make_unique<AppleEventManager>();
  return *appleEvents_;
}

std::shared_ptr<Screen> Desktop::mainScreen() const {
  auto all = screens();
  if (all.empty()) return nullptr;
  if (application_) {
    if (auto key = application_->keyWindow()) {
      if (auto screen = key->screen()) return screen;
    }
  }
  return all.front();
}

}  // namespace platform
