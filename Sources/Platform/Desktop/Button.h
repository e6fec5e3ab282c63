#pragma once

#include <memory>
#include <optional>
#include <string>

#include "Platform/Desktop/Color.h"
#include "Platform/Desktop/Control.h"
#include "Platform/Desktop/Image.h"

namespace platform {

enum class BezelStyle {
  rounded,
  regularSquare,
  smallSquare,
  recessed,
  inlineStyle,
  texturedRounded,
  circular
};
enum class ButtonType { momentaryPushIn, pushOnPushOff, toggle, checkbox, radio };
enum class ControlState { off = 0, on = 1, mixed = -1 };
enum class ImagePosition {
  noImage,
  imageOnly,
  imageLeft,
  imageRight,
  imageAbove,
  imageBelow,
  imageOverlaps
};

// A push button, image button or checkbox. A click (press and release inside) or its key
// equivalent ("\r" for Return, "\x1b" for Esc, other characters with the command key) performs
// it: a checkbox or toggle flips its state, then the action is sent.
class Button : public Control {
 public:
  Button();
  explicit Button(Rect frame);
  static std::shared_ptr<Button> withTitle(std::string title, Action action = {});
  static std::shared_ptr<Button> withImage(std::shared_ptr<Image> image, Action action = {});
  static std::shared_ptr<Button> checkbox(std::string title, Action action = {});

  const std::string& title() const { return title_; }
  void setTitle(std::string title) { update(title_, std::move(title)); }
  const std::shared_ptr<Image>& image() const { return image_; }
  void setImage(std::shared_ptr<Image> image);
  ImagePosition imagePosition() const { return imagePosition_; }
  void setImagePosition(ImagePosition position) { imagePosition_ = position; }
  BezelStyle bezelStyle() const { return bezelStyle_; }
  void setBezelStyle(BezelStyle style) { update(bezelStyle_, style); }
  bool isBordered() const { return bordered_; }
  void setBordered(bool bordered) { update(bordered_, bordered); }
  const std::optional<Color>& contentTintColor() const { return tint_; }
  void setContentTintColor(std::optional<Color> tint) { update(tint_, std::move(tint)); }
  ButtonType buttonType() const { return type_; }
  void setButtonType(ButtonType type) { type_ = type; }
  ControlState state() const { return state_; }
  void setState(ControlState state) { update(state_, state); }
  const std::string& keyEquivalent() const { return keyEquivalent_; }
  void setKeyEquivalent(std::string equivalent) { keyEquivalent_ = std::move(equivalent); }

  // Does what a click does, when enabled.
  void performClick();

  bool acceptsKeyboardFocus() const override { return true; }
  void performKeyboardAction() override { performClick(); }
  void mouseDown(const Event&) override {}
  void mouseUp(const Event& event) override;
  // Push buttons: the title's width rounded up, plus the image's width (and 4 between image
  // and title), plus 12 on each side when bordered or 2 when not; height 21, 18 or 15 for
  // regular, small and mini. Checkboxes: 18 for the box, 4 and the title; height 16, 14 or 12.
  void sizeToFit() override;

 private:
  std::string title_;
  std::shared_ptr<Image> image_;
  ImagePosition imagePosition_ = ImagePosition::noImage;
  BezelStyle bezelStyle_ = BezelStyle::rounded;
  bool bordered_ = true;
  std::optional<Color> tint_;
  ButtonType type_ = ButtonType::momentaryPushIn;
  ControlState state_ = ControlState::off;
  std::string keyEquivalent_;
};

}  // namespace platform
