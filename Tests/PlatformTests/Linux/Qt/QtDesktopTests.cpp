#include <sys/resource.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <QApplication>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QMenu>
#include <QObject>
#include <QPointer>
#include <QSystemTrayIcon>
#include <QTimer>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <thread>

#include "Platform/Desktop/Alert.h"
#include "Platform/Desktop/Application.h"
#include "Platform/Desktop/Button.h"
#include "Platform/Desktop/ColorPanel.h"
#include "Platform/Desktop/ColorWell.h"
#include "Platform/Desktop/DesktopCoordinates.h"
#include "Platform/Desktop/Menu.h"
#include "Platform/Desktop/Panel.h"
#include "Platform/Desktop/PopUpButton.h"
#include "Platform/Desktop/StatusBar.h"
#include "Platform/Desktop/TextField.h"
#include "Platform/Desktop/Window.h"
#include "Platform/Foundation/RunLoop.h"
#include "QtDesktopTest.h"

namespace platform::testing {
namespace {

using QtDesktopTests = QtDesktopTest;

// The names of the atoms in a window's ATOM-list property, read on a connection of our own.
std::set<std::string> atomNames(std::uint32_t window, const char* property) {
  std::set<std::string> names;
  xcb_connection_t* c = xcb_connect(nullptr, nullptr);
  if (xcb_connection_has_error(c)) {
    xcb_disconnect(c);
    return names;
  }
  auto intern = xcb_intern_atom_reply(
      c, xcb_intern_atom(c, 0, static_cast<std::uint16_t>(std::strlen(property)), property),
      nullptr);
  xcb_atom_t atom = intern ? intern->atom : xcb_atom_t{XCB_ATOM_NONE};
  std::free(intern);
  auto reply = xcb_get_property_reply(c, xcb_get_property(c, 0, window, atom, XCB_ATOM_ATOM, 0, 64),
                                      nullptr);
  if (reply) {
    auto* atoms = static_cast<xcb_atom_t*>(xcb_get_property_value(reply));
    int count = xcb_get_property_value_length(reply) / 4;
    for (int i = 0; i < count; ++i) {
      auto name = xcb_get_atom_name_reply(c, xcb_get_atom_name(c, atoms[i]), nullptr);
      if (!name) continue;
      names.emplace(xcb_get_atom_name_name(name),
                    static_cast<std::size_t>(xcb_get_atom_name_name_length(name)));
      std::free(name);
    }
    std::free(reply);
  }
  xcb_disconnect(c);
  return names;
}

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

  // A 30 Hz tick, as the tag poll runs, keeps its pace, and the waits between ticks sleep
  // rather than spin.
  int ticks = 0;
  auto tick = loop().scheduleTimer(1.0 / 30, TimerKind::repeating, [&](Timer&) { ++ticks; });
  double tickCPU = threadCPUSeconds();
  EXPECT_TRUE(runUntil([&] { return ticks >= 9; }, 10));
  EXPECT_LT(threadCPUSeconds() - tickCPU, 0.1);
  tick->invalidate();

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

