#include <sys/resource.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QGuiApplication>
#include <QSystemTrayIcon>
#include <QMenu>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <atomic>
#include <thread>

#include "Platform/Desktop/Alert.h"
#include "Platform/Desktop/Application.h"
#include "Platform/Desktop/Button.h"
#include "Platform/Desktop/Menu.h"
#include "Platform/Desktop/Panel.h"
#include "Platform/Desktop/StatusBar.h"
#include "Platform/Desktop/TextField.h"
#include "Platform/Desktop/Window.h"
#include "Platform/Foundation/RunLoop.h"
#include "QtDesktopTest.h"

namespace platform::testing {
namespace {

using QtDesktopTests = QtDesktopTest;

double threadCPUSeconds() {
  rusage usage{};
  getrusage(RUSAGE_THREAD, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// A panel like a tag: borderless, non-activating, a coloured rounded body and a label.
class LabelPanel final : public Panel {
 public:
  explicit LabelPanel(Rect rect) : Panel(rect, StyleMask::nonactivatingPanel) {}
  bool canBecomeKey() const override { return true; }
};

TEST_F(QtDesktopTests, TheLoopWaitsInsideQtAndWakesForPostsTimersSourcesAndQtsOwnEvents) {
  // Work posted from another thread wakes the wait.
  std::atomic<bool> posted{false};
  std::thread poster([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    loop().post([&] { posted = true; });
  });
  EXPECT_TRUE(runUntil([&] { return posted.load(); }, 10));
  poster.join();

  // A deadline is met, not missed and not anticipated by much.
  auto start = loop().clock().uptime();
  Uptime firedAt{};
  loop().postAfter(0.12, [&] { firedAt = loop().clock().uptime(); });
  EXPECT_TRUE(runUntil([&] { return firedAt.count() != 0; }, 10));
  EXPECT_GE(toSeconds(firedAt - start), 0.12);
  EXPECT_LT(toSeconds(firedAt - start), 0.5);

  // A read source is served, and removed it is not called again.
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  int reads = 0;
  RunLoop::SourceId id = 0;
  id = loop().addReadSource(fds[0], [&] {
    char byte;
    if (read(fds[0], &byte, 1) == 1) ++reads;
    loop().removeReadSource(id);
  });
  ASSERT_EQ(write(fds[1], "x", 1), 1);
  EXPECT_TRUE(runUntil([&] { return reads == 1; }, 10));
  ASSERT_EQ(write(fds[1], "y", 1), 1);
  runFor(0.05);
  EXPECT_EQ(reads, 1);
  close(fds[0]);
  close(fds[1]);

  // Qt's timers fire while our loop waits, and what Qt deletes later is deleted.
  bool qtTimer = false;
  QTimer::singleShot(20, [&] { qtTimer = true; });
  QPointer<QObject> doomed = new QObject();
  doomed->deleteLater();
  EXPECT_TRUE(runUntil([&] { return qtTimer && doomed.isNull(); }, 10));

  // Idle: a quarter of a second with nothing to do costs next to no CPU.
  double before = threadCPUSeconds();
  runFor(0.25);
  EXPECT_LT(threadCPUSeconds() - before, 0.02);
}

TEST_F(QtDesktopTests, WindowsAndPanelsAppearWhereTheModelPutsThemWithTheirColours) {
  auto screens = desktop().screens();
  ASSERT_FALSE(screens.empty());
  Rect screen = screens.front()->frame();
  EXPECT_EQ(screen.origin, (Point{0, 0}));

  // Screen coordinates: y grows upwards from the bottom of the primary screen.
  auto window = std::make_shared<Window>(Rect(100, screen.height() - 400, 300, 200),
                                         StyleMask::titled | StyleMask::closable);
  window->setTitle("Qt backend window");
  window->contentView()->setWantsLayer(true);
  window->contentView()->layer()->setBackgroundColor(Color::sRGB(1, 0, 0));
  auto button = Button::withTitle("Press");
  button->setFrame(Rect(20, 20, 100, 24));
  window->contentView()->addSubview(button);
  window->makeKeyAndOrderFront();

  auto panel = std::make_shared<LabelPanel>(Rect(500, screen.height() - 150, 160, 30));
  panel->setOpaque(false);
  panel->setBackgroundColor(Color::clear());
  auto& body = *panel->contentView();
  body.setWantsLayer(true);
  body.layer()->setBackgroundColor(Color::sRGB(0, 0, 1));
  body.layer()->setCornerRadius(15);
  panel->orderFrontRegardless();

  QImage shot;
  bool drawn = runUntil([&] {
    shot = screenshot("window-and-panel");
    // Content top-left in root coordinates: (100, 200) for the window, (500, 120) the panel.
    return !shot.isNull() && near(shot.pixelColor(250, 260), QColor(255, 0, 0)) &&
           near(shot.pixelColor(580, 135), QColor(0, 0, 255));
  });
  ASSERT_TRUE(drawn) << "screenshot: window-and-panel.png";
  // The button is drawn over the red content (its face is light).
  QColor face = shot.pixelColor(100 + 70, 200 + 200 - 32);
  EXPECT_GT(face.lightness(), 200);
  // The panel's rounded corners show what is under them, not blue.
  EXPECT_FALSE(near(shot.pixelColor(501, 121), QColor(0, 0, 255)));
  // Its window number is the X window id, a top-level window (override-redirect, no frame).
  EXPECT_EQ(topLevelOf(panel->windowNumber()), panel->windowNumber());
  // The titled window is managed: its top-level is the window manager's frame.
  EXPECT_NE(topLevelOf(window->windowNumber()), window->windowNumber());

  panel->orderOut();
  EXPECT_TRUE(runUntil([&] {
    shot = screenshot("panel-ordered-out");
    return !shot.isNull() && !near(shot.pixelColor(580, 135), QColor(0, 0, 255));
  }));
}

TEST_F(QtDesktopTests, APanelOrderedAboveAForeignWindowStaysDirectlyAboveItsFrame) {
  std::uint32_t target = startXterm("tag-target", 100, 100);
  std::uint32_t other = startXterm("tag-other", 300, 150);
  ASSERT_NE(target, 0u);
  ASSERT_NE(other, 0u);
  auto panel = std::make_shared<LabelPanel>(Rect(100, 500, 160, 30));
  panel->contentView()->setWantsLayer(true);
  panel->contentView()->layer()->setBackgroundColor(Color::sRGB(0, 0.6, 0));

  auto describe = [&] {
    std::string text;
    for (auto w : stacking()) {
      if (w == topLevelOf(target)) text += "[target] ";
      else if (w == topLevelOf(other)) text += "[other] ";
      else if (w == panel->windowNumber()) text += "[panel] ";
      else text += std::to_string(w) + " ";
    }
    return text;
  };
  auto directlyAbove = [&](std::uint32_t window) {
    auto order = stacking();
    std::uint32_t frame = topLevelOf(window);
    for (std::size_t i = 0; i + 1 < order.size(); ++i) {
      if (order[i] == frame) return order[i + 1] == panel->windowNumber();
    }
    return false;
  };
  panel->orderFrontRegardless();
  panel->order(WindowOrderingMode::above, target);
  EXPECT_TRUE(runUntil([&] { return directlyAbove(target); })) << "above the target";

  // Another window raised over both: ordering again puts the panel back above its target only,
  // so the other window still covers it.
  ASSERT_TRUE(xdotool({"windowactivate", "--sync", std::to_string(other)}));
  ASSERT_TRUE(xdotool({"windowraise", std::to_string(other)}));
  runUntil([&] {
    auto order = stacking();
    return !order.empty() && order.back() == topLevelOf(other);
  });
  panel->order(WindowOrderingMode::above, target);
  EXPECT_TRUE(runUntil([&] {
    auto order = stacking();
    return directlyAbove(target) && order.back() == topLevelOf(other);
  })) << "above the target, under the raised window: " << describe();

  // The target raised over the other: the panel follows it up.
  ASSERT_TRUE(xdotool({"windowactivate", "--sync", std::to_string(target)}));
  panel->order(WindowOrderingMode::above, target);
  EXPECT_TRUE(runUntil([&] { return directlyAbove(target) && stacking().back() == panel->windowNumber(); }));
}

TEST_F(QtDesktopTests, TypingALabelWithNonASCIITextReachesTheEditedField) {
  auto panel = std::make_shared<LabelPanel>(Rect(200, 400, 240, 30));
  panel->contentView()->setWantsLayer(true);
  panel->contentView()->layer()->setBackgroundColor(Color::sRGB(1, 0.8, 0));
  auto field = std::make_shared<TextField>(Rect(8, 4, 220, 22));
  field->setBezeled(false);
  field->setDrawsBackground(false);
  panel->contentView()->addSubview(field);
  bool returned = false;
  field->setAction([&](Control&) { returned = true; });
  panel->orderFrontRegardless();
  panel->makeKey();
  ASSERT_TRUE(panel->makeFirstResponder(field));
  ASSERT_TRUE(runUntil([&] { return panel->isKeyWindow() && desktop().application().hasKeyFocus(); }));
  // Keyboard focus is really ours: xdotool types into the focused window.
  ASSERT_TRUE(runUntil([&] {
    return QGuiApplication::focusWindow() != nullptr;
  })) << "the panel took the input focus";

  // A keyboard that has these characters, as a user's layout would (xdotool's own remapping per
  // key races with the toolkit reading the new map).
  ASSERT_EQ(xdesktop().run({"xmodmap", "-e", "keycode 200 = eacute Udiaeresis", "-e",
                            "keycode 201 = idiaeresis oslash", "-e", "keycode 202 = U2713"}),
            0);
  // The new map has reached the toolkit once a key of it types its character.
  ASSERT_TRUE(xdotool({"key", "eacute"}));
  ASSERT_TRUE(runUntil([&] { return field->stringValue() == "é"; })) << field->stringValue();
  ASSERT_TRUE(xdotool({"key", "BackSpace"}));
  ASSERT_TRUE(runUntil([&] { return field->stringValue().empty(); }));
  ASSERT_TRUE(xdotool({"type", "--delay", "30", "Café Ünïcødé ✓"}));
  EXPECT_TRUE(runUntil([&] { return field->stringValue() == "Café Ünïcødé ✓"; }))
      << "typed: " << field->stringValue();
  ASSERT_TRUE(xdotool({"key", "BackSpace"}));
  EXPECT_TRUE(runUntil([&] { return field->stringValue() == "Café Ünïcødé "; }));
  screenshot("typed-label");
  ASSERT_TRUE(xdotool({"key", "Return"}));
  EXPECT_TRUE(runUntil([&] { return returned; }));
}

class RebuildingDelegate final : public MenuDelegate {
 public:
  int updates = 0, closes = 0;
  std::string chosen;
  void menuNeedsUpdate(Menu& menu) override {
    ++updates;
    menu.removeAllItems();
    auto first = std::make_shared<MenuItem>("First", [this](MenuItem&) { chosen = "First"; });
    auto disabled = std::make_shared<MenuItem>("Disabled", [this](MenuItem&) { chosen = "Disabled"; });
    disabled->setEnabled(false);
    auto second = std::make_shared<MenuItem>("Second", [this](MenuItem&) { chosen = "Second"; }, "q");
    menu.addItem(first);
    menu.addItem(MenuItem::separator());
    menu.addItem(disabled);
    menu.addItem(second);
  }
  void menuDidClose(Menu&) override { ++closes; }
};

TEST_F(QtDesktopTests, TheStatusMenuIsRebuiltWhenItOpensAndRunsTheChosenItem) {
  auto item = desktop().statusBar().statusItem(StatusItem::squareLength);
  item->button()->setImage(Image::systemSymbol("tag.fill", "Flagrig"));
  auto menu = std::make_shared<Menu>();
  auto delegate = std::make_shared<RebuildingDelegate>();
  menu->setDelegate(delegate);
  item->setMenu(menu);
  runFor(0.05);
  ASSERT_NE(desktop().trayIcon(), nullptr);
  EXPECT_EQ(desktop().trayIcon()->toolTip(), QString("Flagrig"));

  desktop().showMenu(*menu);
  ASSERT_TRUE(runUntil([&] { return desktop().openPopup() && desktop().openPopup()->isVisible(); }));
  EXPECT_EQ(delegate->updates, 1);
  QMenu* popup = desktop().openPopup();
  // Separator and disabled item kept; the key equivalent is shown.
  ASSERT_EQ(popup->actions().size(), 4);
  runFor(0.2);
  EXPECT_TRUE(popup->actions()[1]->isSeparator());
  EXPECT_FALSE(popup->actions()[2]->isEnabled());
  EXPECT_EQ(popup->actions()[3]->text(), QString("Second\tCtrl+Q"));
  screenshot("status-menu");

  // Down from the top: First, then Second (the disabled one is skipped).
  ASSERT_TRUE(xdotool({"key", "Down", "Down", "Return"}));
  EXPECT_TRUE(runUntil([&] { return delegate->chosen == "Second"; })) << delegate->chosen;
  EXPECT_EQ(delegate->closes, 1);
  EXPECT_EQ(desktop().openPopup(), nullptr);
}

TEST_F(QtDesktopTests, AnAlertRunsAsAModalSessionAndAnswersWithItsButton) {
  Alert alert;
  alert.setMessageText("Remove every tag?");
  alert.setInformativeText("Ünïcødé information");
  alert.addButton("Remove");
  alert.addButton("Cancel");
  bool timerFired = false;
  auto started = loop().clock().uptime();
  // Common-mode timers keep firing during the session; this one presses Esc when it is shown.
  auto press = loop().scheduleTimer(
      0.05, true,
      [&](Timer& timer) {
        timerFired = true;
        auto window = alert.window();
        if (toSeconds(loop().clock().uptime() - started) > 20) {
          ADD_FAILURE() << "the alert never became key";
          timer.invalidate();
          desktop().application().abortModal();
          return;
        }
        if (!window->isVisible() || !window->isKeyWindow()) return;
        timer.invalidate();
        screenshot("alert");
        xdotool({"key", "Escape"});
      },
      RunLoopModes::common());
  long response = alert.runModal();
  EXPECT_TRUE(timerFired);
  EXPECT_EQ(response, ModalResponse::secondButton);
  press->invalidate();
}

}  // namespace
}  // namespace platform::testing
