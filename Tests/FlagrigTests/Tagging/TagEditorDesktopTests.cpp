// The tag appearance editor on a real X desktop: drawn by the Qt backend, driven with xdotool.
#include <gtest/gtest.h>

#include <string>

#include "Flagrig/Tagging/HexAccessoryView.h"
#include "Flagrig/Tagging/TagEditorView.h"
#include "Flagrig/Tagging/TagManager.h"
#include "Flagrig/Tagging/TagPalette.h"
#include "Flagrig/Tagging/TagPanel.h"
#include "Flagrig/Tagging/WindowPicker.h"
#include "Platform/Desktop/Button.h"
#include "Platform/Desktop/ColorPanel.h"
#include "Platform/Desktop/ColorWell.h"
#include "Platform/Desktop/SegmentedControl.h"
#include "Platform/Desktop/TextField.h"
#include "Platform/Desktop/Window.h"
#include "PlatformTests/Linux/Qt/QtDesktopTest.h"

namespace flagrig {
namespace {

using namespace platform;

class TagEditorDesktopTest : public platform::testing::QtDesktopTest {
 protected:
  // The root (X screen) position of a point of a view, in the view's own coordinates.
  std::pair<int, int> rootPoint(const View& view, Point local) {
    Point inWindow = view.convertToWindow(local);
    Rect content = view.window()->contentRect();
    Rect root = desktop().toRoot(Rect(content.x() + inWindow.x, content.y() + inWindow.y, 0, 0));
    return {static_cast<int>(root.x()), static_cast<int>(root.y())};
  }
  bool click(const View& view, Point local) {
    auto [x, y] = rootPoint(view, local);
    return xdotool({"mousemove", std::to_string(x), std::to_string(y), "click", "1"});
  }
  bool clickCentre(const View& view) {
    return click(view, {view.bounds().width() / 2, view.bounds().height() / 2});
  }
  template <class T>
  T* find(View& parent, const std::function<bool(T&)>& matches) {
    for (const auto& v : parent.subviews())
      if (auto* t = dynamic_cast<T*>(v.get()); t && matches(*t)) return t;
    return nullptr;
  }
  Button* button(std::string_view title) {
    return find<Button>(*editor, [&](Button& b) { return b.title() == title; });
  }
  ColorWell* well(long tag) {
    return find<ColorWell>(*editor, [&](ColorWell& w) { return w.tag() == tag; });
  }
  QColor pixelOf(const QImage& shot, const View& view, Point local) {
    auto [x, y] = rootPoint(view, local);
    return shot.pixelColor(x, y);
  }

