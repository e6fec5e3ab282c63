#pragma once

#include <memory>
#include <optional>

#include "Platform/Desktop/Image.h"
#include "Platform/Desktop/View.h"

namespace platform {

enum class ImageScaling { proportionallyDown, axesIndependently, none, proportionallyUpOrDown };

// A view that shows an image.
class ImageView : public View {
 public:
  using View::View;

  const std::shared_ptr<Image>& image() const { return image_; }
  void setImage(std::shared_ptr<Image> image) { update(image_, std::move(image)); }
  ImageScaling imageScaling() const { return scaling_; }
  void setImageScaling(ImageScaling scaling) { update(scaling_, scaling); }
  // The colour a symbol or template image is drawn in; absent draws it in its own colours.
  const std::optional<Color>& contentTintColor() const { return tint_; }
  void setContentTintColor(std::optional<Color> color) { update(tint_, std::move(color)); }

 private:
  std::shared_ptr<Image> image_;
  ImageScaling scaling_ = ImageScaling::proportionallyDown;
  std::optional<Color> tint_;
};

}  // namespace platform
