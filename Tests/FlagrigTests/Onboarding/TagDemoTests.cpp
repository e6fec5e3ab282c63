#include <gtest/gtest.h>

#include "../Shell/ShellTest.h"
#include "Flagrig/Onboarding/TagDemoModel.h"
#include "Flagrig/Onboarding/TagDemoView.h"
#include "Flagrig/Onboarding/TagDemoWindowController.h"
#include "Flagrig/Tagging/TagManager.h"
#include "Flagrig/Tagging/TagNotifications.h"
#include "Flagrig/Tagging/WindowPicker.h"
#include "Platform/Desktop/Screen.h"
#include "Platform/Forms/FormHost.h"

namespace flagrig {
namespace {

using namespace platform;
namespace forms = platform::forms;
using Stage = TagDemoStage;

TEST(TagDemoModelTest, OnlyARealChangeNotifiesEachObserverOnce) {
  TagDemoModel model;
  std::vector<Stage> first, second;
  auto a = model.observe([&](Stage s) { first.push_back(s); });
  model.observe([&](Stage s) { second.push_back(s); });
  model.setStage(Stage::intro);  // the initial stage
  model.setStage(Stage::success);
  model.setStage(Stage::success);
  model.removeObserver(a);
  model.setStage(Stage::intro);
  EXPECT_EQ(first, std::vector<Stage>{Stage::success});
  EXPECT_EQ(second, (std::vector<Stage>{Stage::success, Stage::intro}));
  EXPECT_EQ(model.observerCount(), 1u);
}

class TagDemoTest : public testing::ShellTest {
 protected:
  void SetUp() override {
    ShellTest::SetUp();
    ax().setTrusted(true);
    TagDemoWindowController::install();
  }
  TagDemoWindowController& demo() { return TagDemoWindowController::shared(); }
  std::shared_ptr<Window> window() { return demo().window(); }
  forms::FormHost& host() { return *demo().host(); }
  bool tap(std::string_view title) {
    runUntilIdle();
    bool tapped = host().tap(title);
    runUntilIdle();
    return tapped;
  }
  void presentWithPicks() {
    demo().present([this] { ++picksAsked, TagManager::startTaggingPick(); },
                   [this] { ++finished; });
    runUntilIdle();
  }
  // A click in the middle of a foreign window, as the pick's user makes it.
  void clickOn(const WindowInfo& info) {
    desktop().click(toScreen(Point(info.bounds.midX(), info.bounds.midY())));
    runUntilIdle();
  }
  void escape() {
    desktop().pressKey(KeyCode::escape);
    runUntilIdle();
  }
  bool completeStored() { return defaults().boolForKey(TagDemoWindowController::completeKey); }

