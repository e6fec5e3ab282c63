#include "Platform/Desktop/Button.h"

#include <cmath>

namespace platform {

Button::Button() = default;

Button::Button(Rect frame) : Control(frame) {}

std::shared_ptr<Button> Button::withTitle(std::string title, Action action) {
  auto button = std::make_shared<Button>();
  button->title_ = std::move(title);
  button->setAction(std::move(action));
  button->sizeToFit();
  return button;
}

std::shared_ptr<Button> Button::withImage(std::shared_ptr<Image> image, Action action) {
  auto button = std::make_shared<Button>();
  button->image_ = std::move(image);
  button->imagePosition_ = ImagePosition::imageOnly;
  button->setAction(std::move(action));
  button->sizeToFit();
  return button;
}

std::shared_ptr<Button> Button::checkbox(std::string title, Action action) {
  auto button = std::make_shared<Button>();
  button->title_ = std::move(title);
  button->type_ = ButtonType::checkbox;
  button->bordered_ = false;
  button->setAction(std::move(action));
  button->sizeToFit();
  return button;
}

void Button::setImage(std::shared_ptr<Image> image) {
  image_ = std::move(image);
  if (image_ && imagePosition_ == ImagePosition::noImage)
    imagePosition_ = title_.empty() ? ImagePosition::imageOnly : ImagePosition::imageLeft;
  changed(ViewChange::content);
}

void Button::performClick() {
  if (!isEnabled()) return;
  switch (type_) {
    case ButtonType::checkbox:
    case ButtonType::toggle:
    case ButtonType::pushOnPushOff:
      setState(state_ == ControlState::on ? ControlState::off : ControlState::on);
      break;
    case ButtonType::radio:
      setState(ControlState::on);
      break;
    case ButtonType::momentaryPushIn:
      break;
  }
  sendAction();
}

void Button::mouseUp(const Event& event) {
  if (bounds().contains(convertFromWindow(event.locationInWindow))) performClick();
}

void Button::sizeToFit() {
  double titleWidth = title_.empty() ? 0 : std::ceil(effectiveFont().widthOf(title_) - 1e-9);
  double height = 0;
  double width = 0;
  auto bySize = [&](double regular, double small, double mini) {
    switch (controlSize()) {
      case ControlSize::small:
        return small;
      case ControlSize::mini:
        return mini;
      default:
        return regular;
    }
  };
  if (type_ == ButtonType::checkbox || type_ == ButtonType::radio) {
    width = 18 + (title_.empty() ? 0 : 4 + titleWidth);
    height = bySize(16, 14, 12);
  } else {
    double imageWidth =
        image_ && imagePosition_ != ImagePosition::noImage ? image_->size().width : 0;
    double gap = imageWidth > 0 && titleWidth > 0 ? 4 : 0;
    width = titleWidth + imageWidth + gap + 2 * (bordered_ ? 12 : 2);
    height = bySize(21, 18, 15);
  }
  setFrameSize({width, height});
}

}  // namespace platform
