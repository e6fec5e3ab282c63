#pragma once

#include "Platform/Desktop/Color.h"
#include "Platform/Desktop/Control.h"

namespace platform {

// A swatch that edits a colour with the shared colour panel: a click activates it (the panel
// takes its colour and comes up); while active, every colour the panel gets becomes the
// well's and sends its action.
class ColorWell : public Control {
 public:
  ColorWell();
  explicit ColorWell(Rect frame);
  ~ColorWell() override;

  const Color& color() const { return color_; }
  void setColor(Color color) { update(color_, std::move(color)); }
  bool isActive() const { return active_; }
  // Makes this the colour panel's well, the only active one.
  void activate();
  void deactivate();

  bool acceptsKeyboardFocus() const override { return true; }
  void performKeyboardAction() override {
    if (isEnabled()) activate();
  }
  void mouseDown(const Event&) override {}
  void mouseUp(const Event& event) override;

 private:
  friend class ColorPanel;
  // The panel's colour changed while this well is active.
  void takeColorFromPanel(const Color& color);

  Color color_ = Color::white();
  bool active_ = false;
};

}  // namespace platform
