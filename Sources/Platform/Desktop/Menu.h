#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Platform/Desktop/MenuItem.h"

namespace platform {

class Menu;

// Asked about a menu as it opens and closes; held weakly.
class MenuDelegate {
 public:
  virtual ~MenuDelegate() = default;
  // Before the menu opens: the moment to rebuild its items.
  virtual void menuNeedsUpdate(Menu&) {}
  virtual void menuWillOpen(Menu&) {}
  virtual void menuDidClose(Menu&) {}
};

// An ordered list of items: the main menu and its submenus, the status item's menu, a pop-up
// button's choices. The backend (or the simulated desktop) calls `willOpen` and `didClose`
// around showing it. Menus are created with std::make_shared.
class Menu : public std::enable_shared_from_this<Menu> {
 public:
  explicit Menu(std::string title = {});
  ~Menu();
  Menu(const Menu&) = delete;
  Menu& operator=(const Menu&) = delete;

  const std::string& title() const { return title_; }
  void setTitle(std::string title) { title_ = std::move(title); }
  const std::vector<std::shared_ptr<MenuItem>>& items() const { return items_; }
  std::size_t numberOfItems() const { return items_.size(); }
  std::shared_ptr<MenuItem> itemAt(std::size_t index) const;
  std::shared_ptr<MenuItem> itemWithTitle(std::string_view title) const;
  std::optional<std::size_t> indexOfItem(const MenuItem& item) const;
  // The enabled, shown item whose key equivalent is `key` (the key's character without
  // modifiers) pressed with exactly these of the command, option, control and shift flags; an
  // upper-case equivalent asks for shift. Null when none is.
  std::shared_ptr<MenuItem> itemForKeyEquivalent(std::string_view key,
                                                 std::uint64_t modifierFlags) const;

  // An item belongs to one menu at a time.
  void addItem(std::shared_ptr<MenuItem> item);
  void insertItem(std::shared_ptr<MenuItem> item, std::size_t index);
  void removeItem(const MenuItem& item);
  void removeItemAt(std::size_t index);
  void removeAllItems();

  std::shared_ptr<MenuDelegate> delegate() const { return delegate_.lock(); }
  void setDelegate(const std::shared_ptr<MenuDelegate>& delegate) { delegate_ = delegate; }
  // The menu one of whose items holds this one as its submenu.
  Menu* supermenu() const { return supermenu_; }

  // Around showing: asks the delegate to update, then tells it the menu opens or closed.
  void willOpen();
  void didClose();
  bool isOpen() const { return open_; }

 private:
  friend class MenuItem;
  void changed();

  std::string title_;
  std::vector<std::shared_ptr<MenuItem>> items_;
  std::weak_ptr<MenuDelegate> delegate_;
  Menu* supermenu_ = nullptr;
  bool open_ = false;
};

}  // namespace platform
