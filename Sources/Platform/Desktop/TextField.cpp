#include "Platform/Desktop/TextField.h"

#include <cmath>

#include "Platform/Desktop/Window.h"

namespace platform {

TextField::TextField() : TextField(Rect()) {}

TextField::TextField(Rect frame) : Control(frame) {
  setFont(Font::systemFont(13));
}

std::shared_ptr<TextField> TextField::labelWithString(std::string text) {
  auto label = std::make_shared<TextField>();
  label->string_ = std::move(text);
  label->editable_ = false;
  label->selectable_ = false;
  label->bezeled_ = false;
  label->drawsBackground_ = false;
  return label;
}

AttributedString TextField::attributedStringValue() const {
  return AttributedString{string_, font(), textColor_};
}

bool TextField::becomeFirstResponder() {
  editing_ = true;
  if (auto d = delegate()) d->controlTextDidBeginEditing(*this);
  return true;
}

bool TextField::resignFirstResponder() {
  if (editing_) {
    editing_ = false;
    if (auto d = delegate()) d->controlTextDidEndEditing(*this);
  }
  return true;
}

void TextField::userChangedText() {
  changed(ViewChange::content);
  if (auto d = delegate()) d->controlTextDidChange(*this);
}

void TextField::insertText(std::string_view text) {
  if (!editing_ || !editable_ || text.empty()) return;
  string_.append(text);
  userChangedText();
}

void TextField::doCommand(TextCommand command) {
  if (!editing_) return;
  auto keep = shared_from_this();
  if (auto d = delegate()) {
    if (d->doCommandBy(*this, command)) return;
  }
  switch (command) {
    case TextCommand::insertNewline:
      sendAction();
      return;
    case TextCommand::cancelOperation:
      if (Window* w = window()) w->cancelOperation();
      return;
    case TextCommand::deleteBackward: {
      if (!editable_ || string_.empty()) return;
      // Drop the last code point with its continuation bytes.
      std::size_t end = string_.size();
      do {
        --end;
      } while (end > 0 && (static_cast<unsigned char>(string_[end]) & 0xC0) == 0x80);
      string_.erase(end);
      userChangedText();
      return;
    }
    case TextCommand::insertTab:
    case TextCommand::insertBacktab:
      return;
  }
}

void TextField::keyDown(const Event& event) {
  if (!editing_) {
    Control::keyDown(event);
    return;
  }
  switch (event.keyCode) {
    case KeyCode::returnKey:
    case KeyCode::keypadEnter:
      doCommand(TextCommand::insertNewline);
      return;
    case KeyCode::escape:
      doCommand(TextCommand::cancelOperation);
      return;
    case KeyCode::tab:
      doCommand(event.modifierFlags & ModifierFlag::shift ? TextCommand::insertBacktab
                                                          : TextCommand::insertTab);
      return;
    case KeyCode::deleteKey:
      doCommand(TextCommand::deleteBackward);
      return;
    default:
      break;
  }
  // Command and control combinations are shortcuts, not text.
  if (event.modifierFlags & (ModifierFlag::command | ModifierFlag::control)) return;
  const std::string& text = event.characters;
  if (text.empty() || static_cast<unsigned char>(text[0]) < 0x20 || text[0] == 0x7F) return;
  insertText(text);
}

void TextField::sizeToFit() {
  Font f = effectiveFont();
  double textWidth = f.widthOf(string_);
  if (string_.empty() && placeholder_)
    textWidth = placeholder_->font.value_or(f).widthOf(placeholder_->string);
  double width = std::ceil(textWidth - 1e-9) + 2 * textInset;
  double height = f.lineHeight() + (bezeled_ || bordered_ ? 6 : 0);
  setFrameSize({width, height});
}

}  // namespace platform
