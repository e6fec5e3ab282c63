#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "Platform/Desktop/Event.h"
#include "Platform/Desktop/Image.h"
#include "Platform/Foundation/Value.h"

namespace platform {

class Menu;

// One entry of a menu: a title with an action, or a separator; with an optional key equivalent
// (a plain character used with the modifier mask, command by default), image, represented
// object, tool tip and submenu. `isEnabled` alone decides whether it can be chosen.
class MenuItem : public std::enable_shared_from_this<MenuItem> {
 public:
  using Action = std::function<void(MenuItem& sender)>;

  explicit MenuItem(std::string title = {}, Action action = {}, std::string keyEquivalent = {});
  static std::shared_ptr<MenuItem> separator();

  const std::string& title() const { return title_; }
  void setTitle(std::string title) { update(title_, std::move(title)); }
  bool hasAction() const { return static_cast<bool>(action_); }
  void setAction(Action action) { action_ = std::move(action); }
  const std::string& keyEquivalent() const { return keyEquivalent_; }
  void setKeyEquivalent(std::string key) { update(keyEquivalent_, std::move(key)); }
  std::uint64_t keyEquivalentModifierMask() const { return keyMask_; }
  void setKeyEquivalentModifierMask(std::uint64_t mask) { keyMask_ = mask; }
  const std::shared_ptr<Image>& image() const { return image_; }
  void setImage(std::shared_ptr<Image> image) { update(image_, std::move(image)); }
  const Value& representedObject() const { return representedObject_; }
  void setRepresentedObject(Value object) { representedObject_ = std::move(object); }
  const std::string& toolTip() const { return toolTip_; }
  void setToolTip(std::string tip) { toolTip_ = std::move(tip); }
  bool isEnabled() const { return enabled_; }
  void setEnabled(bool enabled) { update(enabled_, enabled); }
  bool isHidden() const { return hidden_; }
  void setHidden(bool hidden) { update(hidden_, hidden); }
  long tag() const { return tag_; }
  void setTag(long tag) { tag_ = tag; }
  bool isSeparatorItem() const { return separator_; }
  const std::shared_ptr<Menu>& submenu() const { return submenu_; }
  void setSubmenu(std::shared_ptr<Menu> submenu);
  // The menu holding this item, if any.
  Menu* menu() const { return menu_; }

  // Runs the action when the item is enabled; false when nothing ran.
  bool perform();

 private:
  friend class Menu;
  void changed();
  template <class T, class U>
  void update(T& property, U&& value) {
    property = std::forward<U>(value);
    changed();
  }

  std::string title_;
  Action action_;
  std::string keyEquivalent_;
  std::uint64_t keyMask_ = ModifierFlag::command;
  std::shared_ptr<Image> image_;
  Value representedObject_;
  std::string toolTip_;
  bool enabled_ = true;
  bool hidden_ = false;
  long tag_ = 0;
  bool separator_ = false;
  std::shared_ptr<Menu> submenu_;
  Menu* menu_ = nullptr;
};

}  // namespace platform
