#pragma once

#include <memory>

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

 private:
  std::shared_ptr<Image> image_;
  ImageScaling scaling_ = ImageScaling::proportionallyDown;
};

}  // namespace platform
