#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "../Shell/ShellTest.h"
#include "Flagrig/Tagging/HexAccessoryView.h"
#include "Flagrig/Tagging/TagDefaultsKeys.h"
#include "Flagrig/Tagging/TagEditorView.h"
#include "Flagrig/Tagging/TagManager.h"
#include "Flagrig/Tagging/TagNotifications.h"
#include "Flagrig/Tagging/TagPalette.h"
#include "Flagrig/Tagging/TagPanel.h"
#include "Platform/Desktop/Application.h"
#include "Platform/Desktop/Button.h"
#include "Platform/Desktop/ColorPanel.h"
#include "Platform/Desktop/ColorWell.h"
#include "Platform/Desktop/PopUpButton.h"
#include "Platform/Desktop/SegmentedControl.h"
#include "Platform/Desktop/TextField.h"
#include "Platform/Foundation/SharedInstance.h"

namespace flagrig {
namespace {

using namespace platform;

constexpr std::uint16_t keyK = 40;

class TagEditorTest : public testing::ShellTest {
 protected:
  std::shared_ptr<TagEditorView> makeEditor() {
    auto editor = TagEditorView::make();
    runUntilIdle();
    return editor;
  }

  template <class T>
  static std::vector<T*> all(View& view) {
    std::vector<T*> found;
    for (const auto& v : view.subviews())
      if (auto* t = dynamic_cast<T*>(v.get())) found.push_back(t);
    return found;
  }
  static Button* button(View& view, std::string_view title) {
    for (auto* b : all<Button>(view))
      if (b->title() == title) return b;
    return nullptr;
  }
  static std::vector<Button*> deleteButtons(View& view) {
    std::vector<Button*> found;
    for (auto* b : all<Button>(view))
      if (b->image() && b->image()->name() == "minus.circle.fill") found.push_back(b);
    return found;
  }
  static ColorWell* well(View& view, long tag) {
    for (auto* w : all<ColorWell>(view))
      if (w->tag() == tag) return w;
    return nullptr;
  }
  void setPaletteSize(std::size_t n) {
    std::vector<PaletteEntry> palette;
    for (std::size_t i = 0; i < n; ++i) palette.push_back(TagManager::defaultPalette()[i % 8]);
    TagManager::shared().setPalette(palette);
  }
  // The six stored numbers of each stored palette entry.
  std::vector<std::vector<double>> storedPalette() {
    std::vector<std::vector<double>> result;
    auto stored = defaults().object(TagDefaultsKeys::palette);
    if (!stored || !stored->asArray()) return result;
    for (const auto& element : *stored->asArray()) {
      std::vector<double> numbers;
      for (const auto& n : *element.asArray()) numbers.push_back(*n.exactly<double>());
      result.push_back(numbers);
    }
    return result;
  }
  std::optional<Event> sendKey(std::uint16_t code, std::uint64_t flags) {
    // Whatever the local monitors pass on reaches this one, added after them.
    std::optional<Event> passedOn;
    auto probe = app().addLocalMonitor(eventMaskFor(EventType::keyDown),
                                       [&](const Event& e) -> std::optional<Event> {
                                         passedOn = e;
                                         return e;
                                       });
    app().sendEvent(Event::key(EventType::keyDown, code, flags, ""));
    app().removeMonitor(probe);
    return passedOn;
  }
};

TEST_F(TagEditorTest, ContentHeightFollowsThePaletteAndIsReportedLater) {
  // 40 per row, 34 to the font row, 32 each to shape, big tags and the header, the header and
  // the default line (12 high at 10 points) each + 6, 36 below the shortcut; never below 280.
  const double header = Font::systemFont(10, FontWeight::semibold).lineHeight() + 6;
  const double line = Font::systemFont(10).lineHeight() + 6;
  for (std::size_t n : {1u, 2u, 3u, 8u, 20u}) {
    SCOPED_TRACE(n);
    setPaletteSize(n);
    auto editor = TagEditorView::make();
    std::vector<double> reports;
    editor->onContentHeightChange = [&](double h) { reports.push_back(h); };
    double expected = std::max(40.0 * n + 34 + 32 + 32 + 32 + header + line + 36, 280.0);
    EXPECT_DOUBLE_EQ(editor->contentHeight(), expected);
    EXPECT_DOUBLE_EQ(editor->frame().height(), expected);
    EXPECT_TRUE(reports.empty()) << "the report is queued, never made inside the layout";
    runUntilIdle();
    EXPECT_EQ(reports, std::vector<double>{expected});
  }
  setPaletteSize(8);
  EXPECT_DOUBLE_EQ(TagEditorView::make()->contentHeight(), 522);
}

TEST_F(TagEditorTest, RowsShowEachEntryOpaqueWithItsPreview) {
  TagManager::shared().setTagShape(TagShape::square);
  TagManager::shared().setFont(TagFont::menlo);
  auto editor = makeEditor();
  const auto& palette = TagManager::shared().palette();
  ASSERT_EQ(all<ColorWell>(*editor).size(), 16u);
  for (long i = 0; i < 8; ++i) {
    SCOPED_TRACE(i);
    auto* bg = well(*editor, 2 * i);
    auto* fg = well(*editor, 2 * i + 1);
    ASSERT_TRUE(bg && fg);
    EXPECT_EQ(bg->frame(), Rect(28, 40.0 * i + 12, 28, 28));
    EXPECT_EQ(fg->frame(), Rect(64, 40.0 * i + 12, 28, 28));
    EXPECT_EQ(bg->color(), palette[i].background.withAlphaComponent(1));
  }
  // Previews: plain views with a layer, one per row.
  std::vector<View*> previews;
  for (const auto& v : editor->subviews())
    if (typeid(*v) == typeid(View) && v->layer()) previews.push_back(v.get());
  ASSERT_EQ(previews.size(), 8u);
  EXPECT_EQ(previews[2]->frame(), Rect(104, 88, 380 - 108, 24));
  EXPECT_EQ(previews[2]->layer()->cornerRadius(), 0);
  EXPECT_EQ(previews[2]->layer()->backgroundColor(), palette[2].background);
  auto* sample = dynamic_cast<TextField*>(previews[2]->subviews().at(0).get());
  ASSERT_TRUE(sample);
  EXPECT_EQ(sample->stringValue(), "Sample Label");
  EXPECT_EQ(sample->font(), nsFont(TagFont::menlo, 11));

  auto* fonts = all<PopUpButton>(*editor).at(0);
  EXPECT_EQ(fonts->itemTitles(),
            (std::vector<std::string>{"System", "SF Mono", "Menlo", "Helvetica Neue", "Monaco"}));
  EXPECT_EQ(fonts->indexOfSelectedItem(), 2);
  EXPECT_EQ(all<SegmentedControl>(*editor).at(0)->selectedSegment(), 2);
  EXPECT_EQ(button(*editor, "Big tags")->state(), ControlState::off);
  EXPECT_EQ(button(*editor, "\u2303\u21e7`")->frame().x(), 84);
}

TEST_F(TagEditorTest, DeleteNeedsTwoEntriesAndNeverEmptiesThePalette) {
  setPaletteSize(2);
  auto editor = makeEditor();
  auto buttons = deleteButtons(*editor);
  ASSERT_EQ(buttons.size(), 2u);
  for (auto* b : buttons) {
    EXPECT_TRUE(b->isEnabled());
    EXPECT_EQ(b->contentTintColor(), Color::systemRed().withAlphaComponent(0.7));
    EXPECT_EQ(b->image()->accessibilityDescription(), "Remove");
  }
  const auto second = TagManager::shared().palette()[1];
  buttons[0]->performClick();
  ASSERT_EQ(TagManager::shared().palette().size(), 1u);
  EXPECT_EQ(TagManager::shared().palette()[0].background, second.background);
  EXPECT_EQ(storedPalette().size(), 1u);

  buttons = deleteButtons(*editor);
  ASSERT_EQ(buttons.size(), 1u);
  EXPECT_FALSE(buttons[0]->isEnabled());
  EXPECT_EQ(buttons[0]->contentTintColor(), Color::tertiaryLabel());
  // Even when asked directly, and for indexes outside the palette.
  for (long index : {0L, -1L, 5L}) {
    Button fake;
    fake.setTag(index);
    editor->deleteColor(fake);
  }
  EXPECT_EQ(TagManager::shared().palette().size(), 1u);
}

TEST_F(TagEditorTest, AddAndResetWriteTheWholePalette) {
  TagManager::shared().setFont(TagFont::monaco);
  TagManager::shared().setTagShape(TagShape::square);
  TagManager::shared().setBigTags(true);
  auto editor = makeEditor();
  for (int i = 0; i < 3; ++i) deleteButtons(*editor)[0]->performClick();
  button(*editor, "+ Add Color")->performClick();
  ASSERT_EQ(TagManager::shared().palette().size(), 6u);
  EXPECT_EQ(TagManager::shared().palette().back().background,
            Color::sRGB(0.5, 0.5, 0.5, TagPalette::backgroundAlpha));
  EXPECT_EQ(storedPalette().back(), (std::vector<double>{0.5, 0.5, 0.5, 1, 1, 1}));
  auto* add = button(*editor, "+ Add Color");
  EXPECT_DOUBLE_EQ(add->frame().maxX(), 380 - 4);
  EXPECT_DOUBLE_EQ(add->frame().y(), 40 * 6);

  button(*editor, "Reset to Defaults")->performClick();
  auto stored = storedPalette();
  ASSERT_EQ(stored.size(), 8u);
  EXPECT_EQ(stored[0], (std::vector<double>{0.24, 0.6, 0.9, 1, 1, 1}));
  EXPECT_EQ(stored[7], (std::vector<double>{0.1, 0.68, 0.65, 1, 1, 1}));
  EXPECT_EQ(TagManager::shared().palette().size(), 8u);
  // The rest of the appearance and the hotkey stay.
  EXPECT_EQ(TagManager::shared().tagFont(), TagFont::monaco);
  EXPECT_EQ(TagManager::shared().tagShape(), TagShape::square);
  EXPECT_TRUE(TagManager::shared().bigTags());
  EXPECT_EQ(TagManager::shared().hotkeyCode(), 50);
  EXPECT_EQ(all<ColorWell>(*editor).size(), 16u);
}

TEST_F(TagEditorTest, ColoursFromThePanelKeepTheirAlphaRule) {
  auto editor = makeEditor();
  auto& panel = ColorPanel::shared();
  panel.setShowsAlpha(true);
  well(*editor, 2)->activate();
  desktop().chooseColorInPanel(Color::sRGB(0.1, 0.2, 0.3, 0.4));
  EXPECT_EQ(TagManager::shared().palette()[1].background, Color::sRGB(0.1, 0.2, 0.3, 0.95));
  EXPECT_EQ(storedPalette()[1], (std::vector<double>{0.1, 0.2, 0.3, 1, 1, 1}));

  // The new layout's well for the same entry stays the panel's target: a second colour (a
  // drag in the wheel goes on) lands on the same entry.
  ASSERT_TRUE(panel.activeWell());
  EXPECT_EQ(panel.activeWell()->tag(), 2);
  desktop().chooseColorInPanel(Color::sRGB(0.7, 0.6, 0.5, 0.2));
  EXPECT_EQ(TagManager::shared().palette()[1].background, Color::sRGB(0.7, 0.6, 0.5, 0.95));

  well(*editor, 5)->activate();
  desktop().chooseColorInPanel(Color::sRGB(0, 0, 0, 0.3));
  EXPECT_EQ(TagManager::shared().palette()[2].text, Color::sRGB(0, 0, 0, 1));
  EXPECT_EQ(TagManager::shared().palette()[1].background, Color::sRGB(0.7, 0.6, 0.5, 0.95));

  // Once the user closed the panel, the next action leaves it closed.
  panel.orderOut();
  button(*editor, "+ Add Color")->performClick();
  EXPECT_FALSE(panel.isVisible());
  EXPECT_FALSE(panel.activeWell());
}

TEST_F(TagEditorTest, TheHexFieldSetsTheEntryAndKeepsItsText) {
  ColorPanel::shared().setShowsAlpha(false);
  auto hex = std::make_shared<HexAccessoryView>();
  ColorPanel::shared().setAccessoryView(hex);
  auto editor = makeEditor();
  well(*editor, 0)->activate();
  for (const char* text : {"#1E90FF", "#ff8800"}) {
    hex->hexField()->setStringValue(text);
    hex->hexEntered();
    EXPECT_EQ(hex->hexField()->stringValue(), text);
  }
  EXPECT_EQ(TagManager::shared().palette()[0].background,
            Color::sRGB(1, 136 / 255.0, 0, TagPalette::backgroundAlpha));
  EXPECT_EQ(well(*editor, 0)->color(), Color::sRGB(1, 136 / 255.0, 0));
}

TEST_F(TagEditorTest, FontShapeAndBigTagsApplyToExistingTags) {
  auto info = openWindow(Rect(200, 200, 500, 400));
  TagManager::shared().createTag(info);
  runUntilIdle();
  auto panel = TagManager::shared().tags().at(0).panel;
  auto editor = makeEditor();

  auto* fonts = all<PopUpButton>(*editor).at(0);
  fonts->selectItem(3);
  fonts->sendAction();
  EXPECT_EQ(defaults().object(TagDefaultsKeys::font), Value(3));
  EXPECT_EQ(panel->textField()->font(), nsFont(TagFont::helvetica, 11));

  auto* shapes = all<SegmentedControl>(*editor).at(0);
  shapes->setSelectedSegment(0);
  shapes->sendAction();
  EXPECT_EQ(defaults().object(TagDefaultsKeys::shape), Value(0));
  EXPECT_EQ(panel->contentView()->layer()->cornerRadius(), 13);

  button(*editor, "Big tags")->performClick();
  EXPECT_EQ(defaults().object(TagDefaultsKeys::bigTags), Value(true));
  EXPECT_TRUE(TagManager::shared().bigTags());
  EXPECT_EQ(panel->frame().height(), TagPanel::bigLayout.height);
  EXPECT_EQ(panel->contentView()->layer()->cornerRadius(), 21);
  EXPECT_EQ(button(*editor, "Big tags")->state(), ControlState::on);

  // A selection outside the cases changes nothing.
  SegmentedControl none;
  editor->shapeChanged(none);
  PopUpButton empty;
  editor->fontChanged(empty);
  EXPECT_EQ(TagManager::shared().tagShape(), TagShape::pill);
  EXPECT_EQ(TagManager::shared().tagFont(), TagFont::helvetica);
}

struct RecordCase {
  const char* name;
  std::uint16_t code;
  std::uint64_t flags;
  std::uint16_t expectedCode;
  std::uint64_t expectedMods;
  const char* expectedTitle;
};

TEST_F(TagEditorTest, TheRecorderTakesTheFirstKeyWithAModifier) {
  using namespace ModifierFlag;
  const RecordCase cases[] = {
      {"control-option-K", keyK, control | option, keyK, control | option, "\u2303\u2325K"},
      {"command-shift-A", 0, command | shift | capsLock, 0, command | shift, "\u21e7\u2318A"},
      {"a plain key", keyK, 0, 50, control | shift, "\u2303\u21e7`"},
      {"Esc with a modifier", KeyCode::escape, control, 50, control | shift, "\u2303\u21e7`"},
      {"caps lock only", keyK, capsLock, 50, control | shift, "\u2303\u21e7`"},
      {"function only", 96, function | numericPad, 50, control | shift, "\u2303\u21e7`"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TagManager::shared().setHotkey(50, control | shift);
    auto editor = makeEditor();
    const auto monitors = app().monitorCount();
    editor->hotkeyButton()->performClick();
    EXPECT_EQ(editor->hotkeyButton()->title(), "Press shortcut...");
    EXPECT_FALSE(editor->hotkeyButton()->isEnabled());
    EXPECT_EQ(app().monitorCount(), monitors + 1);

    EXPECT_FALSE(sendKey(c.code, c.flags)) << "the key is consumed";
    EXPECT_EQ(TagManager::shared().hotkeyCode(), c.expectedCode);
    EXPECT_EQ(TagManager::shared().hotkeyModifiers(), c.expectedMods);
    EXPECT_EQ(app().monitorCount(), monitors);
    EXPECT_EQ(editor->hotkeyButton()->title(), c.expectedTitle);
    EXPECT_TRUE(editor->hotkeyButton()->isEnabled());
    EXPECT_TRUE(sendKey(c.code, c.flags)) << "only the first key";
  }
  // Registered at once, in the hot-key bits.
  ASSERT_EQ(desktop().hotKeys().registrations().size(), 1u);
  EXPECT_EQ(desktop().hotKeys().registrations()[0].keyCode, 50u);
}

TEST_F(TagEditorTest, ARecordedCombinationIsRegisteredAndPressingItStartsAPick) {
  auto editor = makeEditor();
  editor->hotkeyButton()->performClick();
  sendKey(keyK, ModifierFlag::control | ModifierFlag::option);
  const auto& regs = desktop().hotKeys().registrations();
  ASSERT_EQ(regs.size(), 1u);
  EXPECT_EQ(regs[0].keyCode, keyK);
  EXPECT_EQ(regs[0].modifiers, HotKeyModifier::control | HotKeyModifier::option);
  EXPECT_EQ(defaults().object(TagDefaultsKeys::hotkeyCode), Value(keyK));
  EXPECT_EQ(defaults().object(TagDefaultsKeys::hotkeyMods), Value(0xC0000));
}

TEST_F(TagEditorTest, AnEditorClosedWhileRecordingRemovesItsMonitor) {
  auto editor = makeEditor();
  const auto monitors = app().monitorCount();
  editor->hotkeyButton()->performClick();
  ASSERT_TRUE(editor->isRecordingHotkey());
  // A rebuild meanwhile keeps waiting for the combination.
  button(*editor, "+ Add Color")->performClick();
  EXPECT_EQ(editor->hotkeyButton()->title(), "Press shortcut...");
  editor.reset();
  EXPECT_EQ(app().monitorCount(), monitors);
  EXPECT_TRUE(sendKey(keyK, ModifierFlag::control)) << "the next key is not swallowed";
  EXPECT_EQ(TagManager::shared().hotkeyCode(), 50);
}

TEST_F(TagEditorTest, ClearForgetsTheHotkeyAndShowsNone) {
  auto editor = makeEditor();
  ASSERT_TRUE(button(*editor, "Clear"));
  EXPECT_DOUBLE_EQ(button(*editor, "Clear")->frame().x(),
                   editor->hotkeyButton()->frame().maxX() + 6);
  EXPECT_GE(editor->hotkeyButton()->frame().width(), 100);
  button(*editor, "Clear")->performClick();
  EXPECT_EQ(editor->hotkeyButton()->title(), "None");
  EXPECT_FALSE(button(*editor, "Clear"));
  EXPECT_FALSE(defaults().object(TagDefaultsKeys::hotkeyCode));
  EXPECT_TRUE(desktop().hotKeys().registrations().empty());
}

TEST_F(TagEditorTest, ATakenDefaultLeadsTheUserToAHighlightedHotkeyButton) {
  desktop().hotKeys().takeCombination(50, HotKeyModifier::control | HotKeyModifier::shift);
  auto editor = TagEditorView::make();
  desktop().respondToNextAlert(ModalResponse::firstButton);
  runUntilIdle();
  ASSERT_EQ(desktop().alerts().size(), 1u);
  EXPECT_EQ(log->count("settings.showWindow"), 2);
  auto* highlight = editor->subviews().front().get();
  Rect b = editor->hotkeyButton()->frame();
  EXPECT_EQ(highlight->frame(), Rect(b.x() - 8, b.y() - 6, b.width() + 16, b.height() + 12));
  EXPECT_EQ(highlight->layer()->backgroundColor(), Color::systemYellow().withAlphaComponent(0.25));
  EXPECT_EQ(highlight->layer()->cornerRadius(), 6);
  const auto count = editor->subviews().size();
  advance(1.2);
  EXPECT_EQ(editor->subviews().size(), count - 1);

  // Recording another taken combination stores it but registers nothing, quietly.
  desktop().hotKeys().takeCombination(keyK, HotKeyModifier::control | HotKeyModifier::option);
  editor->hotkeyButton()->performClick();
  sendKey(keyK, ModifierFlag::control | ModifierFlag::option);
  EXPECT_EQ(TagManager::shared().hotkeyCode(), keyK);
  EXPECT_FALSE(TagManager::shared().isHotkeyRegistered());
  runUntilIdle();
  EXPECT_EQ(desktop().alerts().size(), 1u);
}

TEST_F(TagEditorTest, BrokenStoredSettingsShowAsDefaultsAndAreNotWrittenBack) {
  struct Broken {
    const char* key;
    Value value;
  };
  const Broken broken[] = {
      {"flagrig.palette", Value("red")},
      {"flagrig.palette", Value(Value::Array{Value(Value::Array{Value("x"), Value(1)})})},
      {"flagrig.palette", Value(Value::Array{Value(Value::Array{1, 2, 3})})},
      {"flagrig.font", Value(Value::Array{})},
      {"flagrig.font", Value("bold")},
      {"flagrig.shape", Value(Value::Dictionary{})},
      {"flagrig.shape", Value("square-ish")},
      {"flagrig.bigTags", Value(Value::Array{})},
      {"flagrig.hotkeyCode", Value("K")},
      {"flagrig.hotkeyCode", Value(70000)},
      {"flagrig.hotkeyMods", Value(-5)},
  };
  for (const auto& b : broken) {
    SCOPED_TRACE(b.key);
    resetSharedInstances();
    defaults().removeObject(TagDefaultsKeys::hotkeyCode);
    defaults().removeObject(TagDefaultsKeys::hotkeyMods);
    defaults().set(TagDefaultsKeys::hotkeyFirstLaunchSeeded, Value(true));
    defaults().set(b.key, b.value);
    auto editor = makeEditor();
    EXPECT_EQ(all<ColorWell>(*editor).size(), 16u);
    EXPECT_EQ(all<PopUpButton>(*editor).at(0)->indexOfSelectedItem(), 0);
    EXPECT_EQ(all<SegmentedControl>(*editor).at(0)->selectedSegment(), 0);
    EXPECT_EQ(button(*editor, "Big tags")->state(), ControlState::off);
    EXPECT_EQ(editor->hotkeyButton()->title(), "None");
    EXPECT_EQ(defaults().object(b.key), b.value) << "opening the editor writes nothing";
    defaults().removeObject(b.key);
  }
  // A change writes only clean values.
  defaults().set(TagDefaultsKeys::palette,
                 Value(Value::Array{Value(Value::Array{7.0, -3.0, 0.5, 1e300, 0.0, 0.25, 9.0})}));
  resetSharedInstances();
  auto editor = makeEditor();
  button(*editor, "+ Add Color")->performClick();
  EXPECT_EQ(storedPalette(),
            (std::vector<std::vector<double>>{{1, 0, 0.5, 1, 0, 0.25}, {0.5, 0.5, 0.5, 1, 1, 1}}));
}

}  // namespace
}  // namespace flagrig
