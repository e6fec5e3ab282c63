#include "Platform/Desktop/PopUpButton.h"

#include "Platform/Desktop/Desktop.h"
#include "Platform/Desktop/Window.h"
#include "Platform/Foundation/Environment.h"

namespace platform {

PopUpButton::PopUpButton() : PopUpButton(Rect()) {}

PopUpButton::PopUpButton(Rect frame) : Control(frame), menu_(std::make_shared<Menu>()) {}

void PopUpButton::addItem(std::string title) {
  auto item = std::make_shared<MenuItem>(std::move(title));
  // Held weakly: the menu belongs to this button.
  std::weak_ptr<View> weak = weak_from_this();
  item->setAction([this, weak](MenuItem& chosen) {
    auto keep = weak.lock();
    if (!keep) return;
    if (auto index = menu_->indexOfItem(chosen)) selectItem(static_cast<long>(*index));
    sendAction();
  });
  menu_->addItem(std::move(item));
  if (selected_ < 0) selected_ = 0;
  changed(ViewChange::content);
}

void PopUpButton::addItems(const std::vector<std::string>& titles) {
  for (const auto& title : titles) addItem(title);
}

void PopUpButton::removeAllItems() {
  menu_->removeAllItems();
  selected_ = -1;
  changed(ViewChange::content);
}

std::vector<std::string> PopUpButton::itemTitles() const {
  std::vector<std::string> titles;
  for (const auto& item : menu_->items()) titles.push_back(item->title());
  return titles;
}

void PopUpButton::selectItem(long index) {
  selected_ = index >= 0 && index < static_cast<long>(menu_->numberOfItems()) ? index : -1;
  changed(ViewChange::content);
}

std::string PopUpButton::titleOfSelectedItem() const {
  return selected_ < 0 ? std::string()
                       : menu_->itemAt(static_cast<std::size_t>(selected_))->title();
}

void PopUpButton::performKeyboardAction() {
  if (isEnabled()) showMenu();
}

void PopUpButton::mouseUp(const Event& event) {
  if (!isEnabled() || !bounds().contains(convertFromWindow(event.locationInWindow))) return;
  showMenu();
}

void PopUpButton::showMenu() {
  // Below the button, its leading edges lined up, as the platform opens it.
  Window* w = window();
  if (!w) {
    env().desktop->showMenu(*menu_);
    return;
  }
  Rect inWindow = convertToWindow(bounds());
  Rect content = w->contentRect();
  env().desktop->showMenu(*menu_, Point{content.x() + inWindow.x(), content.y() + inWindow.y()});
}

}  // namespace platform
