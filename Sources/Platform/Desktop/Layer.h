#pragma once

#include <optional>
#include <utility>

#include "Platform/Desktop/Color.h"

namespace platform {

class View;

// The backing layer of a layer-backed view: what it paints behind its content. Every change is
// reported through the owning view, so that a backend can repaint.
class Layer {
 public:
  explicit Layer(View& owner) : owner_(owner) {}
  Layer(const Layer&) = delete;
  Layer& operator=(const Layer&) = delete;

  const std::optional<Color>& backgroundColor() const { return backgroundColor_; }
  void setBackgroundColor(std::optional<Color> color) {
    update(backgroundColor_, std::move(color));
  }
  double cornerRadius() const { return cornerRadius_; }
  void setCornerRadius(double radius) { update(cornerRadius_, radius); }
  bool masksToBounds() const { return masksToBounds_; }
  void setMasksToBounds(bool masks) { update(masksToBounds_, masks); }

 private:
  void changed();
  template <class T, class U>
  void update(T& property, U&& value) {
    property = std::forward<U>(value);
    changed();
  }

  View& owner_;
  std::optional<Color> backgroundColor_;
  double cornerRadius_ = 0;
  bool masksToBounds_ = false;
};

}  // namespace platform
