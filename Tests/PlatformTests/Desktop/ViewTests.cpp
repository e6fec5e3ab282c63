#include "Platform/Desktop/View.h"

#include <gtest/gtest.h>

#include "Platform/Desktop/Panel.h"
#include "Support/SimTest.h"

namespace platform {
namespace {

using ViewTest = testing::SimTest;

class FlippedView : public View {
 public:
  using View::View;
  bool isFlipped() const override { return true; }
};

TEST_F(ViewTest, KeepsSubviewsInOrderAndRetainsThem) {
  auto root = std::make_shared<View>(Rect(0, 0, 100, 100));
  auto a = std::make_shared<View>(), b = std::make_shared<View>(), c = std::make_shared<View>();
  std::weak_ptr<View> watch = a;
  root->addSubview(a);
  root->addSubview(c);
  root->addSubview(b, SubviewPosition::below, c.get());
  auto bottom = std::make_shared<View>();
  root->addSubview(bottom, SubviewPosition::below);
  EXPECT_EQ(root->subviews(), (std::vector<std::shared_ptr<View>>{bottom, a, b, c}));
  EXPECT_EQ(b->superview(), root.get());

  // Moving a view to another superview takes it out of the first.
  auto other = std::make_shared<View>();
  other->addSubview(b);
  EXPECT_EQ(root->subviews(), (std::vector<std::shared_ptr<View>>{bottom, a, c}));

  a.reset();
  EXPECT_FALSE(watch.expired());
  root->removeAllSubviews();
  EXPECT_TRUE(watch.expired());
  EXPECT_EQ(c->superview(), nullptr);
  EXPECT_THROW(c->addSubview(c), ProgrammingError);
}

TEST_F(ViewTest, HitTestingAndConversionFollowFramesAndFlippedViews) {
  // A flipped 200 x 100 view with a child 10 below its top edge.
  auto root = std::make_shared<FlippedView>(Rect(0, 0, 200, 100));
  auto child = std::make_shared<View>(Rect(20, 10, 50, 30));
  auto grandchild = std::make_shared<View>(Rect(5, 5, 10, 10));
  root->addSubview(child);
  child->addSubview(grandchild);

  // In the unflipped window, the child spans y 60-90.
  EXPECT_EQ(child->convertToWindow(Point{0, 0}), (Point{20, 60}));
  EXPECT_EQ(child->convertFromWindow(Point{20, 60}), (Point{0, 0}));
  EXPECT_EQ(grandchild->convertToWindow(Rect(0, 0, 10, 10)), Rect(25, 65, 10, 10));

  EXPECT_EQ(root->hitTest({60, 80}), child.get());
  EXPECT_EQ(root->hitTest({27, 67}), grandchild.get());
  EXPECT_EQ(root->hitTest({30, 20}), root.get());
  EXPECT_EQ(root->hitTest({300, 20}), nullptr);
  // The later sibling is on top; hidden views take no clicks.
  auto cover = std::make_shared<View>(Rect(0, 0, 200, 100));
  root->addSubview(cover);
  EXPECT_EQ(root->hitTest({27, 67}), cover.get());
  cover->setHidden(true);
  EXPECT_EQ(root->hitTest({27, 67}), grandchild.get());
}

TEST_F(ViewTest, AutoresizingSharesTheChangeAmongTheFlexibleParts) {
  using namespace AutoresizingMask;
  struct Case {
    std::uint32_t mask;
    Rect after;
  };
  // Child at (10, 5, 80, 16) in a 100 x 26 parent that grows to 150 x 42.
  const Case cases[] = {
      {none, Rect(10, 5, 80, 16)},
      {widthSizable | heightSizable, Rect(10, 5, 130, 32)},
      {minXMargin, Rect(60, 5, 80, 16)},
      {maxXMargin, Rect(10, 5, 80, 16)},
      // Margin 10 and width 80 share the 50 points in proportion.
      {minXMargin | widthSizable, Rect(10 + 50.0 * 10 / 90, 5, 80 + 50.0 * 80 / 90, 16)},
      {minYMargin | maxYMargin, Rect(10, 13, 80, 16)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.mask);
    auto parent = std::make_shared<View>(Rect(0, 0, 100, 26));
    auto child = std::make_shared<View>(Rect(10, 5, 80, 16));
    child->setAutoresizingMask(c.mask);
    parent->addSubview(child);
    parent->setFrameSize({150, 42});
    EXPECT_EQ(child->frame(), c.after);
  }
}

TEST_F(ViewTest, ReportsChangesThroughItsWindow) {
  auto panel = std::make_shared<Panel>(Rect(0, 0, 100, 26), StyleMask::nonactivatingPanel);
  auto view = std::make_shared<View>(Rect(0, 0, 10, 10));
  view->setWantsLayer(true);
  view->layer()->setBackgroundColor(Color::white());  // not in a window yet: nobody to tell
  int before = sim().desktop->changeCount(panel->windowNumber());
  panel->contentView()->addSubview(view);
  view->layer()->setCornerRadius(5);
  view->setAlphaValue(0.5);
  EXPECT_EQ(sim().desktop->changeCount(panel->windowNumber()), before + 3);
  EXPECT_EQ(view->layer()->backgroundColor(), Color::white());
  EXPECT_EQ(view->window(), panel.get());
  view->removeFromSuperview();
  EXPECT_EQ(view->window(), nullptr);
}

TEST_F(ViewTest, AlphaAnimationSetsTheValueAndCompletesAfterItsDuration) {
  auto view = std::make_shared<View>();
  bool done = false;
  view->animateAlpha(0, 1.2, [&] { done = true; });
  EXPECT_EQ(view->alphaValue(), 0);
  advance(1.1);
  EXPECT_FALSE(done);
  advance(0.1);
  EXPECT_TRUE(done);
}

class CrosshairView : public View {
 public:
  using View::View;
  void resetCursorRects() override { addCursorRect(bounds(), Cursor::crosshair); }
};

TEST_F(ViewTest, CursorRectanglesDecideThePointersShape) {
  auto overlay = std::make_shared<Window>(Rect(100, 100, 200, 200), StyleMask::borderless);
  overlay->contentView()->addSubview(std::make_shared<CrosshairView>(Rect(0, 0, 100, 200)));
  overlay->orderFrontRegardless();
  EXPECT_EQ(sim().desktop->cursorAt({150, 150}), Cursor::crosshair);
  EXPECT_EQ(sim().desktop->cursorAt({250, 150}), Cursor::arrow);
  EXPECT_EQ(sim().desktop->cursorAt({50, 50}), Cursor::arrow);
}

}  // namespace
}  // namespace platform
