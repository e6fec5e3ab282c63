#include "Platform/Desktop/Window.h"

#include <gtest/gtest.h>

#include "Platform/Desktop/Application.h"
#include "Platform/Desktop/Panel.h"
#include "Platform/Desktop/TextField.h"
#include "Platform/Foundation/NotificationCenter.h"
#include "Support/SimTest.h"

namespace platform {
namespace {

class WindowTest : public testing::SimTest {
 protected:
  sim::SimDesktop& desktop() { return *sim().desktop; }
  Application& app() { return Application::shared(); }
  std::vector<std::string> notifications;
  void watch(std::string_view name) {
    env().notificationCenter->addObserver(
        std::string(name), nullptr, nullptr,
        [this](const Notification& n) { notifications.push_back(n.name); });
  }
};

class KeyablePanel : public Panel {
 public:
  using Panel::Panel;
  bool canBecomeKey() const override { return true; }
};

TEST_F(WindowTest, TitledWindowsAddATitleBarAboveTheirContent) {
  auto titled =
      std::make_shared<Window>(Rect(10, 20, 460, 640), StyleMask::titled | StyleMask::closable);
  EXPECT_EQ(titled->frame(), Rect(10, 20, 460, 668));
  EXPECT_EQ(titled->contentRect(), Rect(10, 20, 460, 640));
  EXPECT_EQ(titled->contentView()->frame(), Rect(0, 0, 460, 640));
  // A new content size keeps the top-left corner.
  titled->setContentSize({500, 600});
  EXPECT_EQ(titled->frame(), Rect(10, 60, 500, 628));
  EXPECT_EQ(titled->contentView()->frame(), Rect(0, 0, 500, 600));

  auto borderless = std::make_shared<Window>(Rect(0, 0, 100, 26), StyleMask::borderless);
  EXPECT_EQ(borderless->frame(), Rect(0, 0, 100, 26));
  EXPECT_EQ(Window::frameRectForContentRect(Rect(0, 0, 10, 10),
                                            StyleMask::titled | StyleMask::fullSizeContentView),
            Rect(0, 0, 10, 10));
}

TEST_F(WindowTest, CentresOnTheVisibleFrameAndFindsItsScreen) {
  auto window = std::make_shared<Window>(Rect(0, 0, 460, 640), StyleMask::titled);
  window->center();
  // 1440 x 875 visible: a third of the free 207 points above the window, two thirds below.
  EXPECT_EQ(window->frame(), Rect(490, 138, 460, 668));

  desktop().setScreens({Rect(0, 0, 1440, 900), Rect(1440, 0, 1920, 1080)});
  window->setFrameOrigin({1300, 100});
  EXPECT_EQ(window->screen(), Screen::screens()[1]);
  window->setFrameOrigin({5000, 100});
  EXPECT_EQ(window->screen(), nullptr);
}

TEST_F(WindowTest, WhichWindowsCanBecomeKeyOrMain) {
  struct Case {
    const char* kind;
    std::shared_ptr<Window> window;
    bool key;
    bool main;
  };
  const Case cases[] = {
      {"titled window", std::make_shared<Window>(Rect(0, 0, 10, 10), StyleMask::titled), true,
       true},
      {"borderless window", std::make_shared<Window>(Rect(0, 0, 10, 10), StyleMask::borderless),
       false, false},
      {"titled panel", std::make_shared<Panel>(Rect(0, 0, 10, 10), StyleMask::titled), true, false},
      {"borderless panel",
       std::make_shared<Panel>(Rect(0, 0, 10, 10), StyleMask::nonactivatingPanel), false, false},
      {"panel that accepts",
       std::make_shared<KeyablePanel>(Rect(0, 0, 10, 10), StyleMask::nonactivatingPanel), true,
       false},
  };
  app().activate();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.kind);
    c.window->makeKeyAndOrderFront();
    EXPECT_EQ(c.window->isKeyWindow(), c.key);
    EXPECT_EQ(c.window->isMainWindow(), c.main);
    c.window->orderOut();
    EXPECT_FALSE(c.window->isKeyWindow());
    EXPECT_FALSE(c.window->isMainWindow());
  }
}

