// The main-menu sanitizer, the translocation notice and the colour panel's hex field.
#include <gtest/gtest.h>

#include "Flagrig/Shell/AppTranslocation.h"
#include "Flagrig/Shell/VoskaryMenuChrome.h"
#include "Flagrig/Tagging/HexAccessoryView.h"
#include "Platform/Desktop/Alert.h"
#include "Platform/Desktop/ColorPanel.h"
#include "Platform/Desktop/TextField.h"
#include "Platform/Foundation/Bundle.h"
#include "ShellTest.h"

namespace flagrig {
namespace {

using namespace platform;

std::shared_ptr<Menu> menuOf(std::vector<std::string> titles, std::string title = {}) {
  auto menu = std::make_shared<Menu>(std::move(title));
  for (auto& t : titles)
    menu->addItem(t == "---" ? MenuItem::separator() : std::make_shared<MenuItem>(t));
  return menu;
}

std::vector<std::string> titlesOf(const Menu& menu) {
  std::vector<std::string> titles;
  for (const auto& item : menu.items())
    titles.push_back(item->isSeparatorItem() ? "---" : item->title());
  return titles;
}

// Adds items when its menu is about to open, as a system delegate does.
class AddingDelegate : public MenuDelegate {
 public:
  void menuNeedsUpdate(Menu& menu) override {
    ++updates;
    menu.addItem(MenuItem::separator());
    menu.addItem(std::make_shared<MenuItem>("Writing Tools"));
    menu.addItem(std::make_shared<MenuItem>("Paste and Match Style"));
  }
  void menuWillOpen(Menu&) override { ++opens; }
  int updates = 0;
  int opens = 0;
};

class ChromeTest : public testing::ShellTest {
 protected:
  std::shared_ptr<Menu> installMainMenu() {
    auto main = std::make_shared<Menu>();
    auto add = [&](std::string title, std::shared_ptr<Menu> submenu) {
      auto item = std::make_shared<MenuItem>(title);
      item->setSubmenu(std::move(submenu));
      main->addItem(item);
    };
    add("Flagrig", menuOf({"About Flagrig", "---", "Services", "---", "Quit Flagrig"}));
    edit =
        menuOf({"Undo", "---", "Copy", "Paste", "---", "Start Dictation\u2026", "Emoji & Symbols"});
    edit->setDelegate(editDelegate);
    add("Edit", edit);
    add("Format", menuOf({"Font"}));
    add("Formatting", menuOf({"Bold"}));
    main->addItem(std::make_shared<MenuItem>("Format"));  // no submenu: kept
    app().setMainMenu(main);
    app().setServicesMenu(menuOf({"Services item"}));
    return main;
  }
  std::shared_ptr<Menu> edit;
  std::shared_ptr<AddingDelegate> editDelegate = std::make_shared<AddingDelegate>();
};

TEST_F(ChromeTest, SeparatorsAreTidied) {
  auto menu = menuOf({"---", "A", "---", "---", "B", "---"});
  VoskaryMenuChrome::tidySeparators(*menu);
  EXPECT_EQ(titlesOf(*menu), (std::vector<std::string>{"A", "---", "B"}));
  auto only = menuOf({"---", "---"});
  VoskaryMenuChrome::tidySeparators(*only);
  EXPECT_TRUE(only->items().empty());
}

TEST_F(ChromeTest, SanitizerStripsJunkAndTheFormatMenuAndKeepsTheRest) {
  auto main = installMainMenu();
  VoskaryMenuChrome::installSanitizer();
  EXPECT_TRUE(env().defaults->boolForKey("NSDisabledDictationMenuItem"));
  EXPECT_TRUE(env().defaults->boolForKey("NSDisabledCharacterPaletteMenuItem"));
  EXPECT_FALSE(app().servicesMenu());
  EXPECT_EQ(titlesOf(*main), (std::vector<std::string>{"Flagrig", "Edit", "Formatting", "Format"}));
  EXPECT_EQ(titlesOf(*edit), (std::vector<std::string>{"Undo", "---", "Copy", "Paste"}));
  EXPECT_EQ(titlesOf(*main->itemWithTitle("Flagrig")->submenu()),
            (std::vector<std::string>{"About Flagrig", "---", "Quit Flagrig"}));

  // Opening the submenu: its own delegate adds items first, then the junk goes again.
  ASSERT_TRUE(desktop().openMainMenu("Edit"));
  EXPECT_EQ(editDelegate->updates, 1);
  EXPECT_EQ(editDelegate->opens, 1);
  EXPECT_EQ(titlesOf(*edit), (std::vector<std::string>{"Undo", "---", "Copy", "Paste", "---",
                                                       "Paste and Match Style"}));
  desktop().closeMenus();

  // Passes again on the next turn, after 0.4 s and on activation; one wrapper per submenu.
  auto wrappers = VoskaryMenuChrome::sanitizers().size();
  EXPECT_EQ(wrappers, 3u);
  edit->addItem(std::make_shared<MenuItem>("AutoFill"));
  runUntilIdle();
  EXPECT_EQ(titlesOf(*edit).back(), "Paste and Match Style");
  edit->addItem(std::make_shared<MenuItem>("AutoFill"));
  advance(0.4);
  EXPECT_EQ(titlesOf(*edit).back(), "Paste and Match Style");
  edit->addItem(std::make_shared<MenuItem>("Services"));
  app().activate();
  runUntilIdle();
  EXPECT_EQ(titlesOf(*edit).back(), "Paste and Match Style");
  EXPECT_EQ(VoskaryMenuChrome::sanitizers().size(), wrappers);
}

TEST_F(ChromeTest, WrappersOfReplacedSubmenusAreDropped) {
  auto main = installMainMenu();
  VoskaryMenuChrome::sanitizeNow();
  auto wrappers = VoskaryMenuChrome::sanitizers().size();
  for (int i = 0; i < 20; ++i) {
    // The system replaces the Edit menu with a new one.
    main->itemWithTitle("Edit")->setSubmenu(menuOf({"Copy", "Emoji & Symbols"}));
    VoskaryMenuChrome::sanitizeNow();
  }
  EXPECT_EQ(VoskaryMenuChrome::sanitizers().size(), wrappers);
  EXPECT_EQ(titlesOf(*main->itemWithTitle("Edit")->submenu()), std::vector<std::string>{"Copy"});
}

TEST_F(ChromeTest, NoMainMenuIsFine) {
  VoskaryMenuChrome::installSanitizer();
  advance(1);
  EXPECT_TRUE(VoskaryMenuChrome::sanitizers().empty());
}

class TranslocationTest : public testing::ShellTest {
 protected:
  void runFrom(std::string path) {
    sim().environment->bundle =
        std::make_shared<Bundle>(env().bundle->infoDictionary(), path, "/tmp/none");
  }
};

TEST_F(TranslocationTest, NothingHappensOutsideATranslocatedLocation) {
  runFrom("/Applications/Flagrig.app");
  AppTranslocation::nudgeIfNeeded();
  advance(1);
  EXPECT_TRUE(desktop().alerts().empty());
  EXPECT_FALSE(env().defaults->object(AppTranslocation::warningShownKey));
}

TEST_F(TranslocationTest, WarnsOnceAfterAMomentAndCanRevealTheApp) {
  const std::string path = "/private/var/folders/xy/T/AppTranslocation/1A2B/d/Flagrig.app";
  runFrom(path);
  app().setActivationPolicy(ActivationPolicy::accessory);
  std::optional<ActivationPolicy> during;
  desktop().scriptNextAlert([&](Alert& alert) {
    during = app().activationPolicy();
    auto button = alert.buttons()[0];
    env().mainLoop->post([button] { button->performClick(); });
  });
  AppTranslocation::nudgeIfNeeded();
  EXPECT_TRUE(env().defaults->boolForKey(AppTranslocation::warningShownKey)) << "set before";
  advance(0.59);
  EXPECT_TRUE(desktop().alerts().empty());
  advance(0.02);
  ASSERT_EQ(desktop().alerts().size(), 1u);
  const auto& alert = desktop().alerts()[0];
  EXPECT_EQ(alert.message, "Move Flagrig to Applications");
  EXPECT_EQ(alert.informativeText,
            "Flagrig is running from a quarantined location. Automatic updates and permissions "
            "won't work reliably until you drag Flagrig to your Applications folder, then "
            "reopen.");
  EXPECT_EQ(alert.buttons, (std::vector<std::string>{"Reveal in Finder", "Later"}));
  EXPECT_EQ(during, ActivationPolicy::regular);
  EXPECT_EQ(app().activationPolicy(), ActivationPolicy::accessory);
  EXPECT_EQ(desktop().workspace().revealedFiles(), std::vector<std::vector<std::string>>{{path}});

  AppTranslocation::nudgeIfNeeded();
  advance(1);
  EXPECT_EQ(desktop().alerts().size(), 1u);
}

TEST_F(TranslocationTest, LaterRevealsNothing) {
  runFrom("/x/AppTranslocation/y/Flagrig.app");
  desktop().respondToNextAlert(ModalResponse::secondButton);
  AppTranslocation::nudgeIfNeeded();
  advance(1);
  EXPECT_EQ(desktop().alerts().size(), 1u);
  EXPECT_TRUE(desktop().workspace().revealedFiles().empty());
}

class HexFieldTest : public testing::ShellTest {
 protected:
  void SetUp() override {
    ShellTest::SetUp();
    view = std::make_shared<HexAccessoryView>();
  }
  std::shared_ptr<HexAccessoryView> view;
};

TEST_F(HexFieldTest, LayoutAndPlaceholder) {
  EXPECT_EQ(view->frame(), Rect(0, 0, 200, 28));
  EXPECT_EQ(view->hexField()->frame(), Rect(38, 3, 82, 22));
  EXPECT_EQ(view->hexField()->stringValue(), "");
  ASSERT_TRUE(view->hexField()->placeholderAttributedString());
  EXPECT_EQ(view->hexField()->placeholderAttributedString()->string, "#RRGGBB");
}

TEST_F(HexFieldTest, FollowsThePanelInUpperCase) {
  desktop().chooseColorInPanel(Color::sRGB(30 / 255.0, 144 / 255.0, 1));
  EXPECT_EQ(view->hexField()->stringValue(), "#1E90FF");
}

TEST_F(HexFieldTest, ATypedValueSetsThePanelAndStaysAsTyped) {
  for (const char* text : {"#1e90ff", " 1E90FF "}) {
    view->hexField()->setStringValue(text);
    view->hexField()->sendAction();
    EXPECT_EQ(ColorPanel::shared().color(), Color::sRGB(30 / 255.0, 144 / 255.0, 1)) << text;
    EXPECT_EQ(view->hexField()->stringValue(), text);
  }
  ColorPanel::shared().setColor(Color::black());
  for (const char* text : {"#12345", "blue", "#GGGGGG", ""}) {
    view->hexField()->setStringValue(text);
    view->hexField()->sendAction();
    EXPECT_EQ(ColorPanel::shared().color(), Color::black()) << text;
    EXPECT_EQ(view->hexField()->stringValue(), text);
  }
}

TEST_F(HexFieldTest, IgnoresOtherSenders) {
  view->hexField()->setStringValue("#000000");
  env().notificationCenter->post(std::string(ColorPanel::colorDidChangeNotification), this);
  EXPECT_EQ(view->hexField()->stringValue(), "#000000");
}

}  // namespace
}  // namespace flagrig