  // Idle: a quarter of a second with nothing to do costs next to no CPU, even with a deadline
  // further away than Qt's timers can count.
  auto far = loop().postAfter(60.0 * 60 * 24 * 40, [] {});
  double before = threadCPUSeconds();
  runFor(0.25);
  EXPECT_LT(threadCPUSeconds() - before, 0.02);
  far->cancel();
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
      if (w == topLevelOf(target))
        text += "[target] ";
      else if (w == topLevelOf(other))
        text += "[other] ";
      else if (w == panel->windowNumber())
        text += "[panel] ";
      else
        text += std::to_string(w) + " ";
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
  })) << "above the target, under the raised window: "
      << describe();

  // The target raised over the other: the panel follows it up.
  ASSERT_TRUE(xdotool({"windowactivate", "--sync", std::to_string(target)}));
  panel->order(WindowOrderingMode::above, target);
  EXPECT_TRUE(runUntil(
      [&] { return directlyAbove(target) && stacking().back() == panel->windowNumber(); }));
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
  ASSERT_TRUE(
      runUntil([&] { return panel->isKeyWindow() && desktop().application().hasKeyFocus(); }));
  // Keyboard focus is really ours: xdotool types into the focused window.
  ASSERT_TRUE(runUntil([&] { return QGuiApplication::focusWindow() != nullptr; }))
      << "the panel took the input focus";

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

  // Select all, then typing replaces the text; copy and paste go through the clipboard.
  ASSERT_TRUE(xdotool({"key", "ctrl+a"}));
  ASSERT_TRUE(xdotool({"type", "ok"}));
  EXPECT_TRUE(runUntil([&] { return field->stringValue() == "ok"; })) << field->stringValue();
  ASSERT_TRUE(xdotool({"key", "ctrl+c", "ctrl+v"}));
  EXPECT_TRUE(runUntil([&] { return field->stringValue() == "okok"; })) << field->stringValue();
  EXPECT_EQ(desktop().pasteboard().string(), std::optional<std::string>("ok"));
  ASSERT_TRUE(xdotool({"key", "ctrl+a", "BackSpace"}));
  EXPECT_TRUE(runUntil([&] { return field->stringValue().empty(); })) << field->stringValue();
  ASSERT_TRUE(xdotool({"key", "Return"}));
  EXPECT_TRUE(runUntil([&] { return returned; }));
}