TEST_F(WindowTest, ANonActivatingPanelTakesTheKeyboardWithoutActivatingTheApplication) {
  auto& server = desktop().windowServer();
  auto other = server.launchApplication("Terminal");
  desktop().activateForeignApplication(other);
  watch(Window::didBecomeKeyNotification);
  watch(Window::didResignKeyNotification);
  watch(Application::didBecomeActiveNotification);

  auto panel = std::make_shared<KeyablePanel>(Rect(0, 0, 100, 26), StyleMask::nonactivatingPanel);
  panel->orderFrontRegardless();
  panel->makeKey();
  EXPECT_TRUE(panel->isKeyWindow());
  EXPECT_EQ(app().keyWindow(), panel);
  EXPECT_FALSE(app().isActive());
  EXPECT_TRUE(desktop().keyboardIsOurs());

  panel->resignKey();
  EXPECT_FALSE(panel->isKeyWindow());
  EXPECT_FALSE(desktop().keyboardIsOurs());
  EXPECT_EQ(notifications, (std::vector<std::string>{"WindowDidBecomeKey", "WindowDidResignKey"}));

  // A plain window made key while inactive becomes key only once the application is active.
  auto window = std::make_shared<Window>(Rect(0, 0, 100, 100), StyleMask::titled);
  window->makeKeyAndOrderFront();
  EXPECT_FALSE(window->isKeyWindow());
  app().activate();
  EXPECT_TRUE(window->isKeyWindow());
  desktop().activateForeignApplication(other);
  EXPECT_FALSE(window->isKeyWindow());
  EXPECT_EQ(app().keyWindow(), nullptr);
}

TEST_F(WindowTest, TheApplicationKeepsVisibleWindowsAliveUntilOrderedOut) {
  std::weak_ptr<Window> watched;
  std::uint32_t number;
  {
    auto window = std::make_shared<Window>(Rect(0, 0, 100, 100), StyleMask::titled);
    number = window->windowNumber();
    watched = window;
    window->orderFront();
  }
  ASSERT_FALSE(watched.expired());
  EXPECT_EQ(app().windowWithNumber(number), watched.lock());
  EXPECT_EQ(app().windows().size(), 1u);
  watched.lock()->orderOut();
  EXPECT_TRUE(watched.expired());
  EXPECT_TRUE(app().windows().empty());
  EXPECT_TRUE(desktop().windowServer().stackingOrder().empty());
}

TEST_F(WindowTest, ClosingTellsTheDelegateAndTheCentreThenHidesTheWindow) {
  struct Delegate : WindowDelegate {
    bool allow = false;
    std::vector<std::string> calls;
    bool windowShouldClose(Window&) override {
      calls.push_back("should");
      return allow;
    }
    void windowWillClose(Window&) override { calls.push_back("will"); }
  };
  auto delegate = std::make_shared<Delegate>();
  auto window =
      std::make_shared<Window>(Rect(0, 0, 100, 100), StyleMask::titled | StyleMask::closable);
  window->setDelegate(delegate);
  const void* object = nullptr;
  env().notificationCenter->addObserver(std::string(Window::willCloseNotification), window.get(),
                                        nullptr, [&](const Notification& n) { object = n.object; });
  window->makeKeyAndOrderFront();

  window->performClose();
  EXPECT_TRUE(window->isVisible());
  delegate->allow = true;
  window->performClose();
  EXPECT_FALSE(window->isVisible());
  EXPECT_EQ(delegate->calls, (std::vector<std::string>{"should", "should", "will"}));
  EXPECT_EQ(object, static_cast<const Window*>(window.get()));
  // The delegate is held weakly.
  delegate.reset();
  EXPECT_EQ(window->delegate(), nullptr);
}

TEST_F(WindowTest, PanelsHideWhileTheApplicationIsInactive) {
  app().activate();
  auto panel = std::make_shared<Panel>(Rect(0, 0, 100, 26), StyleMask::nonactivatingPanel);
  auto tag = std::make_shared<Panel>(Rect(0, 0, 100, 26), StyleMask::nonactivatingPanel);
  tag->setHidesOnDeactivate(false);
  panel->orderFront();
  tag->orderFront();
  auto other = desktop().windowServer().launchApplication("Finder");
  desktop().activateForeignApplication(other);
  EXPECT_FALSE(panel->isVisible());
  EXPECT_TRUE(tag->isVisible());
  app().activate();
  EXPECT_TRUE(panel->isVisible());
}

TEST_F(WindowTest, FirstResponderFollowsWhatViewsAccept) {
  auto window = std::make_shared<Window>(Rect(0, 0, 200, 100), StyleMask::titled);
  auto field = std::make_shared<TextField>(Rect(10, 10, 100, 22));
  auto label = TextField::labelWithString("Name");
  auto stranger = std::make_shared<TextField>();
  window->contentView()->addSubview(field);
  window->contentView()->addSubview(label);

  EXPECT_TRUE(window->makeFirstResponder(field));
  EXPECT_EQ(window->firstResponder(), field);
  EXPECT_TRUE(field->isEditing());
  EXPECT_FALSE(window->makeFirstResponder(label));
  EXPECT_FALSE(window->makeFirstResponder(stranger));
  EXPECT_EQ(window->firstResponder(), nullptr);
  EXPECT_FALSE(field->isEditing());

  window->makeFirstResponder(field);
  field->removeFromSuperview();
  EXPECT_EQ(window->firstResponder(), nullptr);
  EXPECT_FALSE(field->isEditing());
}

}  // namespace
}  // namespace platform
