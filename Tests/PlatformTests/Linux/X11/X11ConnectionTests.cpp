#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "Platform/Linux/X11/X11Connection.h"
#include "Platform/Linux/X11/X11WindowServer.h"
#include "Platform/WindowServer/WindowList.h"
#include "Support/SimTest.h"
#include "Support/X11/XvfbDesktop.h"

namespace platform::testing {
namespace {

using linuxbackend::X11Connection;

class X11ConnectionTest : public SimTest {
 protected:
  void TearDown() override {
    server_.reset();
    other_.reset();
    connection_.reset();
    desktop_.reset();
    SimTest::TearDown();
  }

  // A bare X server (no window manager) with two clients: `connection_`, read through
  // `server_`, and `other_`, which plays another application. Skips when no server can start
  // here; the caller returns when `ready()` is false.
  void startBareServer() {
    std::string reason;
    options_.windowManager = false;
    desktop_ = XvfbDesktop::start(reason, options_);
    if (!desktop_) GTEST_SKIP() << "no X server: " << reason;
    connection_ = X11Connection::open(desktop_->display());
    other_ = X11Connection::open(desktop_->display());
    ASSERT_TRUE(connection_ && other_);
    server_ = std::make_unique<linuxbackend::X11WindowServer>(connection_);
  }
  bool ready() const { return !IsSkipped() && !HasFatalFailure(); }

  // The other client lists a window on the root, as the manager would.
  void listAWindowFromTheOtherClient() {
    xcb_window_t w = 0x123;
    xcb_change_property(other_->raw(), XCB_PROP_MODE_REPLACE, other_->root(),
                        other_->atoms().netClientListStacking, XCB_ATOM_WINDOW, 32, 1, &w);
    other_->sync();
  }

  XvfbDesktop::Options options_;
  std::unique_ptr<XvfbDesktop> desktop_;
  std::shared_ptr<X11Connection> connection_;
  std::shared_ptr<X11Connection> other_;
  std::unique_ptr<linuxbackend::X11WindowServer> server_;
};

TEST_F(X11ConnectionTest, NoDisplayMeansNoConnection) {
  EXPECT_FALSE(X11Connection::open(":987654"));
  EXPECT_FALSE(X11Connection::open("not a display"));
}

TEST_F(X11ConnectionTest, AServerThatGoesAwayIsReportedOnceAndTheListBecomesUnavailable) {
  startBareServer();
  if (!ready()) return;
  auto& connection = *connection_;
  EXPECT_EQ(connection.rootWidth(), options_.width);
  EXPECT_NE(connection.atoms().netWmName, 0u);
  ASSERT_TRUE(server_->copyWindowList(WindowList::optionAll));
  int reports = 0;
  connection.onBroken([&] { ++reports; });

  desktop_.reset();  // ends the X server
  EXPECT_TRUE(XvfbDesktop::waitUntil(connection, [&] {
    connection.sync();
    return connection.isBroken();
  }));
  for (int i = 0; i < 3; ++i) {
    connection.dispatchPendingEvents();
    EXPECT_EQ(server_->copyWindowList(WindowList::optionAll), nullptr);
  }
  server_->placeAbove(1, 2);
  EXPECT_EQ(reports, 1);
}

TEST_F(X11ConnectionTest, ReadingTheListRunsNoHandlerButTheListSeesTheChange) {
  startBareServer();
  if (!ready()) return;
  int handled = 0;
  connection_->subscribe([&](const xcb_generic_event_t&) { ++handled; });
  server_->snapshot();
  auto refreshes = server_->refreshCount();

  listAWindowFromTheOtherClient();
  connection_->sync();
  server_->snapshot();
  EXPECT_EQ(server_->refreshCount(), refreshes + 1);
  EXPECT_EQ(handled, 0);  // handlers run from the loop's dispatch, never inside a read
  connection_->dispatchPendingEvents();
  EXPECT_GE(handled, 1);
}

TEST_F(X11ConnectionTest, TheDispatchBeforeAWaitHandsOverOnlyWhatWasAlreadyRead) {
  startBareServer();
  if (!ready()) return;
  server_->snapshot();
  connection_->dispatchPendingEvents();
  int handled = 0;
  connection_->subscribe([&](const xcb_generic_event_t&) { ++handled; });

  listAWindowFromTheOtherClient();
  // Still on the socket: left to the wait, which sees the descriptor readable.
  connection_->dispatchQueuedEvents();
  EXPECT_EQ(handled, 0);
  // Read by a round trip into xcb's queue, where the descriptor no longer shows it.
  connection_->sync();
  connection_->dispatchQueuedEvents();
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
