#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Flagrig/Tagging/TagDefaultsKeys.h"
#include "Flagrig/Tagging/TagManager.h"
#include "Flagrig/Tagging/TagNotifications.h"
#include "Flagrig/Tagging/TagPanel.h"
#include "Platform/Desktop/Event.h"
#include "Platform/Desktop/Screen.h"
#include "Platform/Foundation/RunLoop.h"
#include "Platform/WindowServer/WindowList.h"
#include "TaggingTest.h"

namespace flagrig {
namespace {

using namespace platform;

class TagManagerTest : public testing::TaggingTest {
 protected:
  TagManager& manager() { return TagManager::shared(); }
  void tick() { advance(TagManager::pollInterval); }
  const Tag& tag(std::size_t i) { return manager().tags().at(i); }
  // The window directly behind a window in the stack (0 at the back).
  std::uint32_t windowBehind(std::uint32_t number) {
    auto order = server().stackingOrder();
    for (std::size_t i = 0; i + 1 < order.size(); ++i) {
      if (order[i] == number) return order[i + 1];
    }
    return 0;
  }
};

TEST_F(TagManagerTest, PollsThirtyTimesASecondAndNeverReadsTheListWithoutTags) {
  auto& timer = manager().pollTimer();
  ASSERT_TRUE(timer);
  EXPECT_TRUE(timer->isValid());
  EXPECT_NEAR(timer->interval(), 1.0 / 30, 1e-9);
  advance(1);
  EXPECT_EQ(server().windowListRequests(), 0);

  auto mail = openWindow(Rect(200, 300, 600, 400), "Mail");
  manager().createTag(mail);
  advance(1);
  EXPECT_EQ(server().windowListRequests(), 30);
  manager().removeAll();
  advance(1);
  EXPECT_EQ(server().windowListRequests(), 30);
}

TEST_F(TagManagerTest, CreatesOneFocusedTagPerWindowJustAboveIt) {
  testing::PostCounter created(flagrigTagCreated);
  auto mail = openWindow(Rect(200, 300, 600, 400), "Mail");
  openWindow(Rect(0, 0, 1000, 800), "Other");  // in front of Mail
  EXPECT_TRUE(manager().createTag(mail));
  EXPECT_EQ(created.count(), 1);

  ASSERT_EQ(manager().tags().size(), 1u);
  const Tag& t = tag(0);
  EXPECT_EQ(t.windowNumber, mail.windowNumber);
  EXPECT_EQ(t.ownerPID, mail.ownerPID);
  EXPECT_EQ(t.ownerName, "Mail");
  EXPECT_EQ(t.text, "");
  EXPECT_EQ(t.colorIndex, 0);
  EXPECT_EQ(t.color, TagManager::defaultPalette()[0].background);
  EXPECT_EQ(t.textColor, TagManager::defaultPalette()[0].text);
  EXPECT_EQ(t.lastBounds, mail.bounds);
  TagPanel& panel = *t.panel;
  EXPECT_EQ(panel.tagColor(), t.color);
  EXPECT_EQ(panel.textField()->delegate().get(), &manager());
  // Centred on the window's top edge, 2 points above it, directly above the window.
  EXPECT_EQ(panel.frame(), Rect(450, 602, 100, 26));
  EXPECT_TRUE(panel.isVisible());
  EXPECT_EQ(windowBehind(panel.windowNumber()), mail.windowNumber);

  // Focus comes after the call returns.
  EXPECT_FALSE(panel.isKeyWindow());
  runUntilIdle();
  EXPECT_TRUE(panel.isKeyWindow());
  EXPECT_EQ(panel.firstResponder(), panel.textField());

  // Typing edits the label; the panel grows with it and stays centred.
  desktop().type("Release candidate 2");
  EXPECT_EQ(tag(0).text, "Release candidate 2");
  double width = 19 * 5.5 + 54;
  EXPECT_EQ(panel.frame(), Rect(200 + (600 - width) / 2, 602, width, 26));
  // Return ends editing by giving up key status; the text stays.
  desktop().pressKey(KeyCode::returnKey);
  EXPECT_FALSE(panel.isKeyWindow());
  EXPECT_EQ(tag(0).text, "Release candidate 2");
  EXPECT_EQ(panel.textField()->stringValue(), "Release candidate 2");

  // The same window again: nothing changes and nothing is posted.
  EXPECT_FALSE(manager().createTag(mail));
  EXPECT_EQ(manager().tags().size(), 1u);
  EXPECT_EQ(created.count(), 1);
}

TEST_F(TagManagerTest, ColoursFollowTheSequenceAcrossRemovals) {
  std::vector<WindowInfo> windows;
  for (int i = 0; i < 12; ++i) windows.push_back(openWindow(Rect(10 + i, 100, 300, 300)));
  for (int i = 0; i < 9; ++i) manager().createTag(windows[i]);
  std::vector<long> indices;
  for (const auto& t : manager().tags()) indices.push_back(t.colorIndex);
  EXPECT_EQ(indices, (std::vector<long>{0, 1, 2, 3, 4, 5, 6, 7, 0}));
  EXPECT_EQ(tag(8).color, TagManager::defaultPalette()[0].background);

  auto removedPanel = tag(2).panel;
  manager().removeTag(windows[2].windowNumber);
  manager().removeTag(windows[5].windowNumber);
  manager().removeTag(4242);  // no such tag
  EXPECT_EQ(manager().tags().size(), 7u);
  EXPECT_FALSE(removedPanel->isVisible());
  manager().createTag(windows[9]);
  EXPECT_EQ(manager().tags().back().colorIndex, 1);

  auto panels = std::vector<std::shared_ptr<TagPanel>>{tag(0).panel, tag(6).panel};
  manager().removeAll();
  EXPECT_TRUE(manager().tags().empty());
  for (const auto& p : panels) EXPECT_FALSE(p->isVisible());
  manager().createTag(windows[10]);
  EXPECT_EQ(tag(0).colorIndex, 2);
  EXPECT_EQ(manager().nextColorIndex(), 11);
}

TEST_F(TagManagerTest, CyclingMovesOneTagToTheNextColourEvenAfterThePaletteShrank) {
  std::vector<WindowInfo> windows;
  for (int i = 0; i < 8; ++i) {
    windows.push_back(openWindow(Rect(100 * i, 100, 90, 300)));
    manager().createTag(windows.back());
  }
  const auto& palette = TagManager::defaultPalette();
  // A click on the first tag's colour dot.
  Rect dot = tag(0).panel->frame();
  desktop().click({dot.x() + 14, dot.y() + 13});
  EXPECT_EQ(tag(0).colorIndex, 1);
  EXPECT_EQ(tag(0).color, palette[1].background);
  EXPECT_EQ(tag(0).panel->tagColor(), palette[1].background);
  EXPECT_EQ(tag(0).panel->tagTextColor(), palette[1].text);
  EXPECT_EQ(tag(1).colorIndex, 1);  // the others keep theirs
  EXPECT_EQ(manager().nextColorIndex(), 8);

  // Indices beyond a shrunken palette wrap into it.
  manager().setPalette({palette[3], palette[4], palette[5]});
  manager().cycleColor(windows[7].windowNumber);  // index 7
  EXPECT_EQ(tag(7).colorIndex, 2);
  EXPECT_EQ(tag(7).color, palette[5].background);
  EXPECT_EQ(tag(7).panel->tagColor(), palette[5].background);
  manager().cycleColor(windows[6].windowNumber);  // index 6
  EXPECT_EQ(tag(6).colorIndex, 1);
  // A new tag wraps into the smaller palette.
  auto extra = openWindow(Rect(0, 500, 300, 300));
  manager().createTag(extra);
  EXPECT_EQ(manager().tags().back().colorIndex, 8 % 3);
  manager().cycleColor(4242);  // no such tag: nothing
  EXPECT_THROW(manager().setPalette({}), ProgrammingError);
  EXPECT_EQ(manager().palette().size(), 3u);
}

TEST_F(TagManagerTest, TheCloseButtonRemovesTheTag) {
  auto mail = openWindow(Rect(200, 300, 600, 400));
  manager().createTag(mail);
  auto panel = tag(0).panel;
  Rect f = panel->frame();
  desktop().click({f.maxX() - 6 - 8, f.y() + 13});
  EXPECT_TRUE(manager().tags().empty());
  EXPECT_FALSE(panel->isVisible());
}

TEST_F(TagManagerTest, FontAndPaletteChangesAreStoredAndFontsReachEveryLabel) {
  defaults().set(TagDefaultsKeys::bigTags, Value(true));
  manager().createTag(openWindow(Rect(0, 100, 400, 300)));
  manager().createTag(openWindow(Rect(500, 100, 400, 300)));
  manager().setFont(TagFont::menlo);
  EXPECT_EQ(manager().tagFont(), TagFont::menlo);
  EXPECT_EQ(defaults().object(TagDefaultsKeys::font), Value(2));
  for (const auto& t : manager().tags())
    EXPECT_EQ(t.panel->textField()->font(), Font::named("Menlo-Bold", 18));

  // Out of range: nothing changes and nothing is saved.
  auto before = manager().palette();
  manager().setPaletteColor(8, Color::black(), Color::black());
  manager().setPaletteColor(-1, Color::black(), std::nullopt);
  EXPECT_EQ(manager().palette(), before);
  EXPECT_FALSE(defaults().object(TagDefaultsKeys::palette));

  const Color red = Color::sRGB(1, 0, 0, 0.95);
  manager().setPaletteColor(1, red, std::nullopt);
  EXPECT_EQ(manager().palette()[1].background, red);
  EXPECT_EQ(manager().palette()[1].text, before[1].text);
  manager().setPaletteColor(0, std::nullopt, Color::black());
  EXPECT_EQ(manager().palette()[0].background, before[0].background);
  auto stored = TagManager::loadPalette();
  ASSERT_TRUE(stored);
  EXPECT_EQ((*stored)[1].background, red);
  EXPECT_EQ((*stored)[0].text, Color::sRGB(0, 0, 0));
  // Existing tags keep their colours until cycled.
  EXPECT_EQ(tag(1).color, before[1].background);
  EXPECT_EQ(tag(0).textColor, before[0].text);
}

TEST_F(TagManagerTest, PlacesPanelsAboveTheirWindowsWithinTheScreen) {
  const std::vector<Rect> one = {Rect(0, 0, 1440, 900)};
  const std::vector<Rect> two = {Rect(0, 0, 1440, 900), Rect(1440, 0, 1920, 1200)};
  struct Case {
    const char* name;
    std::vector<Rect> screens;
    Rect window;
    std::size_t textLength;
    bool big;
    Rect expected;
  } cases[] = {
      {"centred 2 points above", one, Rect(200, 300, 600, 400), 0, false, Rect(450, 602, 100, 26)},
      {"as wide as a narrow window", one, Rect(200, 300, 80, 400), 0, false,
       Rect(200, 602, 80, 26)},
      {"wider for a long label", one, Rect(200, 300, 600, 400), 40, false, Rect(363, 602, 274, 26)},
      {"never wider than the window", one, Rect(200, 300, 300, 400), 100, false,
       Rect(200, 602, 300, 26)},
      {"big", one, Rect(200, 300, 600, 400), 0, true, Rect(425, 602, 150, 42)},
      {"big with a label", one, Rect(200, 300, 600, 400), 10, true, Rect(423, 602, 154, 42)},
      {"pushed below the menu bar", one, Rect(200, 10, 600, 400), 0, false,
       Rect(450, 849, 100, 26)},
      {"on a taller second screen", two, Rect(1600, 0, 800, 600), 0, false,
       Rect(1950, 1149, 100, 26)},
      {"the primary screen's menu bar", two, Rect(200, 300, 600, 400), 0, false,
       Rect(450, 849, 100, 26)},
      {"off every screen: the first one", two, Rect(3500, 300, 600, 400), 0, false,
       Rect(3750, 849, 100, 26)},
      {"no screens", {}, Rect(200, 300, 600, 400), 0, false, Rect(0, 0, 100, 26)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    desktop().setScreens(c.screens);
    auto panel = std::make_shared<TagPanel>(Color::black(), Color::white(), c.big, TagShape::pill,
                                            TagFont::system);
    panel->textField()->setStringValue(std::string(c.textLength, 'x'));
    manager().positionPanel(*panel, c.window);
    EXPECT_EQ(panel->frame(), c.expected);
  }
}

TEST_F(TagManagerTest, ThePollFollowsHidesShowsAndRemovesTags) {
  auto mail = openWindow(Rect(200, 300, 600, 400), "Mail");
  auto notes = openWindow(Rect(900, 300, 400, 400), "Notes");
  manager().createTag(mail);
  manager().createTag(notes);
  TagPanel& mailPanel = *tag(0).panel;

  server().moveWindow(mail.windowNumber, Rect(100, 200, 600, 400));
  tick();
  EXPECT_EQ(tag(0).lastBounds, Rect(100, 200, 600, 400));
  EXPECT_EQ(mailPanel.frame(), Rect(350, 702, 100, 26));

  // Another window raised over Mail: the next tick puts the panel back right above Mail.
  desktop().activateForeignApplication(mail.ownerPID);
  desktop().activateForeignApplication(notes.ownerPID);
  server().raiseWindow(mail.windowNumber);
  tick();
  EXPECT_EQ(windowBehind(mailPanel.windowNumber()), mail.windowNumber);

  struct Away {
    const char* name;
    std::function<void(bool)> set;
  } ways[] = {
      {"minimised", [&](bool on) { server().setMinimized(mail.windowNumber, on); }},
      {"on another Space", [&](bool on) { server().setOnOtherSpace(mail.windowNumber, on); }},
      {"application hidden", [&](bool on) { server().setApplicationHidden(mail.ownerPID, on); }},
      {"owner alive but not ours to signal",
       [&](bool on) {
         server().setProcessState(
             mail.ownerPID, on ? sim::SimProcessState::notSignalable : sim::SimProcessState::alive);
         server().setMinimized(mail.windowNumber, on);
       }},
  };
  for (const auto& way : ways) {
    SCOPED_TRACE(way.name);
    way.set(true);
    tick();
    EXPECT_FALSE(mailPanel.isVisible());
    ASSERT_EQ(manager().tags().size(), 2u);
    way.set(false);
    tick();
    EXPECT_TRUE(mailPanel.isVisible());
    EXPECT_EQ(windowBehind(mailPanel.windowNumber()), mail.windowNumber);
  }

  // A window closed while its process lives on takes its tag with it; the other one stays.
  Rect draftBounds(200, 300, 300, 200);
  WindowInfo draft{server().openWindow(mail.ownerPID, draftBounds), mail.ownerPID, draftBounds,
                   "Mail"};
  manager().createTag(draft);
  tick();
  ASSERT_EQ(manager().tags().size(), 3u);
  server().closeWindow(draft.windowNumber);
  tick();
  ASSERT_EQ(manager().tags().size(), 2u);
  EXPECT_EQ(tag(0).windowNumber, mail.windowNumber);
  EXPECT_EQ(tag(1).windowNumber, notes.windowNumber);

  // Quitting the owner removes the tag at the next tick.
  auto mailPanelRef = tag(0).panel;
  server().quitApplication(mail.ownerPID);
  tick();
  ASSERT_EQ(manager().tags().size(), 1u);
  EXPECT_EQ(tag(0).windowNumber, notes.windowNumber);
  EXPECT_FALSE(mailPanelRef->isVisible());
}

TEST_F(TagManagerTest, AStillTagIsLeftAloneUntilTheStackOrThePanelChanges) {
  auto mail = openWindow(Rect(200, 300, 600, 400), "Mail");
  manager().createTag(mail);
  TagPanel& panel = *tag(0).panel;
  tick();
  tick();
  int changes = desktop().changeCount(panel.windowNumber());
  advance(1);
  EXPECT_EQ(desktop().changeCount(panel.windowNumber()), changes);

  // Under a list the test fixed (the same list object until something changes), a raise still
  // brings the tag back over its window, and a change of the panel alone still places it again.
  server().overrideWindowList(*server().copyWindowList(WindowList::optionOnScreenOnly |
                                                       WindowList::excludeDesktopElements));
  tick();
  tick();
  server().raiseWindow(mail.windowNumber);
  ASSERT_NE(windowBehind(panel.windowNumber()), mail.windowNumber);
  tick();
  EXPECT_EQ(windowBehind(panel.windowNumber()), mail.windowNumber);

  struct Change {
    const char* name;
    std::function<void()> make;
  } panelChanges[] = {
      {"a label typed without telling the delegate",
       [&] { panel.textField()->setStringValue(std::string(30, 'x')); }},
      {"another font", [&] { manager().setFont(TagFont::menlo); }},
  };
  for (const auto& change : panelChanges) {
    SCOPED_TRACE(change.name);
    tick();
    Rect before = panel.frame();
    change.make();
    tick();
    EXPECT_NE(panel.frame(), before);
  }
}

TEST_F(TagManagerTest, AStillWindowsTagIsPlacedAgainWhenWhatItsPlaceDependsOnChanges) {
  desktop().setScreens({Rect(0, 0, 1440, 900)});
  auto mail = openWindow(Rect(200, 300, 600, 400), "Mail");
  manager().createTag(mail);
  TagPanel& panel = *tag(0).panel;
  tick();
  // Where a new panel like this one goes: what the tick must have left.
  auto placedAfresh = [&] {
    auto fresh = std::make_shared<TagPanel>(Color::black(), Color::white(), panel.big(),
                                            TagShape::pill, TagFont::system);
    fresh->textField()->setFont(panel.textField()->font());
    fresh->textField()->setStringValue(panel.textField()->stringValue());
    manager().positionPanel(*fresh, mail.bounds);
    return fresh->frame();
  };
  struct Change {
    const char* name;
    std::function<void()> make;
  } changes[] = {
      {"a label typed without telling the delegate",
       [&] { panel.textField()->setStringValue(std::string(30, 'x')); }},
      {"bigger tags", [&] { manager().setBigTags(true); }},
      {"another font", [&] { manager().setFont(TagFont::menlo); }},
      {"the screen grown", [&] { desktop().setScreens({Rect(0, 0, 1920, 1200)}); }},
      {"the panel moved by someone else",
       [&] {
         panel.setFrameOrigin({0, 0});
       }},
  };
  for (const auto& change : changes) {
    SCOPED_TRACE(change.name);
    change.make();
    auto stale = panel.frame();
    EXPECT_NE(stale, placedAfresh());  // the tick has something to do
    tick();
    EXPECT_EQ(panel.frame(), placedAfresh());
  }
}

// A bar appearing at the top of the screen changes its visible frame and nothing in the window
// list: a still tag under the menu bar moves down with it all the same.
TEST_F(TagManagerTest, AStillTagFollowsTheVisibleFrameUnderTheSameList) {
  const Rect frame(0, 0, 1440, 900);
  auto screenWithBar = [&](double bar) {
    Rect visible(frame.x(), frame.y(), frame.width(), frame.height() - bar);
    return std::vector{std::make_shared<Screen>(frame, visible)};
  };
  desktop().setScreens(screenWithBar(25));
  // At the top of the screen: its tag would stand above the visible frame, so it overlaps it.
  auto mail = openWindow(Rect(200, 25, 600, 400), "Mail");
  manager().createTag(mail);
  TagPanel& panel = *tag(0).panel;
  tick();
  tick();
  EXPECT_EQ(panel.frame().maxY(), 875);
  auto list =
      server().copyWindowList(WindowList::optionOnScreenOnly | WindowList::excludeDesktopElements);
  desktop().setScreens(screenWithBar(60));
  ASSERT_EQ(
      server().copyWindowList(WindowList::optionOnScreenOnly | WindowList::excludeDesktopElements),
      list);
  tick();
  EXPECT_EQ(panel.frame().maxY(), 840);
}

TEST_F(TagManagerTest, ThePollKeepsRunningWhileAMenuOrAnAlertRuns) {
  auto mail = openWindow(Rect(200, 300, 600, 400), "Mail");
  manager().createTag(mail);
  TagPanel& panel = *tag(0).panel;
  for (RunLoopMode mode : {RunLoopMode::eventTracking, RunLoopMode::modal}) {
    SCOPED_TRACE(static_cast<int>(mode));
    Rect moved = tag(0).lastBounds == Rect(100, 200, 600, 400) ? Rect(300, 250, 600, 400)
                                                               : Rect(100, 200, 600, 400);
    // The window moves while the session runs; a few poll intervals later the session ends.
    loop().scheduleTimer(
        0.1, TimerKind::oneShot, [&](Timer&) { server().moveWindow(mail.windowNumber, moved); },
        mode);
    Rect followed, panelFrame;
    loop().scheduleTimer(
        0.3, TimerKind::oneShot,
        [&](Timer&) {
          followed = tag(0).lastBounds;
          panelFrame = panel.frame();
          loop().endNested(0);
        },
        mode);
    loop().post([&] { loop().runNested(mode); });
    runUntilIdle();
    EXPECT_EQ(followed, moved);
    EXPECT_EQ(panelFrame.origin.x, moved.origin.x + (moved.size.width - 100) / 2);
  }
}

TEST_F(TagManagerTest, AProcessIdOfZeroOrLessIsNeverProbedAndCountsAsGone) {
  for (std::int32_t pid : {0, -1}) {
    manager().createTag(
        WindowInfo{4000u + static_cast<std::uint32_t>(-pid), pid, Rect(100, 100, 300, 300), "Odd"});
  }
  auto mail = openWindow(Rect(200, 300, 600, 400), "Mail");
  manager().createTag(mail);
  tick();
  ASSERT_EQ(manager().tags().size(), 1u);
  EXPECT_EQ(tag(0).windowNumber, mail.windowNumber);
}

TEST_F(TagManagerTest, AnUnreadableWindowListLeavesTagsAsTheyAre) {
  auto mail = openWindow(Rect(200, 300, 600, 400), "Mail");
  manager().createTag(mail);
  TagPanel& panel = *tag(0).panel;
  Rect before = panel.frame();
  server().quitApplication(mail.ownerPID);

  Value goodEntry(Value::Dictionary{
      {std::string(WindowList::numberKey), Value(mail.windowNumber)},
      {std::string(WindowList::boundsKey), WindowList::boundsDictionary(Rect(0, 0, 500, 500))}});
  struct Case {
    const char* name;
    std::optional<Value> list;  // nothing: unavailable
  } cases[] = {
      {"unavailable", std::nullopt},
      {"not a list", Value("garbage")},
      {"not a list of dictionaries", Value(Value::Array{goodEntry, Value(3)})},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    server().setWindowListUnavailable(!c.list);
    server().overrideWindowList(c.list);
    tick();
    ASSERT_EQ(manager().tags().size(), 1u);
    EXPECT_TRUE(panel.isVisible());
    EXPECT_EQ(panel.frame(), before);
    EXPECT_EQ(tag(0).lastBounds, mail.bounds);
  }

  // Entries without a usable number or bounds are skipped; a later entry for the same window
  // replaces an earlier one.
  Value::Dictionary badBounds{{std::string(WindowList::numberKey), Value(mail.windowNumber)},
                              {std::string(WindowList::boundsKey), Value("wide")}};
  Value::Dictionary later{
      {std::string(WindowList::numberKey), Value(mail.windowNumber)},
      {std::string(WindowList::boundsKey), WindowList::boundsDictionary(Rect(300, 100, 500, 500))}};
  server().setWindowListUnavailable(false);
  server().overrideWindowList(
      Value(Value::Array{Value(Value::Dictionary{{std::string(WindowList::boundsKey), goodEntry}}),
                         goodEntry, Value(later), Value(badBounds)}));
  tick();
  ASSERT_EQ(manager().tags().size(), 1u);
  EXPECT_EQ(tag(0).lastBounds, Rect(300, 100, 500, 500));

  server().overrideWindowList(std::nullopt);
  tick();
  EXPECT_TRUE(manager().tags().empty());
}

TEST_F(TagManagerTest, ReturnIsHandledForEveryFieldAndOtherCommandsAreNot) {
  auto window = std::make_shared<Window>(Rect(100, 100, 300, 200), StyleMask::titled);
  auto field = std::make_shared<TextField>(Rect(10, 10, 100, 20));
  window->contentView()->addSubview(field);
  EXPECT_TRUE(manager().doCommandBy(*field, TextCommand::insertNewline));
  EXPECT_FALSE(manager().doCommandBy(*field, TextCommand::cancelOperation));
  EXPECT_FALSE(manager().doCommandBy(*field, TextCommand::insertTab));
  // A field that belongs to no tag changes nothing.
  manager().createTag(openWindow(Rect(200, 300, 600, 400)));
  field->setStringValue("stray");
  manager().controlTextDidChange(*field);
  EXPECT_EQ(tag(0).text, "");
}

}  // namespace
}  // namespace flagrig
