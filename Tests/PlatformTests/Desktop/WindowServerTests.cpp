#include "Platform/WindowServer/WindowServer.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "Platform/Desktop/Panel.h"
#include "Platform/Foundation/ProcessInfo.h"
#include "Platform/WindowServer/WindowList.h"
#include "Support/SimTest.h"

namespace platform {
namespace {

class WindowServerTest : public testing::SimTest {
 protected:
  sim::SimDesktop& desktop() { return *sim().desktop; }
  sim::SimWindowServer& server() { return desktop().windowServer(); }

  Value::Array list(std::uint32_t options = WindowList::optionOnScreenOnly |
                                            WindowList::excludeDesktopElements) {
    auto value = WindowServer::shared().copyWindowList(options);
    EXPECT_TRUE(value && value->asArray());
    return value && value->asArray() ? *value->asArray() : Value::Array{};
  }
  std::vector<std::uint32_t> numbers(std::uint32_t options = WindowList::optionOnScreenOnly |
                                                             WindowList::excludeDesktopElements) {
    std::vector<std::uint32_t> result;
    for (const auto& entry : list(options))
      result.push_back(*entry.find(WindowList::numberKey)->exactly<std::uint32_t>());
    return result;
  }
  std::shared_ptr<Panel> panel(Rect content = Rect(0, 0, 100, 26)) {
    return std::make_shared<Panel>(content, StyleMask::nonactivatingPanel);
  }
};

TEST_F(WindowServerTest, ListsEveryWindowFrontToBackWithTypedEntries) {
  desktop().setScreens({Rect(0, 0, 1440, 900), Rect(0, 900, 1440, 900)});
  auto safari = server().launchApplication("Safari", 700);
  auto window = server().openWindow(safari, Rect(100, 80, 800, 600), "Apple");
  auto ours = std::make_shared<Window>(Rect(10, 20, 300, 200), StyleMask::titled);
  ours->setTitle("Settings");
  ours->orderFrontRegardless();

  auto entries = list();
  ASSERT_EQ(entries.size(), 2u);
  const Value& mine = entries[0];
  EXPECT_EQ(mine.find(WindowList::numberKey)->asUInt(), ours->windowNumber());
  // This process as the process information and the bundle know it.
  EXPECT_EQ(mine.find(WindowList::ownerPIDKey)->asInt(), env().processInfo->processIdentifier());
  EXPECT_EQ(*mine.find(WindowList::ownerNameKey)->asString(), "Flagrig");
  EXPECT_EQ(*mine.find(WindowList::nameKey)->asString(), "Settings");
  // Our frame (title bar included) in window-list coordinates: y from the top of both screens.
  EXPECT_EQ(WindowList::rectFromBounds(*mine.find(WindowList::boundsKey)),
            Rect(10, 1800 - 20 - 228, 300, 228));

  const Value& theirs = entries[1];
  EXPECT_EQ(theirs.find(WindowList::numberKey)->asUInt(), window);
  EXPECT_EQ(theirs.find(WindowList::ownerPIDKey)->asInt(), 700);
  EXPECT_EQ(*theirs.find(WindowList::ownerNameKey)->asString(), "Safari");
  EXPECT_EQ(theirs.find(WindowList::layerKey)->asInt(), 0);
  EXPECT_EQ(WindowList::rectFromBounds(*theirs.find(WindowList::boundsKey)),
            Rect(100, 80, 800, 600));
  // Another application's window name needs screen-capture access.
  EXPECT_EQ(theirs.find(WindowList::nameKey), nullptr);
  server().setScreenCaptureAccess(true);
  EXPECT_EQ(*list()[1].find(WindowList::nameKey)->asString(), "Apple");

  // Lists are shared snapshots: the same one while nothing changes, a new one after a change.
  auto first = WindowServer::shared().copyWindowList(WindowList::optionOnScreenOnly);
  EXPECT_EQ(WindowServer::shared().copyWindowList(WindowList::optionOnScreenOnly), first);
  ours->order(WindowOrderingMode::above, 0);
  EXPECT_EQ(WindowServer::shared().copyWindowList(WindowList::optionOnScreenOnly), first);
  ours->setFrameOrigin({20, 20});
  desktop().setScreens({Rect(0, 0, 1440, 900)});
  server().moveWindow(window, Rect(0, 0, 10, 10));
  entries = list();
  EXPECT_EQ(WindowList::rectFromBounds(*entries[0].find(WindowList::boundsKey)),
            Rect(20, 900 - 20 - 228, 300, 228));
  EXPECT_EQ(WindowList::rectFromBounds(*entries[1].find(WindowList::boundsKey)),
            Rect(0, 0, 10, 10));
  EXPECT_EQ(*first->asArray()->at(1).find(WindowList::nameKey)->asString(), "Apple");
}

TEST_F(WindowServerTest, HonoursTheOnScreenAndDesktopOptions) {
  auto finder = server().launchApplication("Finder");
  auto notes = server().launchApplication("Notes");
  auto desktopPicture =
      server().openWindow(finder, Rect(0, 0, 1440, 900), std::nullopt, -2147483628);
  server().setDesktopElement(desktopPicture, true);
  auto minimized = server().openWindow(notes, Rect(0, 0, 400, 400));
  auto elsewhere = server().openWindow(notes, Rect(0, 0, 400, 400));
  auto hidden = server().openWindow(finder, Rect(0, 0, 400, 400));
  auto shown = server().openWindow(notes, Rect(0, 0, 400, 400));
  server().setMinimized(minimized, true);
  server().setOnOtherSpace(elsewhere, true);

  EXPECT_EQ(numbers(), (std::vector<std::uint32_t>{shown, hidden}));
  server().setApplicationHidden(finder, true);
  EXPECT_EQ(numbers(), (std::vector<std::uint32_t>{shown}));
  EXPECT_EQ(numbers(WindowList::optionOnScreenOnly), (std::vector<std::uint32_t>{shown}));
  EXPECT_EQ(numbers(WindowList::optionAll),
            (std::vector<std::uint32_t>{shown, hidden, elsewhere, minimized, desktopPicture}));

  server().quitApplication(notes);
  EXPECT_TRUE(numbers().empty());
  EXPECT_EQ(numbers(WindowList::optionAll), (std::vector<std::uint32_t>{hidden, desktopPicture}));
}

TEST_F(WindowServerTest, OrderingAboveAForeignWindowPutsOurWindowDirectlyAboveIt) {
  auto app = server().launchApplication("Editor");
  auto back = server().openWindow(app, Rect(0, 100, 500, 500));
  auto middle = server().openWindow(app, Rect(0, 100, 500, 500));
  auto front = server().openWindow(app, Rect(0, 100, 500, 500));
  auto tag = panel();
  tag->orderFrontRegardless();
  EXPECT_EQ(numbers(), (std::vector<std::uint32_t>{tag->windowNumber(), front, middle, back}));

  tag->order(WindowOrderingMode::above, back);
  EXPECT_EQ(numbers(), (std::vector<std::uint32_t>{front, middle, tag->windowNumber(), back}));
  tag->order(WindowOrderingMode::below, front);
  EXPECT_EQ(numbers(), (std::vector<std::uint32_t>{front, tag->windowNumber(), middle, back}));
  // Raising the foreign window leaves the tag where it was relative to the others.
  server().raiseWindow(back);
  EXPECT_EQ(numbers(), (std::vector<std::uint32_t>{back, front, tag->windowNumber(), middle}));
  // A minimised window keeps its place: the tag stays above it and is there when it comes back.
  server().setMinimized(middle, true);
  tag->order(WindowOrderingMode::above, middle);
  server().setMinimized(middle, false);
  EXPECT_EQ(numbers(), (std::vector<std::uint32_t>{back, front, tag->windowNumber(), middle}));
  // Relative to a window that is gone: the front of the level.
  server().closeWindow(middle);
  tag->order(WindowOrderingMode::above, middle);
  EXPECT_EQ(numbers(), (std::vector<std::uint32_t>{tag->windowNumber(), back, front}));
  tag->orderOut();
  EXPECT_EQ(numbers(), (std::vector<std::uint32_t>{back, front}));
}

TEST_F(WindowServerTest, LevelsAlwaysWinOverOrder) {
  auto app = server().launchApplication("Dock");
  auto normal = server().openWindow(app, Rect(0, 0, 100, 100));
  auto menuBar =
      server().openWindow(app, Rect(0, 0, 1440, 25), std::nullopt, WindowLevel::mainMenu);
  auto overlay = panel();
  overlay->setLevel(WindowLevel::screenSaver);
  overlay->orderFrontRegardless();
  auto pill = panel();
  pill->setLevel(WindowServer::levelForKey(WindowLevelKey::screenSaver) + 1);
  pill->orderFrontRegardless();
  auto tag = panel();
  tag->orderFrontRegardless();

  std::vector<std::uint32_t> expected{pill->windowNumber(), overlay->windowNumber(), menuBar,
                                      tag->windowNumber(), normal};
  EXPECT_EQ(numbers(), expected);
  // Above a higher-level window: the top of its own level. Below a lower one: its bottom.
  tag->order(WindowOrderingMode::above, menuBar);
  EXPECT_EQ(numbers(), expected);
  overlay->order(WindowOrderingMode::below, normal);
  EXPECT_EQ(numbers(), expected);
  pill->order(WindowOrderingMode::below, overlay->windowNumber());
  EXPECT_EQ(numbers(), expected);
  // A new level re-sorts the window at once.
  tag->setLevel(WindowLevel::popUpMenu);
  EXPECT_EQ(numbers(), (std::vector<std::uint32_t>{pill->windowNumber(), overlay->windowNumber(),
                                                   tag->windowNumber(), menuBar, normal}));
  auto entries = list();
  EXPECT_EQ(entries[2].find(WindowList::layerKey)->asInt(), WindowLevel::popUpMenu);
}

TEST_F(WindowServerTest, AnInactiveApplicationOrdersItsWindowsBehindTheActiveOnes) {
  auto app = server().launchApplication("Mail");
  auto mail = server().openWindow(app, Rect(0, 0, 100, 100));
  desktop().activateForeignApplication(app);
  auto ours = std::make_shared<Window>(Rect(0, 0, 100, 100), StyleMask::titled);
  ours->orderFront();
  EXPECT_EQ(numbers(), (std::vector<std::uint32_t>{mail, ours->windowNumber()}));
  ours->orderFrontRegardless();
  EXPECT_EQ(numbers(), (std::vector<std::uint32_t>{ours->windowNumber(), mail}));
}

TEST_F(WindowServerTest, FaultsCanMakeTheListUnavailableOrMalformed) {
  server().setWindowListUnavailable(true);
  EXPECT_FALSE(WindowServer::shared().copyWindowList(WindowList::optionOnScreenOnly));
  server().setWindowListUnavailable(false);
  server().overrideWindowList(Value("not a list"));
  EXPECT_EQ(*WindowServer::shared().copyWindowList(WindowList::optionOnScreenOnly),
            Value("not a list"));
  server().overrideWindowList(std::nullopt);
  EXPECT_TRUE(WindowServer::shared().copyWindowList(WindowList::optionOnScreenOnly)->asArray());
  // Every request counts, the unanswered one too.
  EXPECT_EQ(server().windowListRequests(), 3);
}

TEST_F(WindowServerTest, ProbesProcessesAsKillWithSignalZeroDoes) {
  auto alive = server().launchApplication("Alive");
  auto quitting = server().launchApplication("Quitting");
  server().quitApplication(quitting);
  server().setProcessState(4000, sim::SimProcessState::notSignalable);
  struct Case {
    std::int32_t pid;
    ProcessProbeResult expected;
  };
  const Case cases[] = {
      {alive, {0, 0}},     {quitting, {-1, ESRCH}},     {4000, {-1, EPERM}},
      {9999, {-1, ESRCH}}, {server().ownPID(), {0, 0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.pid);
    EXPECT_EQ(WindowServer::shared().probeProcess(c.pid), c.expected);
  }
}

TEST_F(WindowServerTest, ScreenCaptureAccessIsGrantedOnlyWhenTheUserAccepts) {
  EXPECT_FALSE(WindowServer::shared().preflightScreenCaptureAccess());
  EXPECT_FALSE(WindowServer::shared().requestScreenCaptureAccess());
  server().setGrantsScreenCaptureOnRequest(true);
  EXPECT_TRUE(WindowServer::shared().requestScreenCaptureAccess());
  EXPECT_TRUE(WindowServer::shared().preflightScreenCaptureAccess());
  EXPECT_EQ(server().screenCaptureRequests(), 2);
}

TEST_F(WindowServerTest, BoundsDictionariesNeedFourFiniteNumbers) {
  EXPECT_EQ(WindowList::rectFromBounds(WindowList::boundsDictionary(Rect(1.5, -2, 3, 4))),
            Rect(1.5, -2, 3, 4));
  EXPECT_EQ(WindowList::rectFromBounds(
                Value::Dictionary{{"X", 1}, {"Y", 2u}, {"Width", 3.0}, {"Height", 4}}),
            Rect(1, 2, 3, 4));
  EXPECT_FALSE(WindowList::rectFromBounds(Value::Dictionary{{"X", 1}, {"Y", 2}, {"Width", 3}}));
  EXPECT_FALSE(WindowList::rectFromBounds(
      Value::Dictionary{{"X", 1}, {"Y", "2"}, {"Width", 3}, {"Height", 4}}));
  EXPECT_FALSE(WindowList::rectFromBounds(
      Value::Dictionary{{"X", 1}, {"Y", true}, {"Width", 3}, {"Height", 4}}));
  EXPECT_FALSE(WindowList::rectFromBounds(Value::Dictionary{
      {"X", std::numeric_limits<double>::infinity()}, {"Y", 2}, {"Width", 3}, {"Height", 4}}));
  EXPECT_FALSE(WindowList::rectFromBounds(Value(Value::Array{})));
}

}  // namespace
}  // namespace platform