  int picksAsked = 0;
  int finished = 0;
};

TEST_F(TagDemoTest, PresentShowsTheIntroCentredInFront) {
  presentWithPicks();
  ASSERT_TRUE(window()->isVisible());
  EXPECT_EQ(app().keyWindow(), window());
  EXPECT_EQ(window()->title(), "Flagrig");
  EXPECT_EQ(window()->contentRect().size, Size(460, 420));
  Rect screen = Screen::main()->visibleFrame();
  Rect frame = window()->frame();
  EXPECT_NEAR(frame.midX(), screen.midX(), 1);
  EXPECT_EQ(app().activationPolicy(), ActivationPolicy::regular);
  EXPECT_EQ(demo().model().stage(), Stage::intro);
  EXPECT_TRUE(host().find(forms::NodeKind::text, TagDemoView::introTitle));
  EXPECT_TRUE(host().find(forms::NodeKind::button, TagDemoView::skipTitle));
  EXPECT_FALSE(host().find(forms::NodeKind::button, TagDemoView::doneTitle));
  EXPECT_EQ(trackedEvents(), std::vector<std::string>{"tag_demo_shown"});
}

TEST_F(TagDemoTest, TheStageTable) {
  auto notes = openWindow(Rect(200, 200, 500, 400));
  struct Case {
    const char* how;
    std::function<void()> act;
    Stage stage;
    bool visible;
    // Brought forward again (key), rather than left where it was.
    bool comesForward;
  };
  const Case cases[] = {
      {"tag a window, then a click tags one",
       [&] {
         tap(TagDemoView::tagAWindowTitle);
         EXPECT_FALSE(window()->isVisible());
         EXPECT_TRUE(demo().isHiddenForPicker());
         clickOn(notes);
       },
       Stage::success, true, true},
      {"tag a window, then Esc", [&] { tap(TagDemoView::tagAWindowTitle), escape(); }, Stage::intro,
       true, true},
      {"the hotkey's pick while the intro shows",
       [&] {
         TagManager::startTaggingPick();
         clickOn(notes);
       },
       Stage::success, true, true},
      {"a pick cancelled while the demo shows",
       [&] {
         TagManager::startTaggingPick();
         escape();
       },
       Stage::intro, true, false},
      {"a tag made at the success stage",
       [&] {
         TagManager::startTaggingPick();
         clickOn(notes);
         TagManager::shared().removeAll();
         TagManager::startTaggingPick();
         clickOn(notes);
       },
       Stage::success, true, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.how);
    TagManager::shared().removeAll();
    presentWithPicks();
    int rendersBefore = host().renderCount();
    c.act();
    runUntilIdle();
    EXPECT_EQ(demo().model().stage(), c.stage);
    EXPECT_EQ(window()->isVisible(), c.visible);
    EXPECT_FALSE(demo().isHiddenForPicker());
    EXPECT_FALSE(WindowPicker::shared().isPicking());
    EXPECT_FALSE(WindowPicker::shared().hasKeyMonitors()) << "the pick's Esc monitors stay";
    if (c.comesForward) {
      EXPECT_EQ(app().keyWindow(), window());
    }
    EXPECT_EQ(host().renderCount() > rendersBefore, c.stage == Stage::success);
    EXPECT_EQ(host().find(forms::NodeKind::button, TagDemoView::doneTitle) != nullptr,
              c.stage == Stage::success);
  }
  EXPECT_EQ(finished, 0);
}

TEST_F(TagDemoTest, ATagMadeWhileTheDemoIsClosedChangesNothing) {
  auto notes = openWindow(Rect(200, 200, 500, 400));
  presentWithPicks();
  window()->performClose();
  runUntilIdle();
  TagManager::startTaggingPick();
  clickOn(notes);
  EXPECT_EQ(demo().model().stage(), Stage::intro);
  EXPECT_FALSE(window()->isVisible());
}

TEST_F(TagDemoTest, TagAWindowHidesTheDemoOnlyOnceAPickHasStarted) {
  struct Case {
    const char* how;
    std::function<void()> onTagAWindow;
    bool hides;
  };
  const Case cases[] = {
      {"no callback", nullptr, false},
      {"a callback that starts no pick", [] {}, false},
      {"a pick that cannot open (no screens)",
       [&] {
         desktop().setScreens(std::vector<std::shared_ptr<Screen>>{});
         TagManager::startTaggingPick();
       },
       false},
      {"a pick", [] { TagManager::startTaggingPick(); }, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.how);
    desktop().setScreens({Rect(0, 0, 1440, 900)});
    WindowPicker::shared().dismiss();
    demo().present(c.onTagAWindow, [] {});
    runUntilIdle();
    tap(TagDemoView::tagAWindowTitle);
    EXPECT_EQ(window()->isVisible(), !c.hides);
    EXPECT_EQ(demo().isHiddenForPicker(), c.hides);
  }
}

TEST_F(TagDemoTest, OnFinishedRunsOnceHoweverTheWindowCloses) {
  struct Case {
    const char* how;
    std::function<void()> close;
    bool stores;
    const char* event;
  };
  auto notes = openWindow(Rect(200, 200, 500, 400));
  const Case cases[] = {
      {"Skip for now", [&] { tap(TagDemoView::skipTitle); }, true, "tag_demo_skipped"},
      {"Done",
       [&] {
         TagManager::startTaggingPick();
         clickOn(notes);
         EXPECT_TRUE(tap(TagDemoView::doneTitle));
       },
       true, "tag_demo_completed"},
      {"the close button", [&] { window()->performClose(); }, false, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.how);
    TagManager::shared().removeAll();
    defaults().removeObject(TagDemoWindowController::completeKey);
    finished = 0;
    presentWithPicks();
    auto before = trackedEvents().size();
    c.close();
    runUntilIdle();
    EXPECT_EQ(finished, 1);
    EXPECT_FALSE(window()->isVisible());
    EXPECT_EQ(completeStored(), c.stores);
    auto events = trackedEvents();
    std::vector<std::string> added(events.begin() + static_cast<long>(before), events.end());
    std::vector<std::string> expected;
    if (c.event) expected.push_back(c.event);
    if (std::string_view(c.how) == "Done") expected.insert(expected.begin(), "tag_created");
    EXPECT_EQ(added, expected);
    // Nothing is left behind: no callbacks, no observers; a second close calls nothing.
    EXPECT_FALSE(demo().hasCallbacks());
    EXPECT_FALSE(demo().hasObservers());
    window()->makeKeyAndOrderFront();
    window()->performClose();
    runUntilIdle();
    EXPECT_EQ(finished, 1);
  }
}

TEST_F(TagDemoTest, PresentingAgainReplacesTheCallbacksAndReArmsTheFinish) {
  auto notes = openWindow(Rect(200, 200, 500, 400));
  int firstFinished = 0;
  demo().present([] {}, [&] { ++firstFinished; });
  TagManager::startTaggingPick();
  clickOn(notes);
  ASSERT_EQ(demo().model().stage(), Stage::success);
  window()->setFrameOrigin({0, 0});
  presentWithPicks();
  EXPECT_EQ(demo().model().stage(), Stage::intro);
  EXPECT_NEAR(window()->frame().midX(), Screen::main()->visibleFrame().midX(), 1) << "recentred";
  tap(TagDemoView::tagAWindowTitle);
  EXPECT_EQ(picksAsked, 1) << "the new callback";
  escape();
  window()->performClose();
  runUntilIdle();
  EXPECT_EQ(firstFinished, 0);
  EXPECT_EQ(finished, 1);
}

TEST_F(TagDemoTest, ReviewModeRecordsNothingAndObservesNothing) {
  demo().setReviewMode(true);
  demo().show(Stage::success);
  runUntilIdle();
  EXPECT_TRUE(host().find(forms::NodeKind::button, TagDemoView::doneTitle));
  EXPECT_FALSE(demo().hasObservers());
  tap(TagDemoView::doneTitle);
  EXPECT_FALSE(window()->isVisible());
  EXPECT_FALSE(completeStored());

  demo().show(Stage::intro);
  runUntilIdle();
  tap(TagDemoView::tagAWindowTitle);
  EXPECT_TRUE(window()->isVisible());
  EXPECT_FALSE(WindowPicker::shared().isPicking());
  tap(TagDemoView::skipTitle);
  EXPECT_FALSE(completeStored());
  EXPECT_TRUE(trackedEvents().empty());
}

// The launch route of a first launch, with the real demo, as a user goes through it.
TEST_F(TagDemoTest, AFirstLaunchTagsAWindowAndOpensTheStatusMenuAfterDone) {
  auto notes = openWindow(Rect(200, 200, 500, 400));
  auto delegate = launch();
  ASSERT_TRUE(window()->isVisible());
  EXPECT_TRUE(tap(TagDemoView::tagAWindowTitle));
  EXPECT_FALSE(window()->isVisible());
  clickOn(notes);
  ASSERT_EQ(TagManager::shared().tags().size(), 1u);
  EXPECT_TRUE(window()->isVisible());
  EXPECT_TRUE(tap(TagDemoView::doneTitle));
  EXPECT_TRUE(completeStored());
  auto presses = [&] {
    int n = 0;
    for (const auto& op : ax().operations()) n += op.ends_with("AXPress");
    return n;
  };
  advance(0.44);
  EXPECT_EQ(presses(), 0);
  advance(0.02);
  EXPECT_EQ(presses(), 1) << "the status menu opens 0.45 s after Done";

  // The next launch shows no demo.
  TagManager::shared().removeAll();
  auto again = launch();
  EXPECT_FALSE(window()->isVisible());
}

// A stored flag of the wrong type reads as the platform reads a boolean; anything it cannot
// read as true offers the demo, and finishing it stores a real boolean.
TEST_F(TagDemoTest, AWrongTypedFlagNeitherCrashesNorSticks) {
  struct Case {
    const char* how;
    Value stored;
    bool shows;
  };
  const Case cases[] = {
      {"an array", Value(Value::Array{Value(true)}), true},
      {"a word", Value("garbage"), true},
      {"zero", Value(0), true},
      {"\"YES\"", Value("YES"), false},
      {"one", Value(1), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.how);
    TearDown();
    SetUp();
    defaults().set(TagDemoWindowController::completeKey, c.stored);
    auto delegate = launch();
    EXPECT_EQ(window()->isVisible(), c.shows);
    if (!c.shows) continue;
    EXPECT_TRUE(tap(TagDemoView::skipTitle));
    auto stored = defaults().object(TagDemoWindowController::completeKey);
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->kind(), Value::Kind::boolean);
    EXPECT_TRUE(completeStored());
  }
}

}  // namespace
}  // namespace flagrig
