#include <unistd.h>
#include <xcb/xcb.h>

#include <cstring>

#include "Platform/Foundation/UnicodeText.h"
#include "X11DesktopTest.h"

namespace platform::testing {
namespace {

class X11HostileWindowTest : public X11DesktopTest {
 protected:
  // A window made by a client of ours that sets whatever properties it likes.
  xcb_window_t makeWindow(linuxbackend::X11Connection& client, int x, int y) {
    auto* c = client.raw();
    xcb_window_t w = xcb_generate_id(c);
    std::uint32_t values[] = {client.screen().black_pixel};
    xcb_create_window(c, XCB_COPY_FROM_PARENT, w, client.root(), x, y, 200, 100, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, XCB_CW_BACK_PIXEL,
                      values);
    return w;
  }
  void set(linuxbackend::X11Connection& client, xcb_window_t w, xcb_atom_t property,
           xcb_atom_t type, std::uint8_t format, const void* data, std::uint32_t count) {
    xcb_change_property(client.raw(), XCB_PROP_MODE_REPLACE, w, property, type, format, count,
                        data);
  }
};

TEST_F(X11HostileWindowTest, GarbagePropertiesNeitherBreakTheListNorLeakThroughIt) {
  auto client = linuxbackend::X11Connection::open(desktop().display());
  ASSERT_TRUE(client);
  const auto& atoms = client->atoms();

  // A title of 200 KB of invalid UTF-8, a class without its terminator, a pid of the
  // wrong format, absurd frame extents, a thousand state atoms and unknown window types.
  auto hostile = makeWindow(*client, 50, 50);
  std::string huge(200000, '\xff');
  huge.replace(0, 6, "hello ");
  set(*client, hostile, atoms.netWmName, atoms.utf8String, 8, huge.data(),
      static_cast<std::uint32_t>(huge.size()));
  set(*client, hostile, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8, "Evil", 4);
  set(*client, hostile, atoms.netWmPid, XCB_ATOM_CARDINAL, 8, "1234", 4);
  std::uint32_t extents[] = {0xffffffff, 5000000, 7, 0x80000000};
  set(*client, hostile, atoms.netFrameExtents, XCB_ATOM_CARDINAL, 32, extents, 4);
  std::vector<std::uint32_t> states(1000, atoms.netWmStateAbove);
  set(*client, hostile, atoms.netWmState, XCB_ATOM_ATOM, 32, states.data(),
      static_cast<std::uint32_t>(states.size()));
  std::uint32_t types[] = {12345, atoms.netWmWindowTypeDock};
  set(*client, hostile, atoms.netWmWindowType, XCB_ATOM_ATOM, 32, types, 2);
  xcb_map_window(client->raw(), hostile);

  // A window with no properties at all, a Latin-1 legacy title and a negative pid.
  auto bare = makeWindow(*client, 300, 300);
  xcb_map_window(client->raw(), bare);
  auto legacy = makeWindow(*client, 400, 400);
  set(*client, legacy, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8, "caf\xe9", 4);
  std::uint32_t negative[] = {0xfffffff0};
  set(*client, legacy, atoms.netWmPid, XCB_ATOM_CARDINAL, 32, negative, 1);
  xcb_map_window(client->raw(), legacy);
  client->flush();

  ASSERT_TRUE(waitUntil([&] { return entry(hostile) && entry(bare) && entry(legacy); }));
  auto h = *entry(hostile);
  ASSERT_TRUE(h.name);
  EXPECT_LE(h.name->size(), 3 * 4096u);  // cut, and every bad byte became U+FFFD
  EXPECT_TRUE(UnicodeText::isValidUTF8(*h.name));
  EXPECT_EQ(h.name->rfind("hello ", 0), 0u);
  EXPECT_EQ(h.ownerName, "Evil");
  // No believable pid: the X server says which process made it (this one).
  EXPECT_EQ(h.pid, static_cast<std::int32_t>(::getpid()));
  EXPECT_EQ(h.layer, WindowServer::levelForKey(WindowLevelKey::dock));
  EXPECT_LT(h.bounds.width(), 10000);

  auto b = *entry(bare);
  EXPECT_FALSE(b.name);
  EXPECT_EQ(b.ownerName, "");
  EXPECT_EQ(b.pid, static_cast<std::int32_t>(::getpid()));
  EXPECT_EQ(b.layer, 0);

  auto l = *entry(legacy);
  EXPECT_EQ(l.name, "café");
  EXPECT_EQ(l.pid, static_cast<std::int32_t>(::getpid()));
}

TEST_F(X11HostileWindowTest, WindowsThatComeAndGoWhileTheListIsReadAreSkipped) {
  auto client = linuxbackend::X11Connection::open(desktop().display());
  ASSERT_TRUE(client);
  std::vector<xcb_window_t> windows;
  for (int round = 0; round < 20; ++round) {
    for (int i = 0; i < 5; ++i) {
      auto w = makeWindow(*client, 10 * i, 10 * round);
      xcb_map_window(client->raw(), w);
      windows.push_back(w);
    }
    client->flush();
    // Once the manager lists them, they go while its list still names them.
    waitUntil([&] { return entry(windows.back()).has_value(); }, 5);
    for (auto w : windows) xcb_destroy_window(client->raw(), w);
    client->flush();
    client->sync();
    auto snapshot = server().snapshot();
    ASSERT_TRUE(snapshot);
    windows.clear();
  }
  client->sync();
  ASSERT_TRUE(waitUntil([&] {
    connection().sync();
    auto snapshot = server().snapshot();
    for (const auto& w : snapshot->windows) {
      if (w.pid == static_cast<std::int32_t>(::getpid())) return false;
    }
    return true;
  }));
}

}  // namespace
}  // namespace platform::testing
