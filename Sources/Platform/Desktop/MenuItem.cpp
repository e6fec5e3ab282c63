#include "Platform/Desktop/MenuItem.h"

#include "Platform/Desktop/Menu.h"

namespace platform {

MenuItem::MenuItem(std::string title, Action action, std::string keyEquivalent)
    : title_(std::move(title)),
      action_(std::move(action)),
      keyEquivalent_(std::move(keyEquivalent)) {}

std::shared_ptr<MenuItem> MenuItem::separator() {
  auto item = std::make_shared<MenuItem>();
  item->separator_ = true;
  item->enabled_ = false;
  return item;
}

void MenuItem::setSubmenu(std::shared_ptr<Menu> submenu) {
  if (submenu_) submenu_->supermenu_ = nullptr;
  submenu_ = std::move(submenu);
  if (submenu_) submenu_->supermenu_ = menu_;
  changed();
}

bool MenuItem::perform() {
  if (!enabled_ || separator_ || !action_) return false;
  auto keep = shared_from_this();
  auto action = action_;
  action(*this);
  return true;
}

void MenuItem::changed() {
  if (menu_) menu_->changed();
}

}  // namespace platform
