#include "Platform/Desktop/StatusItem.h"

#include "Platform/Desktop/Desktop.h"
#include "Platform/Foundation/Environment.h"

namespace platform {

StatusItem::StatusItem(double length) : length_(length), button_(std::make_shared<Button>()) {
  button_->setBordered(false);
}

void StatusItem::click() {
  if (menu_) {
    env().desktop->showMenu(*menu_);
  } else {
    button_->performClick();
  }
}

}  // namespace platform
