#include "Platform/Desktop/DesktopCoordinates.h"

#include <gtest/gtest.h>

#include "Platform/Desktop/Screen.h"
#include "Support/SimTest.h"

namespace platform {
namespace {

using DesktopCoordinatesTest = testing::SimTest;

std::vector<std::shared_ptr<Screen>> screensAt(std::initializer_list<Rect> frames) {
  std::vector<std::shared_ptr<Screen>> screens;
  for (const Rect& f : frames) screens.push_back(std::make_shared<Screen>(f, f));
  return screens;
}

TEST_F(DesktopCoordinatesTest, ConvertsWithTheTopOfTheUnionOfAllScreens) {
  struct Case {
    const char* layout;
    std::vector<std::shared_ptr<Screen>> screens;
    Rect union_;
    Point screenPoint;
    Point windowListPoint;
  };
  const Case cases[] = {
      {"one screen",
       screensAt({Rect(0, 0, 1440, 900)}),
       Rect(0, 0, 1440, 900),
       {10, 890},
       {10, 10}},
      // The right-hand screen is taller and reaches 80 points above the primary one.
      {"side by side",
       screensAt({Rect(0, 0, 1440, 900), Rect(1440, -100, 1920, 1080)}),
       Rect(0, -100, 3360, 1080),
       {1500, 900},
       {1500, 80}},
      {"left of the primary",
       screensAt({Rect(0, 0, 1440, 900), Rect(-1280, 0, 1280, 800)}),
       Rect(-1280, 0, 2720, 900),
       {-100, 100},
       {-100, 800}},
      {"one above the other",
       screensAt({Rect(0, 0, 1440, 900), Rect(0, 900, 1920, 1080)}),
       Rect(0, 0, 1920, 1980),
       {0, 0},
       {0, 1980}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.layout);
    EXPECT_EQ(DesktopCoordinates::desktopBounds(c.screens), c.union_);
    auto coordinates = DesktopCoordinates::forScreens(c.screens);
    ASSERT_TRUE(coordinates);
    EXPECT_EQ(coordinates->toWindowList(c.screenPoint), c.windowListPoint);
    EXPECT_EQ(coordinates->toScreen(c.windowListPoint), c.screenPoint);
  }
}

TEST_F(DesktopCoordinatesTest, RectanglesSwapTheirTopAndBottomEdges) {
  // A screen above the primary one: the window-list origin is the upper screen's top-left.
  auto coordinates =
      *DesktopCoordinates::forScreens(screensAt({Rect(0, 0, 1440, 900), Rect(0, 900, 1920, 1080)}));
  Rect onUpperScreen(100, 80, 400, 300);  // window-list coordinates, 80 below the very top
  Rect screenRect = coordinates.toScreen(onUpperScreen);
  EXPECT_EQ(screenRect, Rect(100, 1980 - 80 - 300, 400, 300));
  EXPECT_EQ(coordinates.toWindowList(screenRect), onUpperScreen);
  // The window's top edge in screen coordinates is the desktop top minus its window-list y.
  EXPECT_EQ(screenRect.maxY(), coordinates.desktopTop() - onUpperScreen.y());
}

TEST_F(DesktopCoordinatesTest, FollowsTheInstalledScreensAndNeedsAtLeastOne) {
  EXPECT_EQ(DesktopCoordinates::current()->desktopTop(), 900);
  sim().desktop->setScreens({Rect(0, 0, 1440, 900), Rect(0, 900, 1440, 900)});
  EXPECT_EQ(DesktopCoordinates::current()->desktopTop(), 1800);
  sim().desktop->setScreens(std::vector<Rect>{});
  EXPECT_FALSE(DesktopCoordinates::current());
  EXPECT_FALSE(DesktopCoordinates::desktopBounds({}));
  EXPECT_EQ(Screen::main(), nullptr);
}

TEST_F(DesktopCoordinatesTest, TheDefaultScreenHasAMenuBar) {
  auto screens = Screen::screens();
  ASSERT_EQ(screens.size(), 1u);
  EXPECT_EQ(screens[0]->frame(), Rect(0, 0, 1440, 900));
  EXPECT_EQ(screens[0]->visibleFrame(), Rect(0, 0, 1440, 875));
  EXPECT_EQ(Screen::main(), screens[0]);
}

}  // namespace
}  // namespace platform
