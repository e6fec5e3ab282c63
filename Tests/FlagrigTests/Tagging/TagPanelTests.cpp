#include <gtest/gtest.h>

#include <memory>

#include "Flagrig/Tagging/TagPanel.h"
#include "Platform/Desktop/Application.h"
#include "Platform/Desktop/Button.h"
#include "Platform/Desktop/Event.h"
#include "Platform/Desktop/TextField.h"
#include "TaggingTest.h"

namespace flagrig {
namespace {

using namespace platform;

const Color blue = Color::sRGB(0.24, 0.6, 0.9, 0.95);

class TagPanelTest : public testing::TaggingTest {
 protected:
  std::shared_ptr<TagPanel> makePanel(bool big = false, TagShape shape = TagShape::pill,
                                      TagFont font = TagFont::system) {
    return std::make_shared<TagPanel>(blue, Color::white(), big, shape, font);
  }
  static View& body(TagPanel& p) { return *p.contentView(); }
  static View& dot(TagPanel& p) { return *body(p).subviews().front(); }
  static Button& closeButton(TagPanel& p) {
    return dynamic_cast<Button&>(*body(p).subviews().back());
  }
  // Checks every frame and radius against the layout of one size.
  static void expectLayout(TagPanel& p, bool big, double width, TagShape shape) {
    struct {
      double height, dotX, dotY, dotSide, labelX, labelY, labelHeight, fontSize, closeSide, closeY;
    } e = big ? decltype(e){42, 8, 13, 16, 32, 4, 28, 18, 20, 11}
              : decltype(e){26, 8, 7, 12, 26, 2, 18, 11, 16, 5};
    EXPECT_EQ(p.frame().size, (Size{width, e.height}));
    EXPECT_EQ(body(p).frame(), Rect(0, 0, width, e.height));
    EXPECT_EQ(body(p).layer()->cornerRadius(), tagCornerRadius(shape, big));
    EXPECT_EQ(dot(p).frame(), Rect(e.dotX, e.dotY, e.dotSide, e.dotSide));
    EXPECT_EQ(dot(p).layer()->cornerRadius(), e.dotSide / 2);
    EXPECT_EQ(p.textField()->frame(),
              Rect(e.labelX, e.labelY, width - e.labelX - 24, e.labelHeight));
    EXPECT_EQ(p.textField()->font()->pointSize(), e.fontSize);
    EXPECT_EQ(closeButton(p).frame(),
              Rect(width - e.closeSide - 6, e.closeY, e.closeSide, e.closeSide));
  }
};

TEST_F(TagPanelTest, BuildsTheBodyDotLabelAndCloseButtonForBothSizes) {
  struct Case {
    bool big;
    TagShape shape;
    TagFont font;
    const char* face;
  } cases[] = {{false, TagShape::pill, TagFont::system, ".SystemUI-Semibold"},
               {true, TagShape::pill, TagFont::menlo, "Menlo-Bold"},
               {false, TagShape::rounded, TagFont::mono, ".SystemUIMono-Semibold"},
               {true, TagShape::square, TagFont::monaco, "Monaco"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.face);
    auto panel = makePanel(c.big, c.shape, c.font);
    EXPECT_EQ(panel->big(), c.big);
    expectLayout(*panel, c.big, 100, c.shape);
    EXPECT_EQ(panel->textField()->font()->fontName(), c.face);

    // A borderless, non-activating, clear panel at the normal level on every Space.
    EXPECT_EQ(panel->styleMask(), StyleMask::nonactivatingPanel);
    EXPECT_TRUE(panel->isNonactivatingPanel());
    EXPECT_EQ(panel->level(), WindowLevel::normal);
    EXPECT_FALSE(panel->isOpaque());
    EXPECT_TRUE(panel->hasShadow());
    EXPECT_EQ(panel->backgroundColor(), Color::clear());
    EXPECT_FALSE(panel->hidesOnDeactivate());
    EXPECT_FALSE(panel->isMovableByWindowBackground());
    EXPECT_EQ(panel->collectionBehavior(), 257u);
    EXPECT_TRUE(panel->canBecomeKey());
    EXPECT_FALSE(panel->canBecomeMain());

    // Dot first, label, close button last.
    ASSERT_EQ(body(*panel).subviews().size(), 3u);
    EXPECT_EQ(body(*panel).subviews()[1], panel->textField());
    EXPECT_EQ(body(*panel).layer()->backgroundColor(), blue);
    EXPECT_TRUE(body(*panel).layer()->masksToBounds());
    EXPECT_EQ(dot(*panel).layer()->backgroundColor(), Color::white().withAlphaComponent(0.3));
    EXPECT_EQ(dot(*panel).gestureRecognizers().size(), 1u);

    const TextField& label = *panel->textField();
    EXPECT_EQ(label.textColor(), Color::white());
    EXPECT_FALSE(label.drawsBackground());
    EXPECT_FALSE(label.isBezeled());
    EXPECT_TRUE(label.isEditable());
    EXPECT_TRUE(label.isSelectable());
    EXPECT_EQ(label.focusRingType(), FocusRingType::none);
    EXPECT_TRUE(label.usesSingleLineMode());
    EXPECT_EQ(label.lineBreakMode(), LineBreakMode::byTruncatingTail);
    EXPECT_TRUE(label.truncatesLastVisibleLine());
    EXPECT_FALSE(label.hasAction());
    // An empty label shows the placeholder in the text colour at half opacity.
    EXPECT_EQ(label.stringValue(), "");
    EXPECT_EQ(label.placeholderAttributedString(),
              (AttributedString{"Label...", label.font(), Color::white().withAlphaComponent(0.5)}));

    Button& close = closeButton(*panel);
    EXPECT_EQ(close.title(), "\u00d7");
    EXPECT_FALSE(close.isBordered());
    EXPECT_EQ(close.font(), Font::boldSystemFont(14));
    EXPECT_EQ(close.contentTintColor(), Color::white().withAlphaComponent(0.6));
  }
}

TEST_F(TagPanelTest, ApplySizeReLaysThePanelWithoutMovingItsBottomLeftCorner) {
  auto panel = makePanel(false, TagShape::pill);
  panel->setFrame(Rect(300, 400, 180, 26));
  panel->applySize(true, TagFont::helvetica, TagShape::rounded);
  EXPECT_EQ(panel->frame().origin, (Point{300, 400}));
  expectLayout(*panel, true, 180, TagShape::rounded);
  EXPECT_TRUE(panel->big());
  EXPECT_EQ(panel->textField()->font()->fontName(), "HelveticaNeue-Bold");

  panel->applySize(false, TagFont::system, TagShape::square);
  EXPECT_EQ(panel->frame().origin, (Point{300, 400}));
  expectLayout(*panel, false, 180, TagShape::square);

  // Widening the panel keeps the label's right margin and the close button at the edge.
  panel->setFrame(Rect(300, 400, 240, 26));
  expectLayout(*panel, false, 240, TagShape::square);
}

TEST_F(TagPanelTest, ColourChangesRepaintEveryPartInBothSizes) {
  const Color green = Color::sRGB(0.3, 0.75, 0.45, 0.95);
  const Color ink = Color::sRGB(0.1, 0.1, 0.1);
  for (bool big : {false, true}) {
    SCOPED_TRACE(big ? "big" : "normal");
    auto panel = makePanel(big);
    panel->orderFront();
    int before = desktop().changeCount(panel->windowNumber());
    panel->setTagColor(green);
    EXPECT_EQ(panel->tagColor(), green);
    EXPECT_EQ(body(*panel).layer()->backgroundColor(), green);
    int afterBody = desktop().changeCount(panel->windowNumber());
    EXPECT_GT(afterBody, before);

    panel->setTagTextColor(ink);
    EXPECT_EQ(panel->tagTextColor(), ink);
    EXPECT_EQ(panel->textField()->textColor(), ink);
    EXPECT_EQ(panel->textField()->placeholderAttributedString(),
              (AttributedString{"Label...", Font::systemFont(big ? 18 : 11, FontWeight::semibold),
                                ink.withAlphaComponent(0.5)}));
    EXPECT_EQ(dot(*panel).layer()->backgroundColor(), ink.withAlphaComponent(0.3));
    EXPECT_EQ(closeButton(*panel).contentTintColor(), ink.withAlphaComponent(0.6));
    EXPECT_GT(desktop().changeCount(panel->windowNumber()), afterBody);
    // The body keeps its own colour, and nothing moves.
    EXPECT_EQ(body(*panel).layer()->backgroundColor(), green);
    expectLayout(*panel, big, 100, TagShape::pill);

    // A label without a font rebuilds the placeholder in the 11-point system font.
    panel->textField()->setFont(std::nullopt);
    panel->setTagTextColor(Color::white());
    EXPECT_EQ(panel->textField()->placeholderAttributedString()->font, Font::systemFont(11));
  }
}

TEST_F(TagPanelTest, ClicksOnTheDotAndTheCloseButtonRunTheCallbacks) {
  auto panel = makePanel();
  int cycles = 0, closes = 0;
  panel->setFrameOrigin({500, 500});
  panel->orderFrontRegardless();
  panel->onColorCycle = [&] { ++cycles; };
  panel->onClose = [&] { ++closes; };
  desktop().click({500 + 8 + 6, 500 + 7 + 6});
  EXPECT_EQ(cycles, 1);
  desktop().click({500 + 100 - 6 - 8, 500 + 13});
  EXPECT_EQ(closes, 1);
  EXPECT_EQ(cycles, 1);
  // Clicking the panel leaves the application inactive.
  EXPECT_FALSE(Application::shared().isActive());

  // Without callbacks the actions do nothing.
  panel->onClose = nullptr;
  panel->onColorCycle = nullptr;
  panel->closeTapped();
  panel->cycleColor();
}

TEST_F(TagPanelTest, EscEndsLabelEditingAndKeepsTheTextAndKeyStatus) {
  auto other = server().launchApplication("Terminal");
  desktop().activateForeignApplication(other);
  auto panel = makePanel();
  panel->orderFrontRegardless();
  panel->makeKey();
  ASSERT_TRUE(panel->makeFirstResponder(panel->textField()));
  desktop().type("Build");
  EXPECT_EQ(panel->textField()->stringValue(), "Build");
  EXPECT_TRUE(panel->textField()->isEditing());

  desktop().pressKey(KeyCode::escape);
  EXPECT_FALSE(panel->textField()->isEditing());
  EXPECT_EQ(panel->firstResponder(), nullptr);
  EXPECT_EQ(panel->textField()->stringValue(), "Build");
  EXPECT_TRUE(panel->isKeyWindow());
  EXPECT_TRUE(panel->isVisible());
  // Esc with nothing being edited leaves the panel open, unlike a plain panel.
  desktop().pressKey(KeyCode::escape);
  EXPECT_TRUE(panel->isVisible());
}

}  // namespace
}  // namespace flagrig
