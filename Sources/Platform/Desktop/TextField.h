#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "Platform/Desktop/AttributedString.h"
#include "Platform/Desktop/Color.h"
#include "Platform/Desktop/Control.h"

namespace platform {

class TextField;

enum class LineBreakMode {
  byWordWrapping,
  byCharWrapping,
  byClipping,
  byTruncatingHead,
  byTruncatingTail,
  byTruncatingMiddle
};
enum class FocusRingType { standard, none, exterior };

// Editing commands a key turns into while a text field is being edited.
enum class TextCommand { insertNewline, cancelOperation, insertTab, insertBacktab, deleteBackward };

// Told about a text field's editing; held weakly.
class TextFieldDelegate {
 public:
  virtual ~TextFieldDelegate() = default;
  virtual void controlTextDidBeginEditing(TextField&) {}
  // After every change the user makes (not after `setStringValue`).
  virtual void controlTextDidChange(TextField&) {}
  virtual void controlTextDidEndEditing(TextField&) {}
  // Asked first for every command; true means the delegate handled it.
  virtual bool doCommandBy(TextField& /*control*/, TextCommand) { return false; }
};

// A single text field: an editable, selectable field or, built with `labelWithString`, a label.
// Editing starts when it becomes its window's first responder; typed text is appended at the
// end. Return is the insert-newline command (unhandled, it sends the action), Esc the cancel
// command (unhandled, it goes up to the window's `cancelOperation`).
class TextField : public Control {
 public:
  // Horizontal room around the text, on each side, when the field sizes itself to fit.
  static constexpr double textInset = 2;

  TextField();
  explicit TextField(Rect frame);
  // A non-editable, non-selectable label without bezel or background.
  static std::shared_ptr<TextField> labelWithString(std::string text);

  const std::string& stringValue() const { return string_; }
  void setStringValue(std::string value) { update(string_, std::move(value)); }
  // The text with the field's font and colour.
  AttributedString attributedStringValue() const;
  const std::optional<AttributedString>& placeholderAttributedString() const {
    return placeholder_;
  }
  void setPlaceholderAttributedString(std::optional<AttributedString> placeholder) {
    update(placeholder_, std::move(placeholder));
  }
  void setPlaceholderString(std::string placeholder) {
    setPlaceholderAttributedString(AttributedString{std::move(placeholder)});
  }

  const std::optional<Color>& textColor() const { return textColor_; }
  void setTextColor(std::optional<Color> color) { update(textColor_, std::move(color)); }
  const std::optional<Color>& backgroundColor() const { return backgroundColor_; }
  void setBackgroundColor(std::optional<Color> color) {
    update(backgroundColor_, std::move(color));
  }
  bool drawsBackground() const { return drawsBackground_; }
  void setDrawsBackground(bool draws) { update(drawsBackground_, draws); }
  bool isBezeled() const { return bezeled_; }
  void setBezeled(bool bezeled) { update(bezeled_, bezeled); }
  bool isBordered() const { return bordered_; }
  void setBordered(bool bordered) { update(bordered_, bordered); }
  bool isEditable() const { return editable_; }
  void setEditable(bool editable) { editable_ = editable; }
  bool isSelectable() const { return selectable_; }
  void setSelectable(bool selectable) { selectable_ = selectable; }
  FocusRingType focusRingType() const { return focusRing_; }
  void setFocusRingType(FocusRingType type) { focusRing_ = type; }
  LineBreakMode lineBreakMode() const { return lineBreak_; }
  void setLineBreakMode(LineBreakMode mode) { update(lineBreak_, mode); }
  bool truncatesLastVisibleLine() const { return truncatesLastLine_; }
  void setTruncatesLastVisibleLine(bool truncates) { truncatesLastLine_ = truncates; }
  bool usesSingleLineMode() const { return singleLine_; }
  void setUsesSingleLineMode(bool single) { singleLine_ = single; }

  std::shared_ptr<TextFieldDelegate> delegate() const { return delegate_.lock(); }
  void setDelegate(const std::shared_ptr<TextFieldDelegate>& delegate) { delegate_ = delegate; }

  bool isEditing() const { return editing_; }
  // What the keyboard delivers while the field is being edited.
  void insertText(std::string_view text);
  void doCommand(TextCommand command);

  bool acceptsFirstResponder() const override { return editable_ || selectable_; }
  bool becomeFirstResponder() override;
  bool resignFirstResponder() override;
  void keyDown(const Event& event) override;
  void mouseDown(const Event&) override {}
  // Width: the text's width (or, when empty, the placeholder's) rounded up, plus `textInset` on
  // each side; height: one line, plus 6 with a bezel or border.
  void sizeToFit() override;

 private:
  void userChangedText();

  std::string string_;
  std::optional<AttributedString> placeholder_;
  std::optional<Color> textColor_ = Color::label();
  std::optional<Color> backgroundColor_;
  bool drawsBackground_ = true;
  bool bezeled_ = true;
  bool bordered_ = false;
  bool editable_ = true;
  bool selectable_ = true;
  FocusRingType focusRing_ = FocusRingType::standard;
  LineBreakMode lineBreak_ = LineBreakMode::byClipping;
  bool truncatesLastLine_ = false;
  bool singleLine_ = false;
  bool editing_ = false;
  std::weak_ptr<TextFieldDelegate> delegate_;
};

}  // namespace platform
