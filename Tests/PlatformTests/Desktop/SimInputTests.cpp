#include <gtest/gtest.h>

#include "Platform/Desktop/Application.h"
#include "Platform/Desktop/Button.h"
#include "Platform/Desktop/ClickGestureRecognizer.h"
#include "Platform/Desktop/Panel.h"
#include "Platform/Desktop/TextField.h"
#include "Support/SimTest.h"

namespace platform {
namespace {

// A tag-like panel: takes key status, and Esc ends editing instead of closing it.
class LabelPanel : public Panel {
 public:
  LabelPanel() : Panel(Rect(200, 500, 100, 26), StyleMask::nonactivatingPanel) {
    setHidesOnDeactivate(false);
    field = std::make_shared<TextField>(Rect(26, 2, 50, 18));
    contentView()->addSubview(field);
  }
  bool canBecomeKey() const override { return true; }
  void cancelOperation() override {
    ++cancels;
    makeFirstResponder(nullptr);
  }
  std::shared_ptr<TextField> field;
  int cancels = 0;
};

struct RecordingFieldDelegate : TextFieldDelegate {
  std::vector<std::string> texts;
  std::vector<TextCommand> commands;
  bool handles = false;
  void controlTextDidChange(TextField& field) override { texts.push_back(field.stringValue()); }
  bool doCommandBy(TextField&, TextCommand command) override {
    commands.push_back(command);
    return handles;
  }
};

class SimInputTest : public testing::SimTest {
 protected:
  sim::SimDesktop& desktop() { return *sim().desktop; }
  Application& app() { return Application::shared(); }
  std::int32_t launchOther() {
    auto pid = desktop().windowServer().launchApplication("Terminal");
    desktop().activateForeignApplication(pid);
    return pid;
  }
};

TEST_F(SimInputTest, AClickGoesToTheTopmostWindowAtThePoint) {
  // Two overlapping windows of ours and, later, a foreign one above both.
  int backClicks = 0, frontClicks = 0;
  auto back = std::make_shared<Window>(Rect(100, 100, 300, 300), StyleMask::titled);
  auto backButton = Button::withTitle("Back", [&](Control&) { ++backClicks; });
  backButton->setFrame(Rect(0, 0, 300, 300));
  back->contentView()->addSubview(backButton);
  back->makeKeyAndOrderFront();
  auto front = std::make_shared<Window>(Rect(200, 200, 300, 300), StyleMask::titled);
  auto frontButton = Button::withTitle("Front", [&](Control&) { ++frontClicks; });
  frontButton->setFrame(Rect(0, 0, 300, 300));
  front->contentView()->addSubview(frontButton);
  front->makeKeyAndOrderFront();

  desktop().click({250, 250});
  EXPECT_EQ(frontClicks, 1);
  EXPECT_EQ(backClicks, 0);
  EXPECT_TRUE(app().isActive());
  EXPECT_EQ(desktop().mouseLocation(), (Point{250, 250}));
  desktop().click({150, 150});
  EXPECT_EQ(backClicks, 1);
  // Clicking a plain window brings it to the front and makes it key.
  EXPECT_TRUE(back->isKeyWindow());
  EXPECT_EQ(desktop().windowServer().stackingOrder().front(), back->windowNumber());

  // A foreign window in front takes the click and its application becomes frontmost.
  auto& server = desktop().windowServer();
  auto other = server.launchApplication("Preview");
  server.openWindow(other, Rect(0, 0, 1440, 900));  // covers everything
  desktop().click({250, 250});
  EXPECT_EQ(frontClicks + backClicks, 2);
  EXPECT_EQ(desktop().frontmostPID(), other);
  EXPECT_FALSE(app().isActive());
}

TEST_F(SimInputTest, AClickRunsAGestureInsteadOfTheViewsMouseDown) {
  struct Recorder : View {
    using View::View;
    int downs = 0;
    void mouseDown(const Event&) override { ++downs; }
  };
  auto overlay = std::make_shared<Window>(Rect(0, 0, 1440, 900), StyleMask::borderless);
  auto plain = std::make_shared<Recorder>(Rect(0, 0, 720, 900));
  auto dot = std::make_shared<Recorder>(Rect(720, 0, 720, 900));
  int recognized = 0;
  dot->addGestureRecognizer(
      std::make_shared<ClickGestureRecognizer>([&](ClickGestureRecognizer&) { ++recognized; }));
  overlay->contentView()->addSubview(plain);
  overlay->contentView()->addSubview(dot);
  overlay->orderFrontRegardless();

  desktop().click({100, 100});
  desktop().click({1000, 100});
  EXPECT_EQ(plain->downs, 1);
  EXPECT_EQ(dot->downs, 0);
  EXPECT_EQ(recognized, 1);
}

TEST_F(SimInputTest, TypingEditsTheFocusedFieldOfANonActivatingPanel) {
  launchOther();
  auto panel = std::make_shared<LabelPanel>();
  auto delegate = std::make_shared<RecordingFieldDelegate>();
  panel->field->setDelegate(delegate);
  panel->orderFrontRegardless();

  // Clicking the label makes the panel key and the field first responder, and the application
  // stays inactive.
  desktop().click({230, 510});
  EXPECT_FALSE(app().isActive());
  EXPECT_TRUE(panel->isKeyWindow());
  EXPECT_TRUE(panel->field->isEditing());

  desktop().type("Hi é");
  desktop().pressKey(KeyCode::deleteKey);
  EXPECT_EQ(panel->field->stringValue(), "Hi ");
  EXPECT_EQ(delegate->texts, (std::vector<std::string>{"H", "Hi", "Hi ", "Hi \xC3\xA9", "Hi "}));
  EXPECT_TRUE(desktop().keysSentElsewhere().empty());
}

TEST_F(SimInputTest, ReturnAndEscReachTheFieldsDelegateFirst) {
  auto panel = std::make_shared<LabelPanel>();
  auto delegate = std::make_shared<RecordingFieldDelegate>();
  panel->field->setDelegate(delegate);
  int actions = 0;
  panel->field->setAction([&](Control&) { ++actions; });
  panel->orderFrontRegardless();
  panel->makeKey();
  panel->makeFirstResponder(panel->field);

  // Unhandled: Return sends the field's action, Esc reaches the window's cancel operation.
  desktop().pressKey(KeyCode::returnKey);
  EXPECT_EQ(actions, 1);
  desktop().pressKey(KeyCode::escape);
  EXPECT_EQ(panel->cancels, 1);
  EXPECT_EQ(panel->firstResponder(), nullptr);
  EXPECT_TRUE(panel->isKeyWindow());

  panel->makeFirstResponder(panel->field);
  delegate->handles = true;
  desktop().pressKey(KeyCode::returnKey);
  desktop().pressKey(KeyCode::escape);
  EXPECT_EQ(actions, 1);
  EXPECT_EQ(panel->cancels, 1);
  EXPECT_EQ(delegate->commands,
            (std::vector<TextCommand>{TextCommand::insertNewline, TextCommand::cancelOperation,
                                      TextCommand::insertNewline, TextCommand::cancelOperation}));
}

TEST_F(SimInputTest, ALocalMonitorThatConsumesEscStopsItFromReachingTheKeyWindow) {
  app().activate();
  auto panel = std::make_shared<LabelPanel>();
  panel->orderFront();
  panel->makeKey();
  std::vector<std::uint16_t> seen;
  auto monitor = app().addLocalMonitor(eventMaskFor(EventType::keyDown),
                                       [&](const Event& e) -> std::optional<Event> {
                                         seen.push_back(e.keyCode);
                                         if (e.keyCode == KeyCode::escape) return std::nullopt;
                                         return e;
                                       });

  desktop().pressKey(KeyCode::escape);
  EXPECT_EQ(panel->cancels, 0);
  desktop().pressKey(KeyCode::space);
  EXPECT_EQ(seen, (std::vector<std::uint16_t>{KeyCode::escape, KeyCode::space}));

  app().removeMonitor(monitor);
  desktop().pressKey(KeyCode::escape);
  EXPECT_EQ(panel->cancels, 1);
  EXPECT_EQ(seen.size(), 2u);
}

TEST_F(SimInputTest, AGlobalMonitorSeesKeysSentToAnotherApplicationWhileTrusted) {
  std::vector<std::uint16_t> globalKeys;
  std::vector<std::uint16_t> localKeys;
  app().addGlobalMonitor(eventMaskFor(EventType::keyDown),
                         [&](const Event& e) { globalKeys.push_back(e.keyCode); });
  app().addLocalMonitor(eventMaskFor(EventType::keyDown),
                        [&](const Event& e) -> std::optional<Event> {
                          localKeys.push_back(e.keyCode);
                          return e;
                        });
  desktop().accessibility().setTrusted(true);

  app().activate();
  desktop().pressKey(KeyCode::escape);
  launchOther();
  desktop().pressKey(KeyCode::escape, ModifierFlag::shift);
  desktop().accessibility().setTrusted(false);
  desktop().pressKey(KeyCode::space);

  EXPECT_EQ(localKeys, (std::vector<std::uint16_t>{KeyCode::escape}));
  EXPECT_EQ(globalKeys, (std::vector<std::uint16_t>{KeyCode::escape}));
  ASSERT_EQ(desktop().keysSentElsewhere().size(), 4u);  // both key-downs and key-ups
  EXPECT_EQ(desktop().keysSentElsewhere()[0].modifierFlags, ModifierFlag::shift);
}

TEST_F(SimInputTest, ReturnAndEscPressTheButtonsWithThoseKeyEquivalents) {
  app().activate();
  auto window = std::make_shared<Window>(Rect(0, 0, 300, 100), StyleMask::titled);
  std::vector<std::string> pressed;
  auto ok = Button::withTitle("OK", [&](Control&) { pressed.push_back("OK"); });
  ok->setKeyEquivalent("\r");
  auto cancel = Button::withTitle("Cancel", [&](Control&) { pressed.push_back("Cancel"); });
  cancel->setKeyEquivalent("\x1b");
  auto quit = Button::withTitle("Quit", [&](Control&) { pressed.push_back("Quit"); });
  quit->setKeyEquivalent("q");
  for (auto& b : {ok, cancel, quit}) window->contentView()->addSubview(b);
  window->makeKeyAndOrderFront();

  desktop().pressKey(KeyCode::returnKey);
  desktop().pressKey(KeyCode::escape);
  desktop().type("q");
  desktop().pressKey(12, ModifierFlag::command);
  ok->setEnabled(false);
  desktop().pressKey(KeyCode::returnKey);
  EXPECT_EQ(pressed, (std::vector<std::string>{"OK", "Cancel", "Quit"}));
}

}  // namespace
}  // namespace platform
