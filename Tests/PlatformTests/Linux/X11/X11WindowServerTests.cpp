#include <xcb/xcb.h>

#include <cstdlib>

#include "Platform/WindowServer/WindowList.h"
#include "X11DesktopTest.h"

namespace platform::testing {
namespace {

using linuxbackend::X11WindowEntry;

class X11WindowServerTest : public X11DesktopTest {
 protected:
  // The geometry of a top-level window as the server has it, border included.
  Rect frameGeometry(std::uint32_t frame) {
    auto* reply = xcb_get_geometry_reply(connection().raw(),
                                         xcb_get_geometry(connection().raw(), frame), nullptr);
    Rect r;
    if (reply) {
      r = Rect(reply->x, reply->y, reply->width + 2 * reply->border_width,
               reply->height + 2 * reply->border_width);
    }
    std::free(reply);
    return r;
  }
  std::vector<std::uint32_t> order() {
    std::vector<std::uint32_t> numbers;
    for (const auto& w : server().snapshot()->windows) numbers.push_back(w.number);
    return numbers;
  }
  static std::ptrdiff_t indexOf(const std::vector<std::uint32_t>& v, std::uint32_t n) {
    auto it = std::find(v.begin(), v.end(), n);
    return it == v.end() ? -1 : it - v.begin();
  }
};

TEST_F(X11WindowServerTest, ListsXtermsWithOwnerNameFrameBoundsOrderAndMinimisedState) {
  pid_t pidA = 0, pidB = 0;
  auto a = startXterm("first ünïcode", 100, 120, &pidA);
  auto b = startXterm("second", 500, 300, &pidB);
  ASSERT_NE(a, 0u);
  ASSERT_NE(b, 0u);

  auto ea = entry(a), eb = entry(b);
  ASSERT_TRUE(ea && eb);
  EXPECT_EQ(ea->pid, pidA);
  EXPECT_EQ(eb->pid, pidB);
  EXPECT_EQ(ea->ownerName, "XTerm");
  EXPECT_EQ(ea->name, "first ünïcode");
  EXPECT_EQ(ea->layer, 0);
  EXPECT_TRUE(ea->onScreen);
  // The frame's own geometry, decorations included, is what the list reports.
  EXPECT_NE(ea->frame, a);
  EXPECT_EQ(ea->bounds, frameGeometry(ea->frame));
  EXPECT_EQ(eb->bounds, frameGeometry(eb->frame));
  EXPECT_GT(ea->bounds.height(), 0);

  // Front to back follows the window manager's stacking as it changes.
  ASSERT_TRUE(xdotool({"windowactivate", "--sync", std::to_string(b)}));
  EXPECT_TRUE(waitUntil([&] { return indexOf(order(), b) < indexOf(order(), a); }));
  ASSERT_TRUE(xdotool({"windowactivate", "--sync", std::to_string(a)}));
  EXPECT_TRUE(waitUntil([&] { return indexOf(order(), a) < indexOf(order(), b); }));
  EXPECT_EQ(indexOf(order(), a), 0);

  // The dictionary form, with and without the on-screen option.
  auto list = server().copyWindowList(WindowList::optionOnScreenOnly);
  ASSERT_TRUE(list && list->asArray());
  bool found = false;
  for (const auto& item : *list->asArray()) {
    auto* number = item.find(WindowList::numberKey);
    if (!number || number->exactly<std::uint32_t>() != a) continue;
    found = true;
    EXPECT_EQ(item.find(WindowList::ownerPIDKey)->exactly<std::int32_t>(), pidA);
    EXPECT_EQ(WindowList::rectFromBounds(*item.find(WindowList::boundsKey)), ea->bounds);
  }
  EXPECT_TRUE(found);

  // Minimised: listed but not on screen, and gone from the on-screen list.
  ASSERT_TRUE(xdotool({"windowminimize", "--sync", std::to_string(b)}));
  EXPECT_TRUE(waitUntil([&] {
    auto e = entry(b);
    return e && !e->onScreen;
  }));
  for (const auto& item : *server().copyWindowList(WindowList::optionOnScreenOnly)->asArray())
    EXPECT_NE(item.find(WindowList::numberKey)->exactly<std::uint32_t>(), b);
}

TEST_F(X11WindowServerTest, AnswersTheCachedSnapshotUntilTheServerReportsAChange) {
  auto a = startXterm("cached", 200, 200);
  ASSERT_NE(a, 0u);
  // Let the window manager finish with the new window first.
  ASSERT_TRUE(waitUntil([&] {
    connection().sync();
    auto before = server().refreshCount();
    server().copyWindowList(WindowList::optionAll);
    return server().refreshCount() == before;
  }));
  auto first = server().copyWindowList(WindowList::optionAll);
  auto refreshes = server().refreshCount();
  auto again = server().copyWindowList(WindowList::optionAll);
  EXPECT_EQ(first.get(), again.get());
  EXPECT_EQ(server().refreshCount(), refreshes);

  ASSERT_TRUE(xdotool({"windowmove", "--sync", std::to_string(entry(a)->frame), "300", "260"}));
  EXPECT_TRUE(waitUntil([&] { return entry(a)->bounds.x() == 300; }));
  EXPECT_GT(server().refreshCount(), refreshes);
  EXPECT_NE(server().copyWindowList(WindowList::optionAll).get(), first.get());
}

// A client of its own, as an application with two windows: one destroyed while the client
// lives on, the other only minimised and then withdrawn.
TEST_F(X11WindowServerTest, TellsADestroyedWindowFromAHiddenOne) {
  auto* app = xcb_connect(desktop().display().c_str(), nullptr);
  ASSERT_FALSE(xcb_connection_has_error(app));
  auto* screen = xcb_setup_roots_iterator(xcb_get_setup(app)).data;
  auto open = [&](int x) {
    xcb_window_t w = xcb_generate_id(app);
    xcb_create_window(app, XCB_COPY_FROM_PARENT, w, screen->root, x, 100, 200, 150, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
    xcb_map_window(app, w);
    return w;
  };
  xcb_window_t kept = open(100), closed = open(400);
  xcb_flush(app);
  ASSERT_TRUE(waitUntil([&] { return entry(kept) && entry(closed); }));
  EXPECT_EQ(server().windowPresence(kept), WindowPresence::exists);
  EXPECT_EQ(server().windowPresence(closed), WindowPresence::exists);
  EXPECT_EQ(server().windowPresence(screen->root + 12345), WindowPresence::unknown);

  xcb_destroy_window(app, closed);
  xcb_flush(app);
  EXPECT_TRUE(waitUntil([&] {
    server().snapshot();
    return server().windowPresence(closed) == WindowPresence::destroyed;
  }));
  EXPECT_FALSE(entry(closed));

  ASSERT_TRUE(xdotool({"windowminimize", "--sync", std::to_string(kept)}));
  EXPECT_TRUE(waitUntil([&] {
    auto e = entry(kept);
    return e && !e->onScreen;
  }));
  EXPECT_EQ(server().windowPresence(kept), WindowPresence::exists);
  // Restored, then withdrawn: off the manager's list, yet it exists.
  ASSERT_TRUE(xdotool({"windowactivate", "--sync", std::to_string(kept)}));
  // The manager maps it again in its own time; unmapped before that, its map would win.
  ASSERT_TRUE(waitUntil([&] {
    auto e = entry(kept);
    return e && e->onScreen;
  }));
  xcb_unmap_window(app, kept);
  xcb_flush(app);
  EXPECT_TRUE(waitUntil([&] { return !entry(kept); }));
  EXPECT_EQ(server().windowPresence(kept), WindowPresence::exists);

  xcb_disconnect(app);
  EXPECT_TRUE(waitUntil([&] {
    server().snapshot();
    return server().windowPresence(kept) == WindowPresence::destroyed;
  }));
}

}  // namespace
}  // namespace platform::testing
