#pragma once

#include <memory>
#include <string>
#include <vector>

#include "Platform/Desktop/Button.h"
#include "Platform/Desktop/Panel.h"
#include "Platform/Desktop/TextField.h"

namespace platform {

enum class AlertStyle { warning, informational, critical };

// A modal alert: a style, a message, an informative text and buttons. `runModal` shows its
// window and runs a modal session until a button ends it (answering 1000 for the first button,
// 1001 for the second, ...) or something aborts the session. The first button answers Return,
// a button titled "Cancel" answers Esc.
class Alert {
 public:
  static constexpr double width = 420;

  Alert();
  ~Alert();
  Alert(const Alert&) = delete;
  Alert& operator=(const Alert&) = delete;

  AlertStyle alertStyle() const { return style_; }
  void setAlertStyle(AlertStyle style) { style_ = style; }
  const std::string& messageText() const { return message_; }
  void setMessageText(std::string text) { message_ = std::move(text); }
  const std::string& informativeText() const { return informative_; }
  void setInformativeText(std::string text) { informative_ = std::move(text); }

  std::shared_ptr<Button> addButton(std::string title);
  const std::vector<std::shared_ptr<Button>>& buttons() const { return buttons_; }

  // The window the alert shows in.
  const std::shared_ptr<Panel>& window() const { return window_; }

  long runModal();

 private:
  void layout();

  AlertStyle style_ = AlertStyle::warning;
  std::string message_;
  std::string informative_;
  std::vector<std::shared_ptr<Button>> buttons_;
  std::shared_ptr<Panel> window_;
  std::shared_ptr<TextField> messageLabel_;
  std::shared_ptr<TextField> informativeLabel_;
};

}  // namespace platform
