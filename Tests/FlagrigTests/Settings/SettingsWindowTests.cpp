#include <gtest/gtest.h>

#include "Flagrig/Diagnostics/DiagnosticLogBuffer.h"
#include "Flagrig/Settings/TagEditorHost.h"
#include "Flagrig/Shell/ActivationPolicyController.h"
#include "Flagrig/Shell/AppDelegate.h"
#include "Flagrig/Tagging/TagEditorView.h"
#include "Flagrig/Tagging/TagManager.h"
#include "Platform/Desktop/Application.h"
#include "Platform/Desktop/Button.h"
#include "Platform/Desktop/Event.h"
#include "Platform/Desktop/Screen.h"
#include "Platform/Desktop/Window.h"
#include "Platform/Forms/FormLayout.h"
#include "Platform/Forms/FormMetrics.h"
#include "Platform/Foundation/Bundle.h"
#include "Platform/Foundation/NotificationCenter.h"
#include "SettingsTest.h"

namespace flagrig::testing {
namespace {

using platform::Application;
using platform::Rect;
using platform::Value;

class SettingsWindowTest : public SettingsTest {
 protected:
  // The tag editor, in its window as the desktop's form renderer places a hosted view.
  std::shared_ptr<TagEditorView> editorInWindow() {
    const auto* node = form().findAll(NodeKind::nativeView).at(0);
    auto editor = std::dynamic_pointer_cast<TagEditorView>(node->nativeView());
    if (editor) controller().window()->contentView()->addSubview(editor);
    return editor;
  }
  // Presses Tab until the focus is on a hosted control that is `wanted`.
  bool tabTo(const std::function<bool(platform::Control&)>& wanted) {
    for (int i = 0; i < 80; ++i) {
      if (auto* c = form().focusedHostedControl(); c && wanted(*c)) return true;
      form().pressKey(platform::forms::Key::tab);
    }
    return false;
  }
  static std::function<bool(platform::Control&)> titled(std::string_view title) {
    return [title](platform::Control& c) {
      auto* b = dynamic_cast<platform::Button*>(&c);
      return b && b->title() == title;
    };
  }
};

TEST_F(SettingsWindowTest, TheWindowIsBuiltOnceAndEveryOpeningCentresItAndIsCounted) {
  open();
  auto window = controller().window();
  ASSERT_TRUE(window);
  EXPECT_EQ(window->title(), "Flagrig Settings");
  EXPECT_EQ(window->contentRect().size.width, 460);
  EXPECT_EQ(window->contentRect().size.height, 640);
  EXPECT_EQ(window->styleMask(), platform::StyleMask::titled | platform::StyleMask::closable |
                                     platform::StyleMask::miniaturizable)
      << "not resizable";
  EXPECT_EQ(window->contentMinSize().width, 460);
  EXPECT_EQ(window->contentMinSize().height, 480);
  EXPECT_FALSE(window->isReleasedWhenClosed());
  EXPECT_TRUE(window->isVisible());
  EXPECT_TRUE(window->isKeyWindow());
  EXPECT_EQ(Application::shared().activationPolicy(), platform::ActivationPolicy::regular);
  const Rect centred = window->frame();
  auto* host = &form();

  for (int i = 0; i < 2; ++i) {
    advance(600);  // past the analytics throttle's coalescing of repeats
    window->setFrameOrigin({3, 4});
    open();
    EXPECT_EQ(controller().window(), window) << "the same window";
    EXPECT_EQ(&form(), host) << "the same form";
    EXPECT_EQ(window->frame(), centred) << "re-centred on opening " << i + 2;
  }
  auto names = eventNames();
  EXPECT_EQ(std::count(names.begin(), names.end(), "settings_viewed"), 3);
}

TEST_F(SettingsWindowTest, ClosingHidesTheWindowAndKeepsTheFormState) {
  open();
  auto window = controller().window();
  form().tap(FlagrigSettingsView::resetTitle);
  runUntilIdle();
  ASSERT_TRUE(form().presented());
  form().answer(FlagrigSettingsView::cancelTitle);
  view().startSignIn(voskary::OAuthDriver::ProviderHint::email);  // no bridge: fails
  runUntilIdle();
  const auto message = view().statusMessage();
  ASSERT_TRUE(message);

  window->performClose();
  runUntilIdle();
  EXPECT_FALSE(window->isVisible());
  open();
  EXPECT_EQ(controller().window(), window);
  EXPECT_EQ(view().statusMessage(), message);
  EXPECT_TRUE(shows(*message));
}

// The window only hides when closed: a hotkey recording left running would swallow the next
// key typed anywhere in the app (a tag's label, say), and the reopened window would still wait.
TEST_F(SettingsWindowTest, ClosingTheWindowEndsAHotkeyRecording) {
  open();
  auto window = controller().window();
  const auto* node = form().findAll(NodeKind::nativeView).at(0);
  auto editor = std::dynamic_pointer_cast<TagEditorView>(node->nativeView());
  ASSERT_TRUE(editor);
  auto& application = Application::shared();
  const auto monitors = application.monitorCount();
  const auto shown = editor->hotkeyButton()->title();
  const auto hotkey = TagManager::shared().hotkeyCode();
  editor->hotkeyButton()->performClick();
  ASSERT_TRUE(editor->isRecordingHotkey());

  window->performClose();
  runUntilIdle();
  EXPECT_FALSE(editor->isRecordingHotkey());
  EXPECT_EQ(application.monitorCount(), monitors);
  std::optional<platform::Event> passedOn;
  auto probe =
      application.addLocalMonitor(platform::eventMaskFor(platform::EventType::keyDown),
                                  [&](const platform::Event& e) -> std::optional<platform::Event> {
                                    passedOn = e;
                                    return e;
                                  });
  application.sendEvent(
      platform::Event::key(platform::EventType::keyDown, 0, platform::ModifierFlag::control, "a"));
  application.removeMonitor(probe);
  EXPECT_TRUE(passedOn) << "the key reaches the app";
  EXPECT_EQ(TagManager::shared().hotkeyCode(), hotkey) << "and is no new hotkey";

  open();
  EXPECT_EQ(editor->hotkeyButton()->title(), shown);
  EXPECT_TRUE(editor->hotkeyButton()->isEnabled());
}

// Keyboard only: Tab reaches the tag editor's controls, Space works them, and while the
// recorder waits the keys are its own (Tab ends the recording, as any plain key does).
TEST_F(SettingsWindowTest, TheTagEditorIsWorkedWithTheKeyboard) {
  open();
  auto window = controller().window();
  auto editor = editorInWindow();
  ASSERT_TRUE(editor);
  const auto entries = TagManager::shared().palette().size();
  ASSERT_TRUE(tabTo(titled("+ Add Color")));
  EXPECT_TRUE(form().pressKey(platform::forms::Key::space));
  EXPECT_EQ(TagManager::shared().palette().size(), entries + 1);

  const auto hotkey = TagManager::shared().hotkeyCode();
  ASSERT_TRUE(tabTo([&](platform::Control& c) { return &c == editor->hotkeyButton().get(); }));
  EXPECT_TRUE(form().pressKey(platform::forms::Key::returnKey));
  ASSERT_TRUE(editor->isRecordingHotkey());
  EXPECT_EQ(window->firstResponder(), editor) << "the form leaves the keys to the recorder";
  // The user looks elsewhere and comes back while the recorder waits: the form draws again.
  platform::env().notificationCenter->post(std::string(Application::didBecomeActiveNotification),
                                           &Application::shared());
  runUntilIdle();
  Application::shared().sendEvent(
      platform::Event::key(platform::EventType::keyDown, platform::KeyCode::tab, 0, "\t"));
  EXPECT_FALSE(editor->isRecordingHotkey());
  EXPECT_EQ(TagManager::shared().hotkeyCode(), hotkey);
  EXPECT_EQ(window->firstResponder(), nullptr);
  EXPECT_EQ(form().focusedHostedControl(), editor->hotkeyButton().get())
      << "the focus stays on the button it was disabled on";
}

// The editor lays itself out afresh after each change, with rows coming and going above the
// control just worked: the focus stays on that control, so that pressing it again does what
// it did, never what the control now standing at its place does.
TEST_F(SettingsWindowTest, AControlWorkedTwiceFromTheKeyboardDoesTheSameTwice) {
  open();
  auto editor = editorInWindow();
  ASSERT_TRUE(editor);
  auto& manager = TagManager::shared();
  const auto entries = manager.palette().size();
  ASSERT_TRUE(tabTo(titled("+ Add Color")));
  for (int i = 0; i < 2; ++i) {
    EXPECT_TRUE(form().pressKey(platform::forms::Key::space));
    runUntilIdle();
  }
  EXPECT_EQ(manager.palette().size(), entries + 2);
  EXPECT_TRUE(titled("+ Add Color")(*form().focusedHostedControl()));

  const auto shape = manager.tagShape();
  ASSERT_TRUE(tabTo(titled("Reset to Defaults")));
  for (int i = 0; i < 2; ++i) {
    EXPECT_TRUE(form().pressKey(platform::forms::Key::space));
    runUntilIdle();
  }
  EXPECT_EQ(manager.palette().size(), TagManager::defaultPalette().size());
  EXPECT_EQ(manager.tagShape(), shape);
  EXPECT_TRUE(titled("Reset to Defaults")(*form().focusedHostedControl()));
}

TEST_F(SettingsWindowTest, SectionsStandInTheirOrderOnADarkForm) {
  open();
  const auto& root = form().tree();
  ASSERT_EQ(root.kind(), NodeKind::scroll);
  ASSERT_EQ(root.children().size(), 1u);
  const auto& tree = root.children()[0];
  EXPECT_EQ(tree.kind(), NodeKind::form);
  std::vector<std::string> headers;
  for (const auto& child : tree.children())
    if (child.kind() == NodeKind::section) headers.push_back(child.text());
  EXPECT_EQ(headers, (std::vector<std::string>{"Account", "General", "Tags", "Updates",
                                               "Help & Diagnostics", "About", "Advanced"}));
  EXPECT_EQ(tree.colorScheme(), platform::forms::ColorScheme::dark);
  EXPECT_EQ(tree.accentColor(), FlagrigSettingsView::accent());
  EXPECT_EQ(tree.frame().minWidth, 460);
  EXPECT_EQ(tree.frame().minHeight, 480);
}

// Laid out at the window's size, every section's group has the same edges and every row keeps
// the group's inset: the provider buttons and the tag editor's controls (inside the editor's
// own edge) as much as a caption or a toggle.
TEST_F(SettingsWindowTest, EverySectionAndRowLinesUpWithTheOthers) {
  using platform::forms::FormMetrics;
  open();
  const auto& tree = form().tree();
  auto layout = platform::forms::FormLayout::layout(tree, {460, 640});
  const auto& sections = tree.children()[0].children();
  const Rect* first = layout.frameOf(sections.front().identity());
  ASSERT_TRUE(first);
  bool sawProviders = false, sawEditor = false;
  for (const auto& section : sections) {
    const Rect* group = layout.frameOf(section.identity());
    ASSERT_TRUE(group) << section.text();
    EXPECT_EQ(group->x(), first->x()) << section.text();
    EXPECT_EQ(group->width(), first->width()) << section.text();
    for (const auto& row : section.children()) {
      const Rect* at = layout.frameOf(row.identity());
      ASSERT_TRUE(at) << row.identity();
      const bool editor = row.kind() == NodeKind::nativeView;
      const bool providers = row.identity().ends_with("/providers");
      sawEditor |= editor;
      sawProviders |= providers;
      const double edge = editor ? TagEditorHost::editorEdge : 0;
      EXPECT_EQ(at->x() + edge, group->x() + FormMetrics::sectionInset) << row.identity();
      if (editor || providers) {
        EXPECT_EQ(at->maxX() - edge, group->maxX() - FormMetrics::sectionInset) << row.identity();
      }
    }
  }
  EXPECT_TRUE(sawProviders && sawEditor) << "the signed-out form has both";
}

TEST_F(SettingsWindowTest, AnOpenUnchangedWindowDoesNotRedraw) {
  open();
  const int renders = form().renderCount();
  advance(3600);
  runUntilIdle();
  EXPECT_EQ(form().renderCount(), renders);
}

TEST_F(SettingsWindowTest, BecomingActiveRechecksThePermissions) {
  sim().desktop->accessibility();  // created
  open();
  // Nothing here grants on the simulated machine until told; the row follows each activation.
  const bool before = shows(FlagrigSettingsView::accessibilityGranted);
  const int ticks = view().permissionTick();
  platform::env().notificationCenter->post(std::string(Application::didBecomeActiveNotification),
                                           &Application::shared());
  runUntilIdle();
  EXPECT_EQ(view().permissionTick(), ticks + 1);
  EXPECT_EQ(shows(FlagrigSettingsView::accessibilityGranted), before);
}

// Verbose logging ends by itself after 24 hours; the open window shows it off once the app is
// active again, not only at the next opening.
TEST_F(SettingsWindowTest, TheVerboseToggleFollowsItsExpiryOnActivation) {
  open();
  form().setToggle(FlagrigSettingsView::verboseTitle, true);
  runUntilIdle();
  EXPECT_TRUE(isOn(FlagrigSettingsView::verboseTitle));
  advance(DiagnosticLogBuffer::verboseLifetime + 1);
  platform::env().notificationCenter->post(std::string(Application::didBecomeActiveNotification),
                                           &Application::shared());
  runUntilIdle();
  EXPECT_FALSE(isOn(FlagrigSettingsView::verboseTitle));
  EXPECT_FALSE(DiagnosticLogBuffer::isVerboseEnabled());
}

TEST_F(SettingsWindowTest, TheVerboseToggleShowsTheLogsStateWhenOpened) {
  DiagnosticLogBuffer::setVerboseEnabled(true);
  open();
  EXPECT_TRUE(isOn(FlagrigSettingsView::verboseTitle));
  controller().window()->close();
  advance(DiagnosticLogBuffer::verboseLifetime + 1);
  open();
  EXPECT_FALSE(isOn(FlagrigSettingsView::verboseTitle));
}

TEST_F(SettingsWindowTest, TheStatusMenusSettingsItemOpensTheSameWindowEachTime) {
  auto delegate = std::make_shared<AppDelegate>();
  Application::shared().setDelegate(delegate);
  delegate->openSettings();
  runUntilIdle();
  auto window = controller().window();
  ASSERT_TRUE(window && window->isVisible());
  delegate->openSettings();
  runUntilIdle();
  EXPECT_EQ(controller().window(), window);
  int settingsWindows = 0;
  for (const auto& w : Application::shared().windows())
    if (w->title() == SettingsWindowController::title) ++settingsWindows;
  EXPECT_EQ(settingsWindows, 1);
}

TEST_F(SettingsWindowTest, VersionRowCarriesTheBuildNumberWhenItIsText) {
  struct Case {
    std::optional<Value> build;
    std::string shown;
  };
  const std::vector<Case> cases{
      {Value("45"), "1.2 (45)"}, {std::nullopt, "1.2 ()"}, {Value(std::int64_t{45}), "1.2 ()"}};
  for (const auto& c : cases) {
    Value::Dictionary info{{"CFBundleShortVersionString", Value("1.2")}};
    if (c.build) info.emplace("CFBundleVersion", *c.build);
    sim().bundle->setInfoDictionary(Value(info));
    EXPECT_EQ(FlagrigSettingsView::versionText(), c.shown);
  }
  open();
  const Node* version = form().find(NodeKind::labeledContent, "Version");
  ASSERT_TRUE(version);
  std::vector<std::string> texts;
  collectTexts(*version, texts);
  EXPECT_EQ(texts.back(), "1.2 ()");
}

}  // namespace
}  // namespace flagrig::testing
