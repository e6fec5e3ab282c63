#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "Flagrig/Tagging/TagNotifications.h"
#include "Flagrig/Tagging/WindowPicker.h"
#include "Platform/Desktop/Application.h"
#include "Platform/Desktop/Event.h"
#include "Platform/Desktop/Screen.h"
#include "Platform/Desktop/TextField.h"
#include "Platform/Foundation/ProcessInfo.h"
#include "Platform/WindowServer/WindowList.h"
#include "Platform/WindowServer/WindowServer.h"
#include "TaggingTest.h"

namespace flagrig {
namespace {

using namespace platform;

class WindowPickerTest : public testing::TaggingTest {
 protected:
  void SetUp() override {
    TaggingTest::SetUp();
    cancels = std::make_unique<testing::PostCounter>(flagrigWindowPickCancelled);
  }
  void TearDown() override {
    cancels.reset();
    TaggingTest::TearDown();
  }
  WindowPicker& picker() { return WindowPicker::shared(); }
  void beginPick() {
    picker().beginPick([this](const WindowInfo& info) { picked.push_back(info); });
  }
  // A click at a window-list point.
  void clickAt(Point listPoint) { desktop().click(toScreen(listPoint)); }
  void expectIdle() {
    EXPECT_TRUE(picker().overlays().empty());
    EXPECT_EQ(picker().instructionPanel(), nullptr);
    EXPECT_FALSE(picker().hasKeyMonitors());
    EXPECT_FALSE(picker().hasCompletion());
  }

