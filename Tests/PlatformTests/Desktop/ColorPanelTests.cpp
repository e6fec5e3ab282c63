#include "Platform/Desktop/ColorPanel.h"

#include <gtest/gtest.h>

#include "Platform/Desktop/ColorWell.h"
#include "Platform/Desktop/TextField.h"
#include "Platform/Foundation/NotificationCenter.h"
#include "Support/SimTest.h"

namespace platform {
namespace {

class ColorPanelTest : public testing::SimTest {
 protected:
  sim::SimDesktop& desktop() { return *sim().desktop; }
};

// Closing the window of the well the panel edits closes the panel too; closing any other
// window, or the panel itself, leaves the rest alone.
TEST_F(ColorPanelTest, ThePanelClosesWithTheWindowOfItsWell) {
  auto owner = std::make_shared<Window>(Rect(100, 100, 200, 100), StyleMask::titled);
  auto other = std::make_shared<Window>(Rect(400, 100, 200, 100), StyleMask::titled);
  auto well = std::make_shared<ColorWell>(Rect(28, 12, 28, 28));
  owner->contentView()->addSubview(well);
  owner->makeKeyAndOrderFront();
  other->orderFront();
  well->activate();
  auto& panel = ColorPanel::shared();
  ASSERT_TRUE(panel.isVisible());

  other->close();
  EXPECT_TRUE(panel.isVisible()) << "another window closed";
  EXPECT_TRUE(well->isActive());

  owner->close();
  EXPECT_FALSE(panel.isVisible());
  EXPECT_FALSE(well->isActive());
  EXPECT_EQ(panel.activeWell(), nullptr);
  // A colour chosen later reaches no well of the closed window.
  Color before = well->color();
  panel.setColor(Color::sRGB(0.9, 0.1, 0.1));
  EXPECT_EQ(well->color(), before);

  // Shown again by the well, the panel closed by the user keeps the window open.
  owner->makeKeyAndOrderFront();
  well->activate();
  panel.close();
  EXPECT_TRUE(owner->isVisible());
}

TEST_F(ColorPanelTest, TheActiveWellFollowsThePanelAndEveryChangeIsAnnounced) {
  std::vector<const void*> senders;
  env().notificationCenter->addObserver(
      std::string(ColorPanel::colorDidChangeNotification), nullptr, nullptr,
      [&](const Notification& n) { senders.push_back(n.object); });
  auto window = std::make_shared<Window>(Rect(100, 100, 200, 100), StyleMask::titled);
  auto background = std::make_shared<ColorWell>(Rect(28, 12, 28, 28));
  auto text = std::make_shared<ColorWell>(Rect(64, 12, 28, 28));
  background->setColor(Color::sRGB(0.24, 0.6, 0.9));
  std::vector<std::string> actions;
  background->setAction([&](Control&) { actions.push_back("bg"); });
  text->setAction([&](Control&) { actions.push_back("text"); });
  window->contentView()->addSubview(background);
  window->contentView()->addSubview(text);
  window->makeKeyAndOrderFront();

  // A click activates the well: the panel shows its colour without echoing it back.
  Rect content = window->contentRect();
  desktop().click({content.x() + 40, content.y() + 20});
  auto& panel = ColorPanel::shared();
  EXPECT_TRUE(background->isActive());
  EXPECT_TRUE(panel.isVisible());
  EXPECT_EQ(panel.color(), Color::sRGB(0.24, 0.6, 0.9));
  EXPECT_TRUE(actions.empty());

  // The user picks a translucent colour: without the opacity control it arrives opaque.
  panel.setShowsAlpha(false);
  desktop().chooseColorInPanel(Color::sRGB(1, 0.5, 0, 0.4));
  EXPECT_EQ(background->color(), Color::sRGB(1, 0.5, 0, 1));
  // Setting the panel's colour in code reaches the well too.
  panel.setColor(Color::sRGB(0.1, 0.2, 0.3));
  EXPECT_EQ(background->color(), Color::sRGB(0.1, 0.2, 0.3));
  EXPECT_EQ(actions, (std::vector<std::string>{"bg", "bg"}));

  // Activating another well deactivates the first.
  text->activate();
  EXPECT_FALSE(background->isActive());
  desktop().chooseColorInPanel(Color::white());
  EXPECT_EQ(actions.back(), "text");
  EXPECT_EQ(background->color(), Color::sRGB(0.1, 0.2, 0.3));
  EXPECT_EQ(senders.size(), 5u);
  EXPECT_EQ(senders.front(), static_cast<const void*>(&panel));
}

TEST_F(ColorPanelTest, KeepsItsPickerMaskAndAccessoryView) {
  ColorPanel::setPickerMask(ColorPanelMask::wheel);
  EXPECT_EQ(ColorPanel::pickerMask(), 64u);
  EXPECT_FALSE(ColorPanel::sharedExists());
  auto accessory = std::make_shared<View>(Rect(0, 0, 200, 28));
  accessory->addSubview(std::make_shared<TextField>(Rect(38, 3, 82, 22)));
  ColorPanel::shared().setAccessoryView(accessory);
  EXPECT_TRUE(ColorPanel::sharedExists());
  EXPECT_EQ(accessory->window(), &ColorPanel::shared());
  EXPECT_EQ(&ColorPanel::shared(), &ColorPanel::shared());
}

}  // namespace
}  // namespace platform
