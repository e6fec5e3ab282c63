#include "Platform/Desktop/Layer.h"

#include "Platform/Desktop/View.h"

namespace platform {

void Layer::setBackgroundColor(std::optional<Color> color) {
  backgroundColor_ = std::move(color);
  changed();
}

void Layer::setCornerRadius(double radius) {
  cornerRadius_ = radius;
  changed();
}

void Layer::setMasksToBounds(bool masks) {
  masksToBounds_ = masks;
  changed();
}

void Layer::changed() {
  owner_.changed(ViewChange::layer);
}

}  // namespace platform
