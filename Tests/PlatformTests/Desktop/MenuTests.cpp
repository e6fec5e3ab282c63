#include "Platform/Desktop/Menu.h"

#include <gtest/gtest.h>

#include "Platform/Accessibility/Accessibility.h"
#include "Platform/Desktop/Application.h"
#include "Platform/Desktop/PopUpButton.h"
#include "Platform/Desktop/SegmentedControl.h"
#include "Platform/Desktop/StatusBar.h"
#include "Support/SimTest.h"

namespace platform {
namespace {

// Rebuilds its menu every time it opens, as a status menu listing live items does.
struct RebuildingDelegate : MenuDelegate {
  std::vector<std::string> chosen;
  std::vector<std::string> titles{"Safari"};
  int updates = 0, closes = 0;
  void menuNeedsUpdate(Menu& menu) override {
    ++updates;
    menu.removeAllItems();
    menu.addItem(std::make_shared<MenuItem>(
        "Tag a Window", [this](MenuItem&) { chosen.push_back("tag"); }, "t"));
    menu.addItem(MenuItem::separator());
    for (std::size_t i = 0; i < titles.size(); ++i) {
      auto item = std::make_shared<MenuItem>(titles[i], [this](MenuItem& sender) {
        chosen.push_back("window " + std::to_string(*sender.representedObject().asUInt()));
      });
      item->setRepresentedObject(Value(std::uint32_t(100 + i)));
      menu.addItem(item);
    }
    auto version = std::make_shared<MenuItem>("Flagrig 1.4.2");
    version->setEnabled(false);
    menu.addItem(version);
  }
  void menuDidClose(Menu&) override { ++closes; }
};

class MenuTest : public testing::SimTest {
 protected:
  sim::SimDesktop& desktop() { return *sim().desktop; }
  std::shared_ptr<StatusItem> makeStatusItem(const std::shared_ptr<MenuDelegate>& delegate) {
    auto item = StatusBar::system().statusItem(StatusItem::variableLength);
    auto image = Image::systemSymbol("tag.fill", "Flagrig");
    item->button()->setImage(image);
    auto menu = std::make_shared<Menu>();
    menu->setDelegate(delegate);
    item->setMenu(menu);
    return item;
  }
};

TEST_F(MenuTest, TheStatusMenuIsRebuiltEachTimeItOpens) {
  auto delegate = std::make_shared<RebuildingDelegate>();
  auto item = makeStatusItem(delegate);
  desktop().clickStatusItem();
  ASSERT_EQ(desktop().openMenu(), item->menu());
  EXPECT_EQ(item->menu()->numberOfItems(), 4u);
  EXPECT_TRUE(desktop().chooseMenuItem("Safari"));
  EXPECT_EQ(desktop().openMenu(), nullptr);
  EXPECT_EQ(delegate->closes, 1);

  delegate->titles = {"Notes", "Notes"};
  desktop().clickStatusItem();
  EXPECT_FALSE(desktop().chooseMenuItem("Safari"));
  EXPECT_FALSE(desktop().chooseMenuItem("Flagrig 1.4.2"));  // disabled
  EXPECT_FALSE(desktop().chooseMenuItem(""));               // the separator
  EXPECT_TRUE(desktop().chooseMenuItem("Tag a Window"));
  EXPECT_EQ(delegate->updates, 2);
  EXPECT_EQ(delegate->chosen, (std::vector<std::string>{"window 100", "tag"}));
  EXPECT_EQ(item->menu()->itemAt(0)->keyEquivalent(), "t");
  EXPECT_EQ(item->menu()->itemAt(0)->keyEquivalentModifierMask(), ModifierFlag::command);
}

TEST_F(MenuTest, AccessibilityPressesTheStatusItemUnlessTheMenuBarHidesIt) {
  auto delegate = std::make_shared<RebuildingDelegate>();
  desktop().accessibility().setTrusted(true);
  auto& ax = Accessibility::shared();
  auto self = ax.createApplication(desktop().windowServer().ownPID());
  AXValue extras;
  EXPECT_EQ(ax.copyAttributeValue(self, AXAttribute::extrasMenuBar, extras), AXError::noValue);

  auto item = makeStatusItem(delegate);
  ASSERT_EQ(ax.copyAttributeValue(self, AXAttribute::extrasMenuBar, extras), AXError::success);
  AXValue children;
  ASSERT_EQ(ax.copyAttributeValue(extras.asElement(), AXAttribute::children, children),
            AXError::success);
  auto elements = children.asElementArray();
  ASSERT_TRUE(elements && elements->size() == 1);
  EXPECT_EQ(ax.performAction((*elements)[0], AXAction::press), AXError::success);
  EXPECT_EQ(desktop().openMenu(), item->menu());
  EXPECT_EQ(delegate->updates, 1);
  desktop().closeMenus();

  desktop().setStatusItemsHiddenByMenuBar(true);
  ax.copyAttributeValue(extras.asElement(), AXAttribute::children, children);
  EXPECT_TRUE(children.asArray()->empty());
  EXPECT_EQ(ax.performAction((*elements)[0], AXAction::press), AXError::invalidUIElement);
  EXPECT_EQ(desktop().openMenu(), nullptr);
}

TEST_F(MenuTest, MainMenuSubmenusAskTheirDelegateAsTheyOpen) {
  auto main = std::make_shared<Menu>();
  auto edit = std::make_shared<Menu>("Edit");
  auto editItem = std::make_shared<MenuItem>("Edit");
  editItem->setSubmenu(edit);
  main->addItem(editItem);
  EXPECT_EQ(edit->supermenu(), main.get());
  Application::shared().setMainMenu(main);

  struct Counting : MenuDelegate {
    int updates = 0;
    void menuNeedsUpdate(Menu& menu) override {
      ++updates;
      if (menu.numberOfItems() == 0) menu.addItem(std::make_shared<MenuItem>("Start Dictation…"));
    }
  };
  auto delegate = std::make_shared<Counting>();
  edit->setDelegate(delegate);
  EXPECT_TRUE(desktop().openMainMenu("Edit"));
  EXPECT_TRUE(desktop().openMainMenu("Edit"));
  EXPECT_FALSE(desktop().openMainMenu("Format"));
  EXPECT_EQ(delegate->updates, 2);
  EXPECT_EQ(edit->numberOfItems(), 1u);
  // The delegate is held weakly.
  delegate.reset();
  EXPECT_EQ(edit->delegate(), nullptr);
  main->removeItem(*editItem);
  EXPECT_EQ(edit->supermenu(), nullptr);
  EXPECT_EQ(editItem->menu(), nullptr);
}

TEST_F(MenuTest, PopUpButtonsAndSegmentedControlsSelectWhatTheUserClicks) {
  Application::shared().activate();
  auto window = std::make_shared<Window>(Rect(0, 0, 400, 200), StyleMask::titled);
  std::vector<std::string> actions;
  auto fonts = std::make_shared<PopUpButton>(Rect(84, 100, 160, 24));
  fonts->addItems({"System", "SF Mono", "Menlo"});
  fonts->selectItem(1);
  fonts->setAction([&](Control& sender) {
    actions.push_back(static_cast<PopUpButton&>(sender).titleOfSelectedItem());
  });
  auto shapes = SegmentedControl::withLabels(
      {"Pill", "Rounded", "Square"}, SegmentTracking::selectOne, [&](Control& sender) {
        auto& s = static_cast<SegmentedControl&>(sender);
        actions.push_back(s.label(static_cast<std::size_t>(s.selectedSegment())));
      });
  shapes->setControlSize(ControlSize::small);
  shapes->sizeToFit();
  shapes->setFrameOrigin({84, 20});
  window->contentView()->addSubview(fonts);
  window->contentView()->addSubview(shapes);
  window->makeKeyAndOrderFront();
  Rect content = window->contentRect();

  desktop().click({content.x() + 100, content.y() + 110});
  ASSERT_EQ(desktop().openMenu(), fonts->menu());
  EXPECT_TRUE(desktop().chooseMenuItem("Menlo"));
  EXPECT_EQ(fonts->indexOfSelectedItem(), 2);

  // Small segments of 11-point labels: "Pill" 22+16 = 38, "Rounded" 39+16 = 55, "Square" 49.
  EXPECT_EQ(shapes->frame().size, (Size{38 + 55 + 49, 20}));
  desktop().click({content.x() + 84 + 38 + 55 + 10, content.y() + 25});
  desktop().click({content.x() + 84 + 5, content.y() + 25});
  EXPECT_EQ(shapes->selectedSegment(), 0);
  EXPECT_EQ(actions, (std::vector<std::string>{"Menlo", "Square", "Pill"}));
}

}  // namespace
}  // namespace platform
