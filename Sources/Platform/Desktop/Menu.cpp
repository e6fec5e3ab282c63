#include "Platform/Desktop/Menu.h"

#include <algorithm>

#include "Platform/Desktop/Desktop.h"
#include "Platform/Foundation/Environment.h"
#include "Platform/Foundation/Error.h"

namespace platform {

Menu::Menu(std::string title) : title_(std::move(title)) {}

Menu::~Menu() {
  for (auto& item : items_) {
    item->menu_ = nullptr;
    if (item->submenu_) item->submenu_->supermenu_ = nullptr;
  }
}

std::shared_ptr<MenuItem> Menu::itemAt(std::size_t index) const {
  return index < items_.size() ? items_[index] : nullptr;
}

std::shared_ptr<MenuItem> Menu::itemWithTitle(std::string_view title) const {
  for (const auto& item : items_) {
    if (item->title() == title) return item;
  }
  return nullptr;
}

std::shared_ptr<MenuItem> Menu::itemForKeyEquivalent(std::string_view key,
                                                     std::uint64_t modifierFlags) const {
  constexpr std::uint64_t relevant =
      ModifierFlag::command | ModifierFlag::option | ModifierFlag::control | ModifierFlag::shift;
  auto lower = [](std::string text) {
    for (char& c : text) {
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
  };
  const std::string pressed = lower(std::string(key));
  if (pressed.empty()) return nullptr;
  for (const auto& item : items_) {
    const std::string& equivalent = item->keyEquivalent();
    if (equivalent.empty() || item->isHidden() || !item->isEnabled() || item->isSeparatorItem())
      continue;
    std::uint64_t mask = item->keyEquivalentModifierMask() & relevant;
    if (equivalent.size() == 1 && equivalent[0] >= 'A' && equivalent[0] <= 'Z')
      mask |= ModifierFlag::shift;
    if (lower(equivalent) == pressed && mask == (modifierFlags & relevant)) return item;
  }
  return nullptr;
}

std::optional<std::size_t> Menu::indexOfItem(const MenuItem& item) const {
  for (std::size_t i = 0; i < items_.size(); ++i) {
    if (items_[i].get() == &item) return i;
  }
  return std::nullopt;
}

void Menu::addItem(std::shared_ptr<MenuItem> item) {
  insertItem(std::move(item), items_.size());
}

void Menu::insertItem(std::shared_ptr<MenuItem> item, std::size_t index) {
  precondition(item != nullptr, "Menu::insertItem: no item");
  precondition(item->menu_ == nullptr, "Menu::insertItem: the item is already in a menu");
  item->menu_ = this;
  if (item->submenu_) item->submenu_->supermenu_ = this;
  items_.insert(items_.begin() + static_cast<std::ptrdiff_t>(std::min(index, items_.size())),
                std::move(item));
  changed();
}

void Menu::removeItem(const MenuItem& item) {
  if (auto index = indexOfItem(item)) removeItemAt(*index);
}

void Menu::removeItemAt(std::size_t index) {
  if (index >= items_.size()) return;
  auto item = items_[index];
  items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(index));
  item->menu_ = nullptr;
  if (item->submenu_) item->submenu_->supermenu_ = nullptr;
  changed();
}

void Menu::removeAllItems() {
  while (!items_.empty()) removeItemAt(items_.size() - 1);
}

void Menu::willOpen() {
  auto keep = shared_from_this();
  if (auto d = delegate()) d->menuNeedsUpdate(*this);
  open_ = true;
  if (auto d = delegate()) d->menuWillOpen(*this);
}

void Menu::didClose() {
  if (!open_) return;
  open_ = false;
  if (auto d = delegate()) d->menuDidClose(*this);
}

void Menu::changed() {
  if (hasEnvironment() && env().desktop) env().desktop->menuDidChange(*this);
}

}  // namespace platform