  std::shared_ptr<Window> window;
  std::shared_ptr<TagEditorView> editor;
};

TEST_F(TagEditorDesktopTest, EditingThePaletteShapeSizeAndHotkeyOnTheDesktop) {
  auto& panel = desktop().colorPanel();
  ColorPanel::setPickerMask(ColorPanelMask::wheel);
  panel.setShowsAlpha(false);
  auto hex = std::make_shared<HexAccessoryView>();
  panel.setAccessoryView(hex);

  pid_t xtermPid = 0;
  std::uint32_t xterm = startXterm("tagged-by-the-editor", 700, 300, &xtermPid);
  ASSERT_NE(xterm, 0u);
  auto& manager = TagManager::shared();
  manager.clearHotkey();
  ASSERT_TRUE(manager.createTag(WindowInfo{xterm, xtermPid, Rect(700, 300, 400, 200), "XTerm"}));
  auto tagPanel = manager.tags().at(0).panel;

  window =
      std::make_shared<Window>(Rect(80, 80, 420, 600), StyleMask::titled | StyleMask::closable);
  window->setTitle("Tag editor");
  window->setReleasedWhenClosed(false);
  editor = TagEditorView::make(Rect(0, 0, 420, 620));
  // As the settings form does: the editor's top stays at the top of the window while its height
  // follows the palette.
  auto place = [this] {
    editor->setFrameOrigin({0, window->contentView()->frame().height() - editor->frame().height()});
  };
  editor->onContentHeightChange = [place](double) { place(); };
  window->contentView()->addSubview(editor);
  window->makeKeyAndOrderFront();
  ASSERT_TRUE(runUntil([&] { return window->isVisible() && topLevelOf(window->windowNumber()); }));
  runFor(0.3);
  place();
  ASSERT_TRUE(xdotool({"windowactivate", "--sync", std::to_string(window->windowNumber())}));

  // The first row's preview in the palette's first colour.
  auto* firstWell = well(0);
  ASSERT_TRUE(firstWell);
  ASSERT_TRUE(runUntil([&] {
    QImage shot = screenshot("editor");
    return !shot.isNull() &&
           platform::testing::near(pixelOf(shot, *editor, {380, 20}), QColor(61, 153, 229), 30);
  })) << "the preview of the first entry is drawn";

  // "+ Add Color" adds a ninth entry.
  ASSERT_TRUE(clickCentre(*button("+ Add Color")));
  ASSERT_TRUE(runUntil([&] { return manager.palette().size() == 9; }));

  // Its background well opens the colour panel; the hex field sets the colour.
  ASSERT_TRUE(clickCentre(*well(16)));
  ASSERT_TRUE(runUntil([&] { return panel.isVisible() && topLevelOf(panel.windowNumber()); }));
  // The window manager may still be placing the panel after it was mapped: click its field
  // once it has held still for a moment.
  for (int tries = 0; tries < 40; ++tries) {
    auto [x0, y0] = rootPoint(*hex->hexField(), {0, 0});
    runFor(0.25);
    auto [x1, y1] = rootPoint(*hex->hexField(), {0, 0});
    if (x0 == x1 && y0 == y1) break;
  }
  ASSERT_TRUE(clickCentre(*hex->hexField()));
  ASSERT_TRUE(runUntil([&] { return hex->hexField()->isEditing(); }));
  // The field shows the well's colour; the user selects it all and types over it.
  ASSERT_TRUE(runUntil([&] { return hex->hexField()->stringValue() == "#7F7F7F"; }));
  ASSERT_TRUE(xdotool({"key", "ctrl+a"}));
  ASSERT_TRUE(xdotool({"type", "--delay", "30", "#E0301E"}));
  ASSERT_TRUE(xdotool({"key", "Return"}));
  const Color chosen = Color::sRGB(0xE0 / 255.0, 0x30 / 255.0, 0x1E / 255.0);
  ASSERT_TRUE(runUntil([&] {
    return manager.palette().size() == 9 &&
           manager.palette()[8].background ==
               chosen.withAlphaComponent(TagPalette::backgroundAlpha);
  })) << "the hex value reaches the ninth entry";
  ASSERT_TRUE(runUntil([&] {
    QImage shot = screenshot("editor-hex-colour");
    return !shot.isNull() && platform::testing::near(pixelOf(shot, *editor, {380, 8 * 40 + 20}),
                                                     QColor(224, 48, 30), 30);
  })) << "its preview shows the new colour";

  // Another shape and big tags: the tag on the xterm follows at once. (The floating colour
  // panel is closed first, as it may cover the editor.)
  panel.orderOut();
  ASSERT_TRUE(xdotool({"windowactivate", "--sync", std::to_string(window->windowNumber())}));
  auto* shapes = find<SegmentedControl>(*editor, [](SegmentedControl&) { return true; });
  ASSERT_TRUE(shapes);
  double squareX =
      shapes->widthForSegment(0) + shapes->widthForSegment(1) + shapes->widthForSegment(2) / 2;
  ASSERT_TRUE(click(*shapes, {squareX, shapes->bounds().height() / 2}));
  ASSERT_TRUE(runUntil([&] { return manager.tagShape() == TagShape::square; }));
  EXPECT_EQ(tagPanel->contentView()->layer()->cornerRadius(), 0);
  ASSERT_TRUE(click(*button("Big tags"), {7, 7}));
  ASSERT_TRUE(runUntil([&] { return manager.bigTags(); }));
  EXPECT_EQ(tagPanel->frame().height(), TagPanel::bigLayout.height);
  screenshot("editor-square-big");

  // Recording control-option-K registers it with the X server; pressing it starts a pick.
  ASSERT_TRUE(clickCentre(*editor->hotkeyButton()));
  ASSERT_TRUE(runUntil([&] { return editor->isRecordingHotkey(); }));
  ASSERT_TRUE(xdotool({"key", "ctrl+alt+k"}));
  ASSERT_TRUE(runUntil([&] { return manager.hotkeyCode() == 40; }));
  EXPECT_EQ(manager.hotkeyModifiers(), ModifierFlag::control | ModifierFlag::option);
  EXPECT_TRUE(manager.isHotkeyRegistered());
  EXPECT_EQ(editor->hotkeyButton()->title(), "\u2303\u2325K");
  screenshot("editor-hotkey-recorded");
  ASSERT_TRUE(xdotool({"key", "ctrl+alt+k"}));
  EXPECT_TRUE(runUntil([&] { return !WindowPicker::shared().overlays().empty(); }))
      << "the new hotkey starts a pick";
  screenshot("editor-hotkey-pick");
  WindowPicker::shared().dismiss();
  manager.clearHotkey();
  window->orderOut();
  panel.orderOut();
}

}  // namespace
}  // namespace flagrig