  std::vector<WindowInfo> picked;
  std::unique_ptr<testing::PostCounter> cancels;
};

TEST_F(WindowPickerTest, CoversEveryScreenAndShowsThePillOnTheMainScreen) {
  desktop().setScreens({Rect(0, 0, 1440, 900), Rect(1440, 100, 1280, 800)});
  beginPick();
  ASSERT_EQ(picker().overlays().size(), 2u);
  for (std::size_t i = 0; i < 2; ++i) {
    const auto& overlay = *picker().overlays()[i];
    EXPECT_EQ(overlay.frame(), Screen::screens()[i]->frame());
    EXPECT_TRUE(overlay.isVisible());
    EXPECT_EQ(overlay.level(), 1000);
    EXPECT_EQ(overlay.styleMask(), StyleMask::borderless);
    EXPECT_EQ(overlay.backgroundColor(), Color::black().withAlphaComponent(0.1));
    EXPECT_FALSE(overlay.isOpaque());
    EXPECT_FALSE(overlay.hasShadow());
    EXPECT_EQ(overlay.collectionBehavior(), 257u);
    EXPECT_TRUE(overlay.canBecomeKey());
  }
  // The crosshair everywhere on the overlays.
  EXPECT_EQ(desktop().cursorAt({700, 300}), Cursor::crosshair);
  EXPECT_EQ(desktop().cursorAt({2000, 500}), Cursor::crosshair);

  // The pill: label width + 32 wide, 36 high, centred 80 below the main screen's top.
  auto pill = picker().instructionPanel();
  ASSERT_TRUE(pill);
  const std::string text = "  Click a window to tag it  \u00b7  Esc to cancel  ";
  double labelWidth = 2 + std::ceil(Font::systemFont(14).widthOf(text)) + 2;
  EXPECT_EQ(pill->frame(), Rect(720 - (labelWidth + 32) / 2, 820, labelWidth + 32, 36));
  EXPECT_EQ(pill->level(), WindowServer::levelForKey(WindowLevelKey::screenSaver) + 1);
  EXPECT_TRUE(pill->isVisible());
  EXPECT_EQ(pill->backgroundColor(), Color::clear());
  EXPECT_TRUE(pill->hasShadow());
  const View& content = *pill->contentView();
  EXPECT_EQ(content.layer()->backgroundColor(), Color::gray(0.1, 0.92));
  EXPECT_EQ(content.layer()->cornerRadius(), 18);
  auto& label = dynamic_cast<TextField&>(*content.subviews().at(0));
  EXPECT_EQ(label.stringValue(), text);
  EXPECT_EQ(label.font(), Font::systemFont(14, FontWeight::medium));
  EXPECT_EQ(label.textColor(), Color::white());
  EXPECT_EQ(label.frame().origin, (Point{16, (36 - label.frame().height()) / 2}));
  // The pill sits above the overlays.
  EXPECT_EQ(server().stackingOrder().front(), pill->windowNumber());

  // A click on either screen ends the pick on both.
  auto pid = server().launchApplication("Preview");
  auto number = server().openWindow(pid, Rect(1600, 300, 400, 300));
  desktop().click({1700, 500});
  ASSERT_EQ(picked.size(), 1u);
  EXPECT_EQ(picked[0], (WindowInfo{number, pid, Rect(1600, 300, 400, 300), "Preview"}));
  expectIdle();
  EXPECT_EQ(cancels->count(), 0);
  EXPECT_FALSE(pill->isVisible());
}

struct Spec {
  const char* app;
  Rect bounds;
  int layer = 0;
  std::optional<std::string> name = std::nullopt;
};

TEST_F(WindowPickerTest, HitTestsTheWindowListFrontToBackSkippingWhatCannotBeTagged) {
  server().setScreenCaptureAccess(true);  // window names are listed
  struct Case {
    const char* name;
    std::vector<Spec> windows;  // opened back to front
    Point click;
    std::optional<std::size_t> expected;  // index into `windows`; nothing: cancelled
  } cases[] = {
      {"the desktop background", {{"Mail", Rect(100, 100, 300, 300)}}, {700, 700}, std::nullopt},
      {"the topmost of two windows",
       {{"Mail", Rect(100, 100, 300, 300)}, {"Notes", Rect(200, 200, 300, 300)}},
       {250, 250},
       1},
      {"the lower one outside the upper one",
       {{"Mail", Rect(100, 100, 300, 300)}, {"Notes", Rect(200, 200, 300, 300)}},
       {150, 150},
       0},
      {"49 points wide", {{"Mail", Rect(100, 100, 49, 300)}}, {120, 200}, std::nullopt},
      {"49 points high", {{"Mail", Rect(100, 100, 300, 49)}}, {120, 120}, std::nullopt},
      {"50 points square", {{"Mail", Rect(100, 100, 50, 50)}}, {120, 120}, 0},
      {"a window covering the whole desktop is skipped",
       {{"Mail", Rect(100, 100, 300, 300)}, {"Shade", Rect(0, 0, 1440, 900)}},
       {150, 150},
       0},
      {"a menu-bar or Dock item", {{"Clock", Rect(100, 0, 80, 60), 25}}, {120, 10}, std::nullopt},
      {"the Finder desktop",
       {{"Mail", Rect(100, 100, 300, 300)}, {"Finder", Rect(10, 10, 2100, 800)}},
       {150, 150},
       0},
      {"a named Finder window", {{"Finder", Rect(10, 10, 2100, 800), 0, "Home"}}, {150, 150}, 0},
      {"a narrower Finder window", {{"Finder", Rect(10, 10, 2000, 800)}}, {150, 150}, 0},
      {"the top-left edge counts", {{"Mail", Rect(100, 100, 300, 300)}}, {100, 100}, 0},
      {"the bottom-right edge does not",
       {{"Mail", Rect(100, 100, 300, 300)}},
       {400, 400},
       std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<WindowInfo> opened;
    for (const auto& w : c.windows) {
      auto pid = server().launchApplication(w.app);
      opened.push_back({server().openWindow(pid, w.bounds, w.name, w.layer), pid, w.bounds, w.app});
    }
    picked.clear();
    int cancelsBefore = cancels->count();
    beginPick();
    clickAt(c.click);
    if (c.expected) {
      ASSERT_EQ(picked.size(), 1u);
      EXPECT_EQ(picked[0], opened[*c.expected]);
      EXPECT_EQ(cancels->count(), cancelsBefore);
    } else {
      EXPECT_TRUE(picked.empty());
      EXPECT_EQ(cancels->count(), cancelsBefore + 1);
    }
    expectIdle();
    for (const auto& w : opened) server().quitApplication(w.ownerPID);
  }
}

TEST_F(WindowPickerTest, SkipsThisApplicationsWindowsAndMalformedEntries) {
  // One of ours over a foreign window: the click goes through to the foreign one.
  auto mail = openWindow(Rect(100, 100, 400, 400), "Mail");
  auto ours = std::make_shared<Window>(toScreen(Rect(150, 150, 200, 200)), StyleMask::titled);
  ours->orderFrontRegardless();
  beginPick();
  clickAt({200, 200});
  ASSERT_EQ(picked.size(), 1u);
  EXPECT_EQ(picked[0], mail);

  // Entries as a damaged list might carry them; only the last one is a taggable window.
  auto entry = [](Value pid, Value number, std::optional<Value> layer, Value bounds,
                  std::optional<Value> owner) {
    Value::Dictionary d{{std::string(WindowList::ownerPIDKey), pid},
                        {std::string(WindowList::numberKey), number},
                        {std::string(WindowList::boundsKey), bounds}};
    if (layer) d.emplace(WindowList::layerKey, *layer);
    if (owner) d.emplace(WindowList::ownerNameKey, *owner);
    return Value(d);
  };
  Value box = WindowList::boundsDictionary(Rect(0, 0, 800, 800));
  server().overrideWindowList(Value(Value::Array{
      Value("not a dictionary"),
      entry(Value(0), Value(7u), Value(0), box, Value("Kernel")),
      entry(Value(-1), Value(8u), Value(0), box, Value("Group")),
      entry(Value(env().processInfo->processIdentifier()), Value(9u), Value(0), box, Value("Us")),
      entry(Value("501"), Value(10u), Value(0), box, Value("Text pid")),
      entry(Value(501), Value(-3), Value(0), box, Value("Negative number")),
      entry(Value(501), Value(11u), Value("0"), box, Value("Text layer")),
      entry(Value(501), Value(12u), Value(0), Value(Value::Dictionary{}), Value("No bounds")),
      entry(Value(501), Value(13u), std::nullopt, box, std::nullopt),
  }));
  beginPick();
  clickAt({200, 200});
  ASSERT_EQ(picked.size(), 2u);
  // No layer counts as layer 0; no owner name reads "Unknown".
  EXPECT_EQ(picked[1], (WindowInfo{13, 501, Rect(0, 0, 800, 800), "Unknown"}));
  EXPECT_EQ(cancels->count(), 0);
}

TEST_F(WindowPickerTest, TheCoveringTestComparesInWindowListCoordinatesWithAScreenBelow) {
  // The second screen lies below the primary one: the desktop spans screen y -800 to 900.
  desktop().setScreens({Rect(0, 0, 1440, 900), Rect(0, -800, 1440, 800)});
  auto mail = openWindow(Rect(100, 1000, 400, 400), "Mail");
  openWindow(Rect(0, 0, 1440, 1700), "Shade");
  beginPick();
  clickAt({200, 1100});
  ASSERT_EQ(picked.size(), 1u);
  EXPECT_EQ(picked[0], mail);
}

TEST_F(WindowPickerTest, EveryEndWithoutAWindowPostsOneCancellationAndRunsNoCompletion) {
  struct Case {
    const char* name;
    std::function<void()> prepare;
    std::function<void()> end;
  } cases[] = {
      {"Esc while this application has the keyboard", [] { Application::shared().activate(); },
       [this] { desktop().pressKey(KeyCode::escape); }},
      {"Esc while another application is frontmost",
       [this] {
         desktop().accessibility().setTrusted(true);
         desktop().activateForeignApplication(server().launchApplication("Terminal"));
       },
       [this] { desktop().pressKey(KeyCode::escape); }},
      {"a click on no eligible window", [] {},
       [this] {
         clickAt({700, 700});
       }},
      {"an unreadable window list", [this] { server().setWindowListUnavailable(true); },
       [this] {
         clickAt({150, 150});
       }},
      {"a window list that is no list", [this] { server().overrideWindowList(Value("garbage")); },
       [this] {
         clickAt({150, 150});
       }},
      {"no screen at the click", [] {},
       [this] {
         desktop().setScreens(std::vector<Rect>{});
         picker().handleClick();
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TearDown();
    SetUp();
    openWindow(Rect(100, 100, 300, 300), "Mail");
    c.prepare();
    beginPick();
    c.end();
    EXPECT_EQ(cancels->count(), 1);
    EXPECT_TRUE(picked.empty());
    expectIdle();
    // Nothing is left listening: a later Esc, wherever it goes, posts nothing.
    desktop().accessibility().setTrusted(true);
    desktop().pressKey(KeyCode::escape);
    Application::shared().activate();
    desktop().pressKey(KeyCode::escape);
    EXPECT_EQ(cancels->count(), 1);
  }
}

TEST_F(WindowPickerTest, EscIsConsumedAndOtherKeysPassOn) {
  Application::shared().activate();
  beginPick();
  std::vector<std::uint16_t> seen;
  auto after = Application::shared().addLocalMonitor(eventMaskFor(EventType::keyDown),
                                                     [&](const Event& e) -> std::optional<Event> {
                                                       seen.push_back(e.keyCode);
                                                       return e;
                                                     });
  desktop().pressKey(0);  // "a"
  EXPECT_FALSE(picker().overlays().empty());
  desktop().pressKey(KeyCode::escape);
  EXPECT_EQ(seen, (std::vector<std::uint16_t>{0}));
  EXPECT_EQ(cancels->count(), 1);
  Application::shared().removeMonitor(after);

  // A hit without a completion ends the pick quietly.
  openWindow(Rect(100, 100, 300, 300), "Mail");
  picker().beginPick(nullptr);
  clickAt({150, 150});
  expectIdle();
  EXPECT_EQ(cancels->count(), 1);
}

TEST_F(WindowPickerTest, ASecondPickTakesOverTheFirstWithoutLeavingItsPillOrMonitors) {
  auto mail = openWindow(Rect(100, 100, 300, 300), "Mail");
  Application::shared().activate();
  int firstCalls = 0;
  picker().beginPick([&](const WindowInfo&) { ++firstCalls; });
  auto firstPill = picker().instructionPanel();
  beginPick();
  EXPECT_FALSE(firstPill->isVisible());
  EXPECT_EQ(picker().overlays().size(), 2u);

  // One Esc ends both, with one cancellation; later ones post nothing.
  desktop().pressKey(KeyCode::escape);
  EXPECT_EQ(cancels->count(), 1);
  expectIdle();
  desktop().pressKey(KeyCode::escape);
  EXPECT_EQ(cancels->count(), 1);

  // One click ends both and only the newer completion runs.
  picker().beginPick([&](const WindowInfo&) { ++firstCalls; });
  beginPick();
  clickAt({150, 150});
  EXPECT_EQ(firstCalls, 0);
  ASSERT_EQ(picked.size(), 1u);
  EXPECT_EQ(picked[0], mail);
  expectIdle();
  for (const auto& w : Application::shared().windows()) EXPECT_FALSE(w->isVisible());
}

TEST_F(WindowPickerTest, ACompletionMayStartTheNextPick) {
  auto mail = openWindow(Rect(100, 100, 300, 300), "Mail");
  picker().beginPick([&](const WindowInfo&) { beginPick(); });
  clickAt({150, 150});
  EXPECT_TRUE(picker().hasCompletion());
  EXPECT_EQ(picker().overlays().size(), 1u);
  clickAt({150, 150});
  ASSERT_EQ(picked.size(), 1u);
  EXPECT_EQ(picked[0], mail);
  expectIdle();
}

}  // namespace
}  // namespace flagrig
