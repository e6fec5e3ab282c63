#pragma once

#include <memory>
#include <string>
#include <vector>

#include "Platform/Desktop/Control.h"
#include "Platform/Desktop/Menu.h"

namespace platform {

// A button that shows one of several choices. A click opens its menu; choosing an item there
// selects it and sends the button's action.
class PopUpButton : public Control {
 public:
  PopUpButton();
  explicit PopUpButton(Rect frame);

  const std::shared_ptr<Menu>& menu() const { return menu_; }
  void addItem(std::string title);
  void addItems(const std::vector<std::string>& titles);
  void removeAllItems();
  std::size_t numberOfItems() const { return menu_->numberOfItems(); }
  std::vector<std::string> itemTitles() const;

  // -1 when nothing is selected.
  long indexOfSelectedItem() const { return selected_; }
  void selectItem(long index);
  std::string titleOfSelectedItem() const;

  bool acceptsKeyboardFocus() const override { return true; }
  // Opens the menu.
  void performKeyboardAction() override;
  void mouseDown(const Event&) override {}
  void mouseUp(const Event& event) override;

 private:
  void showMenu();

  std::shared_ptr<Menu> menu_;
  long selected_ = -1;
};

}  // namespace platform
