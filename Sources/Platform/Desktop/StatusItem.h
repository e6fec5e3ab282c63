#pragma once

#include <memory>

#include "Platform/Desktop/Button.h"
#include "Platform/Desktop/Menu.h"

namespace platform {

// The application's item in the system status bar: a button (image, title and the image's
// accessibility description) and the menu it opens when clicked.
class StatusItem {
 public:
  static constexpr double variableLength = -1;
  static constexpr double squareLength = -2;

  explicit StatusItem(double length);

  double length() const { return length_; }
  void setLength(double length) { length_ = length; }
  const std::shared_ptr<Button>& button() const { return button_; }
  const std::shared_ptr<Menu>& menu() const { return menu_; }
  void setMenu(std::shared_ptr<Menu> menu) { menu_ = std::move(menu); }
  bool isVisible() const { return visible_; }
  void setVisible(bool visible) { visible_ = visible; }

  // What a click does: opens the menu, or else clicks the button.
  void click();

 private:
  double length_;
  std::shared_ptr<Button> button_;
  std::shared_ptr<Menu> menu_;
  bool visible_ = true;
};

}  // namespace platform
