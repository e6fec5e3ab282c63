#pragma once

#include <memory>

#include "Platform/Desktop/View.h"
#include "Platform/Foundation/NotificationCenter.h"

namespace platform {
class TextField;
struct Notification;
}  // namespace platform

namespace flagrig {

// The colour panel's accessory: a "Hex" label and a field that shows the panel's colour as
// "#RRGGBB" and sets the colour when the user types one and presses Return. Installed once at
// launch; it follows the panel's colour for the life of the process.
class HexAccessoryView : public platform::View {
 public:
  HexAccessoryView();
  ~HexAccessoryView() override;

  const std::shared_ptr<platform::TextField>& hexField() const { return hexField_; }
  // Mirrors the panel's colour into the field.
  void colorDidChange(const platform::Notification& notification);
  // The field's action: Return.
  void hexEntered();

 private:
  std::shared_ptr<platform::TextField> hexField_;
  // Set while the view itself changes the panel's colour, so the typed text stays as typed.
  bool isUpdating_ = false;
  platform::NotificationCenter::Token observer_;
};

}  // namespace flagrig
