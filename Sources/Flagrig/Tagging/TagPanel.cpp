#include "Flagrig/Tagging/TagPanel.h"

#include "Platform/Desktop/Button.h"
#include "Platform/Desktop/ClickGestureRecognizer.h"
#include "Platform/Desktop/TextField.h"

namespace flagrig {

using namespace platform;

namespace {

constexpr const char* placeholderText = "Label...";
constexpr const char* closeTitle = "\u00d7";
constexpr double placeholderAlpha = 0.5;
constexpr double dotAlpha = 0.3;
constexpr double closeTintAlpha = 0.6;

}  // namespace

TagPanel::TagPanel(Color color, Color textColor, bool big, TagShape shape, TagFont font)
    : Panel(Rect(0, 0, initialWidth, layout(big).height), StyleMask::nonactivatingPanel),
      textField_(std::make_shared<TextField>()),
      tagColor_(std::move(color)),
      tagTextColor_(std::move(textColor)),
      big_(big) {
  setLevel(WindowLevel::normal);
  setOpaque(false);
  setHasShadow(true);
  setBackgroundColor(Color::clear());
  setHidesOnDeactivate(false);
  setCollectionBehavior(CollectionBehavior::canJoinAllSpaces |
                        CollectionBehavior::fullScreenAuxiliary);
  setMovableByWindowBackground(false);
  buildContent(shape, font);
}

void TagPanel::buildContent(TagShape shape, TagFont font) {
  // The views live as long as the panel, so their actions may refer to it directly.
  View& body = *contentView();
  body.setWantsLayer(true);
  body.layer()->setBackgroundColor(tagColor_);
  body.layer()->setMasksToBounds(true);
  body.setAutoresizingMask(AutoresizingMask::widthSizable | AutoresizingMask::heightSizable);

  auto dot = std::make_shared<View>();
  dot->setWantsLayer(true);
  dot->layer()->setBackgroundColor(tagTextColor_.withAlphaComponent(dotAlpha));
  dot->addGestureRecognizer(
      std::make_shared<ClickGestureRecognizer>([this](ClickGestureRecognizer&) { cycleColor(); }));
  body.addSubview(dot);

  TextField& label = *textField_;
  label.setTextColor(tagTextColor_);
  label.setBackgroundColor(Color::clear());
  label.setDrawsBackground(false);
  label.setBezeled(false);
  label.setBordered(false);
  label.setEditable(true);
  label.setSelectable(true);
  label.setFocusRingType(FocusRingType::none);
  label.setUsesSingleLineMode(true);
  label.setLineBreakMode(LineBreakMode::byTruncatingTail);
  label.setTruncatesLastVisibleLine(true);
  label.setAutoresizingMask(AutoresizingMask::widthSizable);
  body.addSubview(textField_);

  auto close = Button::withTitle(closeTitle, [this](Control&) { closeTapped(); });
  close->setBordered(false);
  close->setFont(Font::boldSystemFont(14));
  close->setContentTintColor(tagTextColor_.withAlphaComponent(closeTintAlpha));
  close->setAutoresizingMask(AutoresizingMask::minXMargin);
  body.addSubview(close);

  layOut(shape, font);
  label.setPlaceholderAttributedString(AttributedString{
      placeholderText, label.font(), tagTextColor_.withAlphaComponent(placeholderAlpha)});
}

void TagPanel::layOut(TagShape shape, TagFont font) {
  const Layout& l = layout(big_);
  double width = frame().width();
  View& body = *contentView();
  body.setFrame(Rect(0, 0, width, l.height));
  body.layer()->setCornerRadius(tagCornerRadius(shape, big_));

  const auto& subviews = body.subviews();
  View& dot = *subviews.front();
  dot.setFrame(Rect(l.dotOrigin, {l.dotSide, l.dotSide}));
  if (dot.layer()) dot.layer()->setCornerRadius(l.dotSide / 2);

  textField_->setFrame(
      Rect(l.labelX, l.labelY, width - l.labelX - Layout::labelRightInset, l.labelHeight));
  textField_->setFont(nsFont(font, tagLabelFontSize(big_)));

  if (auto* close = dynamic_cast<Button*>(subviews.back().get())) {
    close->setFrame(Rect(width - l.closeSide - Layout::closeRightInset,
                         (l.height - l.closeSide) / 2, l.closeSide, l.closeSide));
  }
}

void TagPanel::setTagColor(Color color) {
  tagColor_ = std::move(color);
  contentView()->layer()->setBackgroundColor(tagColor_);
}

void TagPanel::setTagTextColor(Color color) {
  tagTextColor_ = std::move(color);
  textField_->setTextColor(tagTextColor_);
  textField_->setPlaceholderAttributedString(
      AttributedString{placeholderText, textField_->font().value_or(Font::systemFont(tagLabelSize)),
                       tagTextColor_.withAlphaComponent(placeholderAlpha)});
  const auto& subviews = contentView()->subviews();
  if (subviews.empty()) return;
  if (auto* close = dynamic_cast<Button*>(subviews.back().get()))
    close->setContentTintColor(tagTextColor_.withAlphaComponent(closeTintAlpha));
  if (auto* dot = subviews.front()->layer())
    dot->setBackgroundColor(tagTextColor_.withAlphaComponent(dotAlpha));
}

void TagPanel::applySize(bool big, TagFont font, TagShape shape) {
  big_ = big;
  Rect f = frame();
  setFrame(Rect(f.x(), f.y(), f.width(), layout(big).height));
  layOut(shape, font);
}

void TagPanel::closeTapped() {
  auto keep = shared_from_this();
  if (onClose) onClose();
}

void TagPanel::cycleColor() {
  auto keep = shared_from_this();
  if (onColorCycle) onColorCycle();
}

void TagPanel::cancelOperation() {
  makeFirstResponder(nullptr);
}

}  // namespace flagrig
