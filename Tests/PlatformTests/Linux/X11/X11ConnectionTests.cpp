#include <gtest/gtest.h>

#include "Platform/Linux/X11/X11Connection.h"
#include "Platform/Linux/X11/X11WindowServer.h"
#include "Platform/WindowServer/WindowList.h"
#include "Support/SimTest.h"
#include "Support/X11/XvfbDesktop.h"

namespace platform::testing {
namespace {

using linuxbackend::X11Connection;

class X11ConnectionTest : public SimTest {};

TEST_F(X11ConnectionTest, NoDisplayMeansNoConnection) {
  EXPECT_FALSE(X11Connection::open(":987654"));
  EXPECT_FALSE(X11Connection::open("not a display"));
}

TEST_F(X11ConnectionTest, AServerThatGoesAwayIsReportedOnceAndTheListBecomesUnavailable) {
  std::string reason;
  XvfbDesktop::Options options;
  options.windowManager = false;
  auto desktop = XvfbDesktop::start(reason, options);
  if (!desktop) GTEST_SKIP() << "no X server: " << reason;
  auto connection = X11Connection::open(desktop->display());
  ASSERT_TRUE(connection);
  EXPECT_EQ(connection->rootWidth(), options.width);
  EXPECT_NE(connection->atoms().netWmName, 0u);
  linuxbackend::X11WindowServer server(connection);
  ASSERT_TRUE(server.copyWindowList(WindowList::optionAll));
  int reports = 0;
  connection->onBroken([&] { ++reports; });

  desktop.reset();  // ends the X server
  EXPECT_TRUE(XvfbDesktop::waitUntil(*connection, [&] {
    connection->sync();
    return connection->isBroken();
  }));
  for (int i = 0; i < 3; ++i) {
    connection->dispatchPendingEvents();
    EXPECT_EQ(server.copyWindowList(WindowList::optionAll), nullptr);
  }
  server.placeAbove(1, 2);
  EXPECT_EQ(reports, 1);
}

TEST_F(X11ConnectionTest, ReadingTheListRunsNoHandlerButTheListSeesTheChange) {
  std::string reason;
  XvfbDesktop::Options options;
  options.windowManager = false;
  auto desktop = XvfbDesktop::start(reason, options);
  if (!desktop) GTEST_SKIP() << "no X server: " << reason;
  auto connection = X11Connection::open(desktop->display());
  auto other = X11Connection::open(desktop->display());
  ASSERT_TRUE(connection && other);
  linuxbackend::X11WindowServer server(connection);
  int handled = 0;
  connection->subscribe([&](const xcb_generic_event_t&) { ++handled; });
  server.snapshot();
  auto refreshes = server.refreshCount();

  // Another client lists a window as the manager would.
  xcb_window_t w = 0x123;
  xcb_change_property(other->raw(), XCB_PROP_MODE_REPLACE, other->root(),
                      other->atoms().netClientListStacking, XCB_ATOM_WINDOW, 32, 1, &w);
  other->sync();
  connection->sync();
  server.snapshot();
  EXPECT_EQ(server.refreshCount(), refreshes + 1);
  EXPECT_EQ(handled, 0);  // handlers run from the loop's dispatch, never inside a read
  connection->dispatchPendingEvents();
  EXPECT_GE(handled, 1);
}

TEST_F(X11ConnectionTest, TheDispatchBeforeAWaitHandsOverOnlyWhatWasAlreadyRead) {
  std::string reason;
  XvfbDesktop::Options options;
  options.windowManager = false;
  auto desktop = XvfbDesktop::start(reason, options);
  if (!desktop) GTEST_SKIP() << "no X server: " << reason;
  auto connection = X11Connection::open(desktop->display());
  auto other = X11Connection::open(desktop->display());
  ASSERT_TRUE(connection && other);
  linuxbackend::X11WindowServer server(connection);
  server.snapshot();
  connection->dispatchPendingEvents();
  int handled = 0;
  connection->subscribe([&](const xcb_generic_event_t&) { ++handled; });

  xcb_window_t w = 0x123;
  xcb_change_property(other->raw(), XCB_PROP_MODE_REPLACE, other->root(),
                      other->atoms().netClientListStacking, XCB_ATOM_WINDOW, 32, 1, &w);
  other->sync();
  // Still on the socket: left to the wait, which sees the descriptor readable.
  connection->dispatchQueuedEvents();
  EXPECT_EQ(handled, 0);
  // Read by a round trip into xcb's queue, where the descriptor no longer shows it.
  connection->sync();
  connection->dispatchQueuedEvents();
  EXPECT_GE(handled, 1);
}

TEST_F(X11ConnectionTest, TheRootFollowsTheMonitorsLayout) {
  std::string reason;
  XvfbDesktop::Options options;
  options.width = 2400;
  options.height = 900;
  auto desktop = XvfbDesktop::start(reason, options);
  if (!desktop) GTEST_SKIP() << "no X server: " << reason;
  auto connection = X11Connection::open(desktop->display());
  ASSERT_TRUE(connection);
  ASSERT_EQ(desktop->run({"xrandr", "--output", "screen", "--off", "--fb", "1200x900"}), 0);
  EXPECT_TRUE(XvfbDesktop::waitUntil(*connection, [&] { return connection->rootWidth() == 1200; }));

  // Two monitors side by side: the root is their union.
  ASSERT_EQ(desktop->run({"xrandr", "--fb", "2400x900", "--setmonitor", "left",
                          "1200/317x900/238+0+0", "none"}),
            0);
  ASSERT_EQ(desktop->run({"xrandr", "--setmonitor", "right", "1200/317x900/238+1200+0", "none"}),
            0);
  EXPECT_TRUE(XvfbDesktop::waitUntil(*connection, [&] { return connection->rootWidth() == 2400; }));
  EXPECT_EQ(connection->rootHeight(), 900);

  // A window on the right monitor is listed there, in the same coordinates.
  linuxbackend::X11WindowServer server(connection);
  pid_t xterm = desktop->spawn({"xterm", "-T", "right", "-geometry", "20x5+1500+100"});
  ASSERT_GT(xterm, 0);
  std::optional<linuxbackend::X11WindowEntry> found;
  EXPECT_TRUE(XvfbDesktop::waitUntil(*connection, [&] {
    for (const auto& w : server.snapshot()->windows) {
      if (w.name == "right" && w.onScreen) found = w;
    }
    return found.has_value();
  }));
  ASSERT_TRUE(found);
  EXPECT_GE(found->bounds.x(), 1200);
  EXPECT_LE(found->bounds.x() + found->bounds.width(), 2400);
}

}  // namespace
}  // namespace platform::testing
