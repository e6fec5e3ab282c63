#include "Platform/Desktop/StatusBar.h"

#include <algorithm>

#include "Platform/Desktop/Desktop.h"
#include "Platform/Foundation/Environment.h"

namespace platform {

StatusBar& StatusBar::system() {
  return env().desktop->statusBar();
}

std::shared_ptr<StatusItem> StatusBar::statusItem(double length) {
  items_.push_back(std::make_shared<StatusItem>(length));
  return items_.back();
}

void StatusBar::removeStatusItem(const std::shared_ptr<StatusItem>& item) {
  items_.erase(std::remove(items_.begin(), items_.end(), item), items_.end());
}

}  // namespace platform