class RebuildingDelegate final : public MenuDelegate {
 public:
  int updates = 0, closes = 0;
  std::string chosen;
  std::string firstTitle = "First";
  void menuNeedsUpdate(Menu& menu) override {
    ++updates;
    menu.removeAllItems();
    auto first = std::make_shared<MenuItem>(firstTitle, [this](MenuItem&) { chosen = "First"; });
    auto disabled =
        std::make_shared<MenuItem>("Disabled", [this](MenuItem&) { chosen = "Disabled"; });
    disabled->setEnabled(false);
    auto second = std::make_shared<MenuItem>(
        "Second", [this](MenuItem&) { chosen = "Second"; }, "q");
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
  // A user's label: shown as typed, not as a mnemonic or a shortcut column.
  delegate->firstTitle = "R&D\tbox";
  menu->setDelegate(delegate);
  item->setMenu(menu);
  // The tray icon follows the status item before the loop next waits.
  ASSERT_TRUE(runUntil([&] { return desktop().trayIcon() != nullptr; }));
  EXPECT_EQ(desktop().trayIcon()->toolTip(), QString("Flagrig"));

  desktop().showMenu(*menu);
  ASSERT_TRUE(
      runUntil([&] { return desktop().openPopup() && desktop().openPopup()->isVisible(); }));
  EXPECT_EQ(delegate->updates, 1);
  QMenu* popup = desktop().openPopup();
  // Separator and disabled item kept; the key equivalent is shown.
  ASSERT_EQ(popup->actions().size(), 4);
  EXPECT_EQ(popup->actions()[0]->text(), QString("R&&D box"));
  EXPECT_TRUE(popup->actions()[1]->isSeparator());
  EXPECT_FALSE(popup->actions()[2]->isEnabled());
  EXPECT_EQ(popup->actions()[3]->text(), QString("Second\tCtrl+Q"));
  QRect shown = popup->geometry();
  EXPECT_TRUE(runUntil([&] {
    QImage shot = screenshot("status-menu");
    return !shot.isNull() && shot.pixelColor(shown.center()).lightness() > 150;
  }));

  // Down from the top: First, then Second (the disabled one is skipped).
  ASSERT_TRUE(xdotool({"key", "Down", "Down", "Return"}));
  EXPECT_TRUE(runUntil([&] { return delegate->chosen == "Second"; })) << delegate->chosen;
  EXPECT_EQ(delegate->closes, 1);
  EXPECT_EQ(desktop().openPopup(), nullptr);
}

// Without a compositor the screen shows only what a window drew after it was mapped: a second
// window over the first must show its content there, not black.
TEST_F(QtDesktopTests, ASecondWindowOverTheFirstShowsItsContentOnScreen) {
  Rect screen = desktop().screens().front()->frame();
  auto colored = [&](Rect rect, Color color, const char* title) {
    auto window = std::make_shared<Window>(rect, StyleMask::titled | StyleMask::closable);
    window->setTitle(title);
    window->contentView()->setWantsLayer(true);
    window->contentView()->layer()->setBackgroundColor(color);
    return window;
  };
  auto first = colored(Rect(100, screen.height() - 500, 400, 300), Color::sRGB(1, 0, 0), "First");
  first->makeKeyAndOrderFront();
  QImage shot;
  ASSERT_TRUE(runUntil([&] {
    shot = screenshot("first-window");
    return !shot.isNull() && near(shot.pixelColor(300, 350), QColor(255, 0, 0));
  })) << "screenshot: first-window.png";
  // Content top-left at (150, 250) in root coordinates, over the middle of the first.
  auto second =
      colored(Rect(150, screen.height() - 250 - 120, 200, 120), Color::sRGB(0, 0.5, 0), "Second");
  second->makeKeyAndOrderFront();
  EXPECT_TRUE(runUntil([&] {
    shot = screenshot("second-window");
    return !shot.isNull() && near(shot.pixelColor(250, 310), QColor(0, 128, 0));
  })) << "screenshot: second-window.png; pixel "
      << shot.pixelColor(250, 310).name().toStdString();
  second->orderOut();
  first->orderOut();
}

// The window manager offers maximising only where the style allows resizing. (openbox offers
// minimising to every window it manages, whatever the Motif hints or the window type say.)
TEST_F(QtDesktopTests, TheWindowManagerOffersMaximiseOnlyWhereTheStyleAllows) {
  Rect screen = desktop().screens().front()->frame();
  struct Case {
    std::uint64_t style;
    bool maximise;
  } cases[] = {
      {StyleMask::titled | StyleMask::closable, false},
      {StyleMask::titled | StyleMask::closable | StyleMask::resizable, true},
      {StyleMask::titled | StyleMask::closable | StyleMask::miniaturizable, false},
      {StyleMask::titled | StyleMask::closable | StyleMask::miniaturizable | StyleMask::resizable,
       true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.style);
    auto window = std::make_shared<Window>(Rect(200, screen.height() - 400, 300, 200), c.style);
    window->setTitle("Decorated");
    window->makeKeyAndOrderFront();
    std::set<std::string> actions;
    ASSERT_TRUE(runUntil([&] {
      actions = atomNames(window->windowNumber(), "_NET_WM_ALLOWED_ACTIONS");
      return actions.count("_NET_WM_ACTION_CLOSE") > 0;
    }));
    EXPECT_EQ(actions.count("_NET_WM_ACTION_RESIZE") > 0, c.maximise);
    EXPECT_EQ(actions.count("_NET_WM_ACTION_MAXIMIZE_HORZ") > 0, c.maximise);
    EXPECT_EQ(actions.count("_NET_WM_ACTION_MAXIMIZE_VERT") > 0, c.maximise);
    window->orderOut();
  }
}

// A user's resize (asked of the window manager, as a drag of the border does) stops at the
// window's minimum content size, set before the window shows or while it is on screen.
TEST_F(QtDesktopTests, AUsersResizeStopsAtTheMinimumContentSize) {
  Rect screen = desktop().screens().front()->frame();
  for (bool whileShown : {false, true}) {
    SCOPED_TRACE(whileShown ? "set while shown" : "set before");
    auto window =
        std::make_shared<Window>(Rect(200, screen.height() - 500, 400, 300),
                                 StyleMask::titled | StyleMask::closable | StyleMask::resizable);
    window->setTitle("Resizable");
    if (!whileShown) window->setContentMinSize({360, 260});
    window->makeKeyAndOrderFront();
    ASSERT_TRUE(runUntil(
        [&] { return !atomNames(window->windowNumber(), "_NET_WM_ALLOWED_ACTIONS").empty(); }));
    if (whileShown) window->setContentMinSize({360, 260});
    runFor(0.2);
    std::string id = std::to_string(window->windowNumber());
    ASSERT_TRUE(xdotool({"windowsize", id, "120", "90"}));
    runFor(0.5);
    EXPECT_GE(window->contentRect().width(), 359);
    EXPECT_GE(window->contentRect().height(), 259);
    // Larger stays free.
    ASSERT_TRUE(xdotool({"windowsize", id, "600", "420"}));
    EXPECT_TRUE(runUntil([&] { return std::abs(window->contentRect().width() - 600) < 1; }));
    window->orderOut();
  }
}

// A pop-up button's menu opens below the button, from a click or from the keyboard, however far
// the pointer is.
TEST_F(QtDesktopTests, APopUpButtonsMenuOpensBelowTheButton) {
  Rect screen = desktop().screens().front()->frame();
  auto window = std::make_shared<Window>(Rect(300, screen.height() - 500, 400, 300),
                                         StyleMask::titled | StyleMask::closable);
  window->setTitle("Pop-up");
  auto popUp = std::make_shared<PopUpButton>(Rect(40, 200, 160, 24));
  popUp->addItems({"System", "Menlo", "Monaco"});
  window->contentView()->addSubview(popUp);
  window->makeKeyAndOrderFront();
  ASSERT_TRUE(runUntil([&] { return window->isVisible(); }));
  runFor(0.2);
  ASSERT_TRUE(xdotool({"mousemove", "5", "5"}));
  popUp->performKeyboardAction();
  QWidget* menu = nullptr;
  ASSERT_TRUE(runUntil([&] { return (menu = QApplication::activePopupWidget()) != nullptr; }));
  // The button's bottom left on the X screen (y downwards).
  Rect content = window->contentRect();
  Rect root = desktop().toRoot(Rect(content.x() + 40, content.y() + 200, 0, 0));
  QPoint at = menu->geometry().topLeft();
  EXPECT_NEAR(at.x(), root.x(), 2);
  EXPECT_NEAR(at.y(), root.y(), 2);
  menu->close();
  window->orderOut();
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
      0.05, TimerKind::repeating,
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

TEST_F(QtDesktopTests, TheTrayIconInAnXEmbedTrayOpensTheStatusMenuOnAClick) {
  if (xdesktop().run({"sh", "-c", "command -v trayer"}) != 0)
    GTEST_SKIP() << "trayer is not installed";
  pid_t tray = xdesktop().spawn({"trayer", "--edge", "top", "--align", "right", "--widthtype",
                                 "request", "--height", "24", "--SetDockType", "true"});
  ASSERT_GT(tray, 0);
  started_.push_back(tray);
  ASSERT_TRUE(runUntil([] { return QSystemTrayIcon::isSystemTrayAvailable(); }))
      << "the tray never announced itself";
  auto item = desktop().statusBar().statusItem(StatusItem::squareLength);
  item->button()->setImage(Image::systemSymbol("tag", "Flagrig"));
  auto menu = std::make_shared<Menu>();
  auto delegate = std::make_shared<RebuildingDelegate>();
  menu->setDelegate(delegate);
  item->setMenu(menu);
  // Embedded: the icon has a place on the screen.
  ASSERT_TRUE(runUntil([&] {
    return desktop().trayIcon() && !desktop().trayIcon()->geometry().isEmpty();
  })) << "the status item was not embedded in the tray";
  // The tray may still move the icon while it settles: click where it is now, until it opens.
  auto open = [&] { return desktop().openPopup() && desktop().openPopup()->isVisible(); };
  for (int attempt = 0; attempt < 5 && !open(); ++attempt) {
    QRect icon = desktop().trayIcon()->geometry();
    ASSERT_TRUE(xdotool({"mousemove", std::to_string(icon.center().x()),
                         std::to_string(icon.center().y()), "click", "1"}));
    runUntil(open, 4);
  }
  ASSERT_TRUE(open()) << "a click on the tray icon did not open the menu";
  EXPECT_EQ(delegate->updates, 1);
  // Drawn on the screen, not only mapped.
  QRect shown = desktop().openPopup()->geometry();
  EXPECT_TRUE(runUntil([&] {
    QImage shot = screenshot("tray-menu");
    return !shot.isNull() && shot.pixelColor(shown.center()).lightness() > 150;
  }));
  ASSERT_TRUE(xdotool({"key", "Down", "Return"}));
  EXPECT_TRUE(runUntil([&] { return delegate->chosen == "First"; })) << delegate->chosen;
}

TEST_F(QtDesktopTests, ScreensSideBySideHaveFramesInScreenCoordinates) {
  // Two monitors of different heights on the one Xvfb screen: the primary at the left.
  ASSERT_EQ(xdesktop().run({"xrandr", "--setmonitor", "left", "800/200x900/250+0+0", "screen"}), 0);
  ASSERT_EQ(xdesktop().run({"xrandr", "--setmonitor", "right", "800/200x600/150+800+0", "none"}),
            0);
  bool two = runUntil([&] { return desktop().screens().size() == 2; }, 10);
  if (!two) {
    xdesktop().run({"xrandr", "--delmonitor", "left"});
    xdesktop().run({"xrandr", "--delmonitor", "right"});
    GTEST_SKIP() << "Qt did not take up the monitors (" << desktop().screens().size()
                 << " screens)";
  }
  auto screens = desktop().screens();
  // The primary screen's bottom left is the origin; y grows upwards.
  EXPECT_EQ(screens[0]->frame(), Rect(0, 0, 800, 900));
  EXPECT_EQ(screens[1]->frame(), Rect(800, 300, 800, 600));
  auto bounds = DesktopCoordinates::desktopBounds(screens);
  ASSERT_TRUE(bounds);
  EXPECT_EQ(bounds->maxY(), 900);
  xdesktop().run({"xrandr", "--delmonitor", "left"});
  xdesktop().run({"xrandr", "--delmonitor", "right"});
  runUntil([&] { return desktop().screens().size() == 1; }, 10);
}

TEST_F(QtDesktopTests, AccessoryWindowsStayOutOfTheTaskbarAndRegularOnesAppear) {
  auto state = [&](std::uint32_t window) {
    auto out = std::filesystem::temp_directory_path() / ("flagrig-state-" + std::to_string(window));
    xdesktop().run(
        {"sh", "-c",
         "xprop -id " + std::to_string(window) + " _NET_WM_STATE > '" + out.string() + "'"});
    std::ifstream in(out);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::filesystem::remove(out);
    return text;
  };
  auto& app = desktop().application();
  app.setActivationPolicy(ActivationPolicy::accessory);
  auto window = std::make_shared<Window>(Rect(200, 200, 300, 150), StyleMask::titled);
  window->setTitle("Policy");
  window->orderFront();
  EXPECT_TRUE(runUntil([&] {
    auto s = state(window->windowNumber());
    return s.find("_NET_WM_STATE_SKIP_TASKBAR") != std::string::npos &&
           s.find("_NET_WM_STATE_SKIP_PAGER") != std::string::npos;
  })) << state(window->windowNumber());
  app.setActivationPolicy(ActivationPolicy::regular);
  EXPECT_TRUE(runUntil([&] {
    return state(window->windowNumber()).find("SKIP_TASKBAR") == std::string::npos;
  })) << state(window->windowNumber());
}

// A full-screen borderless window that takes the keyboard, as a pick's overlay does.
class Overlay final : public Window {
 public:
  using Window::Window;
  bool canBecomeKey() const override { return true; }
};

TEST_F(QtDesktopTests, AnOverlayGrabsTheKeyboardSoThatEscReachesTheApplicationsMonitor) {
  std::uint32_t xterm = startXterm("under-the-overlay", 100, 100);
  ASSERT_NE(xterm, 0u);
  ASSERT_TRUE(xdotool({"windowactivate", "--sync", std::to_string(xterm)}));
  auto screen = desktop().screens().front()->frame();
  auto overlay = std::make_shared<Overlay>(screen, StyleMask::borderless);
  overlay->setLevel(1000);
  overlay->setOpaque(false);
  overlay->setBackgroundColor(Color::black().withAlphaComponent(0.3));
  // As a pick does: a local monitor for Esc, the overlay ordered in while another application
  // is active.
  int escapes = 0;
  auto monitor = desktop().application().addLocalMonitor(
      eventMaskFor(EventType::keyDown), [&](const Event& event) -> std::optional<Event> {
        if (event.keyCode != KeyCode::escape) return event;
        ++escapes;
        return std::nullopt;
      });
  overlay->makeKeyAndOrderFront();
  // Dimmed: without a compositor the overlay paints what was under it, darker.
  QImage shot;
  ASSERT_TRUE(runUntil([&] {
    shot = screenshot("overlay");
    QColor xtermBody = shot.isNull() ? QColor() : shot.pixelColor(200, 200);
    return xtermBody.isValid() && xtermBody.lightness() > 100 && xtermBody.lightness() < 220;
  })) << "the xterm shows through, dimmed";
  ASSERT_TRUE(xdotool({"key", "Escape"}));
  EXPECT_TRUE(runUntil([&] { return escapes == 1; }));
  desktop().application().removeMonitor(monitor);
  overlay->orderOut();
}

TEST_F(QtDesktopTests, TheColourPanelsWheelSetsTheColourOfTheActiveWell) {
  auto window = std::make_shared<Window>(Rect(100, 300, 200, 100), StyleMask::titled);
  auto well = std::make_shared<ColorWell>(Rect(20, 20, 44, 24));
  window->contentView()->addSubview(well);
  window->makeKeyAndOrderFront();
  auto& panel = desktop().colorPanel();
  auto accessory = std::make_shared<View>(Rect(0, 0, 220, 40));
  accessory->setWantsLayer(true);
  accessory->layer()->setBackgroundColor(Color::gray(0.5));
  panel.setAccessoryView(accessory);
  well->activate();
  panel.orderFront();
  ASSERT_TRUE(runUntil([&] { return panel.isVisible() && topLevelOf(panel.windowNumber()) != 0; }));
  // The wheel's right edge is pure red (hue 0, full saturation). Where the panel is comes
  // afresh each time: the window manager may still place it after it was mapped.
  int x = 0, y = 0;
  ASSERT_TRUE(runUntil([&] {
    Rect content = panel.contentRect();
    Rect root = desktop().toRoot(content);
    double side = std::min(content.width() - 24, content.height() - 40 - 24);
    x = static_cast<int>(root.x() + (content.width() - side) / 2 + side - 3);
    y = static_cast<int>(root.y() + 12 + side / 2);
    QImage shot = screenshot("colour-panel");
    return !shot.isNull() && near(shot.pixelColor(x, y), QColor(255, 0, 0), 40);
  }));
  ASSERT_TRUE(xdotool({"mousemove", std::to_string(x), std::to_string(y), "click", "1"}));
  EXPECT_TRUE(runUntil([&] {
    auto c = well->color().toSRGB();
    return c && c->redComponent() > 0.9 && c->greenComponent() < 0.2 && c->blueComponent() < 0.2;
  }));
}

}  // namespace
}  // namespace platform::testing
