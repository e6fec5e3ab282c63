#include "Flagrig/Tagging/TagEditorView.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "Flagrig/Tagging/SettingsHotkeyFormat.h"
#include "Flagrig/Tagging/TagFont.h"
#include "Flagrig/Tagging/TagManager.h"
#include "Flagrig/Tagging/TagNotifications.h"
#include "Flagrig/Tagging/TagPalette.h"
#include "Flagrig/Tagging/TagShape.h"
#include "Platform/Desktop/Application.h"
#include "Platform/Desktop/Button.h"
#include "Platform/Desktop/Color.h"
#include "Platform/Desktop/ColorPanel.h"
#include "Platform/Desktop/ColorWell.h"
#include "Platform/Desktop/Font.h"
#include "Platform/Desktop/Image.h"
#include "Platform/Desktop/PopUpButton.h"
#include "Platform/Desktop/SegmentedControl.h"
#include "Platform/Desktop/TextField.h"
#include "Platform/Desktop/Window.h"
#include "Platform/Foundation/Environment.h"
#include "Platform/Foundation/RunLoop.h"

namespace flagrig {

using namespace platform;

namespace {

// The hotkey bits: shift, control, option, command.
constexpr std::uint64_t hotkeyModifierMask = 0x1E0000;
constexpr double highlightDuration = 1.2;

// The editor's preview corners, a little tighter than a tag's own.
double previewCornerRadius(TagShape shape) {
  switch (shape) {
    case TagShape::pill:
      return 12;
    case TagShape::rounded:
      return 6;
    case TagShape::square:
      return 0;
  }
  return 0;
}

std::shared_ptr<TextField> caption(std::string text, Font font, Color color) {
  auto label = TextField::labelWithString(std::move(text));
  label->setFont(font);
  label->setTextColor(color);
  return label;
}

// A label sized to fit at `origin`.
std::shared_ptr<TextField> fittedCaption(std::string text, Font font, Color color, Point origin) {
  auto label = caption(std::move(text), font, color);
  label->sizeToFit();
  label->setFrameOrigin(origin);
  return label;
}

std::shared_ptr<Button> smallButton(std::string title) {
  auto button = Button::withTitle(std::move(title));
  button->setBezelStyle(BezelStyle::rounded);
  button->setControlSize(ControlSize::small);
  button->sizeToFit();
  return button;
}

}  // namespace

std::shared_ptr<TagEditorView> TagEditorView::make(Rect frame) {
  auto editor = std::make_shared<TagEditorView>(frame);
  std::weak_ptr<TagEditorView> weak = editor;
  editor->focusObserver_ = env().notificationCenter->addObserver(
      std::string(flagrigFocusHotkey), nullptr, nullptr, [weak](const Notification&) {
        if (auto e = weak.lock()) e->handleFocusHotkey();
      });
  editor->observing_ = true;
  editor->rebuild();
  return editor;
}

TagEditorView::TagEditorView(Rect frame) : View(frame) {
  setWantsLayer(true);
}

TagEditorView::~TagEditorView() {
  if (!hasEnvironment()) return;
  if (observing_) env().notificationCenter->removeObserver(focusObserver_);
  // An editor closed mid-recording must not leave a monitor that swallows the next key.
  if (hotkeyMonitor_ && env().desktop) Application::shared().removeMonitor(hotkeyMonitor_);
}

std::weak_ptr<TagEditorView> TagEditorView::weakSelf() {
  return std::static_pointer_cast<TagEditorView>(shared_from_this());
}

std::function<void(Control&)> TagEditorView::action(void (TagEditorView::*member)(Control&)) {
  return [weak = weakSelf(), member](Control& sender) {
    if (auto e = weak.lock()) ((*e).*member)(sender);
  };
}

std::function<void(Control&)> TagEditorView::action(void (TagEditorView::*member)()) {
  return [weak = weakSelf(), member](Control&) {
    if (auto e = weak.lock()) ((*e).*member)();
  };
}

void TagEditorView::publishContentHeight() {
  env().mainLoop->post([weak = weakSelf()] {
    auto e = weak.lock();
    if (!e || !e->onContentHeightChange) return;
    auto callback = e->onContentHeightChange;
    callback(e->contentHeight_);
  });
}

void TagEditorView::rebuild() {
  auto& manager = TagManager::shared();
  // The colour panel keeps editing the same entry across the layout, so a drag in the wheel
  // or a second hex value still reaches it.
  // Only while the panel is open: a closed panel must not come back with the next action.
  std::optional<long> activeWell;
  if (ColorPanel::sharedExists() && ColorPanel::shared().isVisible()) {
    for (const auto& view : subviews()) {
      auto* well = dynamic_cast<ColorWell*>(view.get());
      if (well && well->isActive()) activeWell = well->tag();
    }
  }

  removeAllSubviews();
  hotkeyButton_.reset();
  const double W = std::max(frame().width(), minimumWidth);
  const auto& palette = manager.palette();
  const bool canDelete = palette.size() >= 2;
  const TagShape shape = manager.tagShape();
  const Font captionFont = Font::systemFont(9, FontWeight::medium);
  std::shared_ptr<ColorWell> wellToActivate;

  for (std::size_t i = 0; i < palette.size(); ++i) {
    const auto& entry = palette[i];
    const double y = rowHeight * static_cast<double>(i);
    const long index = static_cast<long>(i);

    auto remove = Button::withImage(Image::systemSymbol("minus.circle.fill", "Remove"));
    remove->setFrame(Rect(4, y + 8, 16, 16));
    remove->setBordered(false);
    remove->setContentTintColor(canDelete ? Color::systemRed().withAlphaComponent(0.7)
                                          : Color::tertiaryLabel());
    remove->setEnabled(canDelete);
    remove->setTag(index);
    remove->setAction(action(&TagEditorView::deleteColor));
    addSubview(remove);

    // One colour of the entry: its caption, and below it a well whose tag says which colour of
    // which entry it edits.
    auto addWell = [&](const char* title, double x, double captionWidth, Color color, long tag,
                       const std::string& label, void (TagEditorView::*changed)(Control&)) {
      auto wellCaption = caption(title, captionFont, Color::tertiaryLabel());
      wellCaption->setFrame(Rect(x, y, captionWidth, 12));
      addSubview(wellCaption);
      auto well = std::make_shared<ColorWell>(Rect(x, y + 12, 28, 28));
      well->setColor(color.withAlphaComponent(1));
      well->setTag(tag);
      well->setAccessibilityLabel(label + " " + std::to_string(i + 1));
      well->setAction(action(changed));
      addSubview(well);
      return well;
    };
    auto bgWell = addWell("bg", 28, 20, entry.background, 2 * index, "Background color",
                          &TagEditorView::bgColorChanged);
    auto textWell = addWell("text", 64, 24, entry.text, 2 * index + 1, "Text color",
                            &TagEditorView::fgColorChanged);

    if (activeWell == 2 * index) wellToActivate = bgWell;
    if (activeWell == 2 * index + 1) wellToActivate = textWell;

    auto preview = std::make_shared<View>(Rect(104, y + 8, W - 108, 24));
    preview->setFlipped(true);
    preview->setWantsLayer(true);
    preview->layer()->setCornerRadius(previewCornerRadius(shape));
    preview->layer()->setBackgroundColor(entry.background);
    preview->setAutoresizingMask(AutoresizingMask::widthSizable);
    auto sample = TextField::labelWithString("Sample Label");
    sample->setFrame(Rect(12, 4, W - 108 - 24, 16));
    sample->setFont(nsFont(manager.tagFont(), tagLabelSize));
    sample->setTextColor(entry.text);
    sample->setAutoresizingMask(AutoresizingMask::widthSizable);
    preview->addSubview(sample);
    addSubview(preview);
  }

  double y = rowHeight * static_cast<double>(palette.size());
  auto reset = smallButton("Reset to Defaults");
  reset->setFrameOrigin({4, y});
  reset->setAction(action(&TagEditorView::resetDefaults));
  addSubview(reset);
  auto add = smallButton("+ Add Color");
  add->setFrameOrigin({W - 4 - add->frame().width(), y});
  add->setAutoresizingMask(AutoresizingMask::minXMargin);
  add->setAction(action(&TagEditorView::addColor));
  addSubview(add);

  const Font rowCaptionFont = Font::systemFont(11, FontWeight::medium);
  y += 34;
  addSubview(fittedCaption("Font", rowCaptionFont, Color::secondaryLabel(), {4, y + 4}));
  auto fonts = std::make_shared<PopUpButton>(Rect(84, y, 160, 24));
  fonts->setControlSize(ControlSize::small);
  fonts->setFont(Font::systemFont(11));
  fonts->setAccessibilityLabel("Font");
  for (TagFont font : allTagFonts) fonts->addItem(std::string(title(font)));
  fonts->selectItem(static_cast<long>(manager.tagFont()));
  fonts->setAction(action(&TagEditorView::fontChanged));
  addSubview(fonts);

  y += 32;
  addSubview(fittedCaption("Shape", rowCaptionFont, Color::secondaryLabel(), {4, y + 4}));
  auto shapes =
      SegmentedControl::withLabels({"Pill", "Rounded", "Square"}, SegmentTracking::selectOne);
  shapes->setControlSize(ControlSize::small);
  shapes->setSelectedSegment(static_cast<long>(shape));
  shapes->setAccessibilityLabel("Shape");
  shapes->sizeToFit();
  shapes->setFrameOrigin({84, y});
  shapes->setAction(action(&TagEditorView::shapeChanged));
  addSubview(shapes);

  y += 32;
  auto big = Button::checkbox("Big tags");
  big->setControlSize(ControlSize::small);
  big->setState(manager.bigTags() ? ControlState::on : ControlState::off);
  big->sizeToFit();
  big->setFrameOrigin({4, y});
  big->setAction(action(&TagEditorView::toggleBigTags));
  addSubview(big);

  y += 32;
  auto header = fittedCaption("HOTKEY", Font::systemFont(10, FontWeight::semibold),
                              Color::secondaryLabel(), {4, y});
  addSubview(header);
  y += header->frame().height() + 6;
  auto defaultLine =
      fittedCaption("Default: \u2303\u21e7`", Font::systemFont(10), Color::tertiaryLabel(), {4, y});
  addSubview(defaultLine);
  y += defaultLine->frame().height() + 6;

  addSubview(fittedCaption("Shortcut", rowCaptionFont, Color::secondaryLabel(), {4, y + 4}));
  auto code = manager.hotkeyCode();
  auto hotkey =
      smallButton(code ? SettingsHotkeyFormat::describe(*code, manager.hotkeyModifiers()) : "None");
  hotkey->setFrame(Rect(84, y, std::max(hotkey->frame().width(), 100.0), hotkey->frame().height()));
  hotkey->setAction(action(&TagEditorView::recordHotkey));
  hotkey->setAccessibilityLabel("Shortcut");
  if (hotkeyMonitor_) {
    // Still waiting for the combination.
    hotkey->setTitle("Press shortcut...");
    hotkey->setEnabled(false);
  }
  addSubview(hotkey);
  hotkeyButton_ = hotkey;
  if (code) {
    auto clear = smallButton("Clear");
    clear->setFrameOrigin({hotkey->frame().maxX() + 6, y});
    clear->setAction(action(&TagEditorView::clearHotkey));
    addSubview(clear);
  }

  contentHeight_ = std::max(y + 36, minimumHeight);
  if (std::abs(frame().height() - contentHeight_) > 1)
    setFrameSize({frame().width(), contentHeight_});
  if (wellToActivate) wellToActivate->activate();
  publishContentHeight();
}

void TagEditorView::deleteColor(Control& sender) {
  auto& manager = TagManager::shared();
  auto palette = manager.palette();
  long index = sender.tag();
  if (palette.size() >= 2 && index >= 0 && static_cast<std::size_t>(index) < palette.size()) {
    palette.erase(palette.begin() + index);
    manager.setPalette(std::move(palette));
    manager.savePalette();
  }
  rebuild();
}

void TagEditorView::bgColorChanged(Control& sender) {
  if (auto* well = dynamic_cast<ColorWell*>(&sender))
    TagManager::shared().setPaletteColor(
        sender.tag() / 2, well->color().withAlphaComponent(TagPalette::backgroundAlpha),
        std::nullopt);
  rebuild();
}

void TagEditorView::fgColorChanged(Control& sender) {
  if (auto* well = dynamic_cast<ColorWell*>(&sender))
    TagManager::shared().setPaletteColor(sender.tag() / 2, std::nullopt,
                                         well->color().withAlphaComponent(1));
  rebuild();
}

void TagEditorView::addColor() {
  auto& manager = TagManager::shared();
  auto palette = manager.palette();
  palette.push_back({Color::sRGB(0.5, 0.5, 0.5, TagPalette::backgroundAlpha), Color::white()});
  manager.setPalette(std::move(palette));
  manager.savePalette();
  rebuild();
}

void TagEditorView::resetDefaults() {
  auto& manager = TagManager::shared();
  manager.setPalette(TagManager::defaultPalette());
  manager.savePalette();
  rebuild();
}

void TagEditorView::fontChanged(Control& sender) {
  if (auto* popUp = dynamic_cast<PopUpButton*>(&sender)) {
    if (auto font = tagFontFromRawValue(popUp->indexOfSelectedItem()))
      TagManager::shared().setFont(*font);
  }
  rebuild();
}

void TagEditorView::shapeChanged(Control& sender) {
  if (auto* segments = dynamic_cast<SegmentedControl*>(&sender)) {
    if (auto shape = tagShapeFromRawValue(segments->selectedSegment()))
      TagManager::shared().setTagShape(*shape);
  }
  rebuild();
}

void TagEditorView::toggleBigTags(Control& sender) {
  if (auto* box = dynamic_cast<Button*>(&sender))
    TagManager::shared().setBigTags(box->state() == ControlState::on);
  rebuild();
}

void TagEditorView::recordHotkey() {
  if (hotkeyMonitor_) return;
  if (hotkeyButton_) {
    hotkeyButton_->setTitle("Press shortcut...");
    hotkeyButton_->setEnabled(false);
  }
  hotkeyMonitor_ = Application::shared().addLocalMonitor(
      eventMaskFor(EventType::keyDown),
      [weak = weakSelf()](const Event& event) -> std::optional<Event> {
        auto editor = weak.lock();
        if (!editor) return event;
        editor->finishRecording(event);
        return std::nullopt;
      });
  if (auto* w = window()) w->makeFirstResponder(shared_from_this());
}

void TagEditorView::finishRecording(const Event& event) {
  std::uint64_t modifiers = event.modifierFlags & hotkeyModifierMask;
  if (event.keyCode != KeyCode::escape && modifiers != 0)
    TagManager::shared().setHotkey(event.keyCode, modifiers);
  stopRecording();
  rebuild();
}

void TagEditorView::cancelRecording() {
  if (!hotkeyMonitor_) return;
  stopRecording();
  rebuild();
}

void TagEditorView::stopRecording() {
  if (!hotkeyMonitor_) return;
  Application::shared().removeMonitor(hotkeyMonitor_);
  hotkeyMonitor_.reset();
  if (auto* w = window(); w && w->firstResponder().get() == this) w->makeFirstResponder(nullptr);
}

void TagEditorView::clearHotkey() {
  TagManager::shared().clearHotkey();
  rebuild();
}

void TagEditorView::handleFocusHotkey() {
  if (!hotkeyButton_) return;
  Rect f = hotkeyButton_->frame();
  auto highlight =
      std::make_shared<View>(Rect(f.x() - 8, f.y() - 6, f.width() + 16, f.height() + 12));
  highlight->setWantsLayer(true);
  highlight->layer()->setCornerRadius(6);
  highlight->layer()->setBackgroundColor(Color::systemYellow().withAlphaComponent(0.25));
  addSubview(highlight, SubviewPosition::below);
  std::weak_ptr<View> weak = highlight;
  highlight->animateAlpha(0, highlightDuration, [weak] {
    if (auto h = weak.lock()) h->removeFromSuperview();
  });
}

}  // namespace flagrig
