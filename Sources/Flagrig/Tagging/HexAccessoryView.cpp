#include "Flagrig/Tagging/HexAccessoryView.h"

#include "Flagrig/Tagging/ColorHex.h"
#include "Platform/Desktop/ColorPanel.h"
#include "Platform/Desktop/Font.h"
#include "Platform/Desktop/TextField.h"
#include "Platform/Foundation/Environment.h"

namespace flagrig {

using namespace platform;

HexAccessoryView::HexAccessoryView() : View(Rect(0, 0, 200, 28)) {
  auto label = TextField::labelWithString("Hex");
  label->setFrame(Rect(8, 5, 28, 18));
  label->setFont(Font::systemFont(11, FontWeight::medium));
  label->setTextColor(Color::secondaryLabel());
  addSubview(label);

  hexField_ = std::make_shared<TextField>(Rect(38, 3, 82, 22));
  hexField_->setFont(Font::monospacedSystemFont(12, FontWeight::medium));
  hexField_->setPlaceholderString("#RRGGBB");
  // The view lives as long as its field; the field must not keep it alive.
  hexField_->setAction([this](Control&) { hexEntered(); });
  addSubview(hexField_);

  observer_ = env().notificationCenter->addObserver(
      std::string(ColorPanel::colorDidChangeNotification), nullptr, nullptr,
      [this](const Notification& notification) { colorDidChange(notification); });
}

HexAccessoryView::~HexAccessoryView() {
  // Both hold this view unretained.
  hexField_->setAction({});
  if (hasEnvironment()) env().notificationCenter->removeObserver(observer_);
}

void HexAccessoryView::colorDidChange(const Notification& notification) {
  if (isUpdating_) return;
  // Only the shared panel posts this; any other sender is not a colour panel.
  if (!ColorPanel::sharedExists() || notification.object != &ColorPanel::shared()) return;
  hexField_->setStringValue(ColorHex::hexString(ColorPanel::shared().color()));
}

void HexAccessoryView::hexEntered() {
  auto color = ColorHex::from(hexField_->stringValue());
  if (!color) return;
  isUpdating_ = true;
  ColorPanel::shared().setColor(*color);
  isUpdating_ = false;
}

}  // namespace flagrig
