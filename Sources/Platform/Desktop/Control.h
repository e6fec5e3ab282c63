#pragma once

#include <functional>
#include <optional>

#include "Platform/Desktop/Font.h"
#include "Platform/Desktop/View.h"

namespace platform {

enum class ControlSize { regular, small, mini, large };

// A view the user operates: enabled state, a tag, a control size, a font and an action sent
// when the user acts on it.
class Control : public View {
 public:
  using Action = std::function<void(Control& sender)>;

  using View::View;

  bool isEnabled() const { return enabled_; }
  void setEnabled(bool enabled) { update(enabled_, enabled); }
  long tag() const { return tag_; }
  void setTag(long tag) { tag_ = tag; }
  ControlSize controlSize() const { return controlSize_; }
  void setControlSize(ControlSize size) { update(controlSize_, size); }
  // The font set on the control, if any.
  const std::optional<Font>& font() const { return font_; }
  void setFont(std::optional<Font> font) { update(font_, std::move(font)); }
  // The set font, else the system font at the size that goes with the control size.
  Font effectiveFont() const;
  static double systemFontSize(ControlSize size);

  bool hasAction() const { return static_cast<bool>(action_); }
  void setAction(Action action) { action_ = std::move(action); }
  // Runs the action with this control as the sender; false without one.
  bool sendAction();

  // Resizes the control to fit its content, keeping its origin.
  virtual void sizeToFit() {}

  // Whether Tab stops at it in a form that hosts its view (an enabled, shown control of a kind
  // the user works with a click).
  virtual bool acceptsKeyboardFocus() const { return false; }
  // Space or Return on it while it has the form's focus: what a click on it does.
  virtual void performKeyboardAction() { sendAction(); }

 private:
  bool enabled_ = true;
  long tag_ = 0;
  ControlSize controlSize_ = ControlSize::regular;
  std::optional<Font> font_;
  Action action_;
};

}  // namespace platform
