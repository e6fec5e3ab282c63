#include "Platform/Desktop/Alert.h"

#include <cmath>

#include "Platform/Desktop/Application.h"
#include "Platform/Desktop/Desktop.h"
#include "Platform/Foundation/Environment.h"

namespace platform {

namespace {

// Esc answers a "Cancel" button; without one it does nothing (a plain panel would close and
// leave the modal session running).
class AlertPanel final : public Panel {
 public:
  AlertPanel() : Panel(Rect(0, 0, Alert::width, 120), StyleMask::titled) {}
  void cancelOperation() override {}
};

}  // namespace

Alert::Alert()
    : window_(std::make_shared<AlertPanel>()),
      messageLabel_(TextField::labelWithString("")),
      informativeLabel_(TextField::labelWithString("")) {
  window_->setLevel(WindowLevel::modalPanel);
  window_->setHidesOnDeactivate(false);
  messageLabel_->setFont(Font::boldSystemFont(13));
  informativeLabel_->setFont(Font::systemFont(11));
  window_->contentView()->addSubview(messageLabel_);
  window_->contentView()->addSubview(informativeLabel_);
}

Alert::~Alert() {
  if (window_) window_->orderOut();
}

std::shared_ptr<Button> Alert::addButton(std::string title) {
  long response = ModalResponse::firstButton + static_cast<long>(buttons_.size());
  auto button = Button::withTitle(
      std::move(title), [response](Control&) { Application::shared().stopModal(response); });
  button->setTag(response);
  if (buttons_.empty()) {
    button->setKeyEquivalent("\r");
  } else if (button->title() == "Cancel") {
    button->setKeyEquivalent("\x1b");
  }
  buttons_.push_back(button);
  window_->contentView()->addSubview(button);
  return button;
}

void Alert::layout() {
  // Message and text on top, the buttons in a row at the bottom, the first at the right.
  messageLabel_->setStringValue(message_);
  informativeLabel_->setStringValue(informative_);
  messageLabel_->sizeToFit();
  informativeLabel_->sizeToFit();
  // A long informative text wraps onto as many lines as it needs (with room for faces that run
  // wider than the uniform measure), instead of being cut off at the alert's edge.
  double room = width - 40;
  Font informativeFont = informativeLabel_->effectiveFont();
  double textWidth = informativeFont.widthOf(informative_) * 1.25;
  if (textWidth > room) {
    informativeLabel_->setLineBreakMode(LineBreakMode::byWordWrapping);
    double lines = std::ceil(textWidth / room);
    informativeLabel_->setFrameSize({room, lines * informativeFont.lineHeight()});
  }
  double buttonsHeight = 21;
  double height = 20 + messageLabel_->frame().height() + 8 + informativeLabel_->frame().height() +
                  20 + buttonsHeight + 16;
  window_->setContentSize({width, height});
  double y = height - 20 - messageLabel_->frame().height();
  messageLabel_->setFrame(Rect(20, y, width - 40, messageLabel_->frame().height()));
  y -= 8 + informativeLabel_->frame().height();
  informativeLabel_->setFrame(Rect(20, y, width - 40, informativeLabel_->frame().height()));
  double x = width - 20;
  for (const auto& button : buttons_) {
    button->sizeToFit();
    x -= button->frame().width();
    button->setFrameOrigin({x, 16});
    x -= 8;
  }
}

long Alert::runModal() {
  if (buttons_.empty()) addButton("OK");
  layout();
  window_->center();
  auto& desktop = *env().desktop;
  desktop.alertWillRunModal(*this);
  long response = Application::shared().runModal(*window_);
  window_->orderOut();
  desktop.alertDidEnd(*this, response);
  return response;
}

}  // namespace platform
