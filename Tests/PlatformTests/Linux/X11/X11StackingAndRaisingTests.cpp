#include <unistd.h>
#include <xcb/xcb.h>

#include "Platform/Linux/X11/X11Accessibility.h"
#include "X11DesktopTest.h"

namespace platform::testing {
namespace {

using linuxbackend::OwnWindowInfo;

class X11StackingTest : public X11DesktopTest {
 protected:
  // An override-redirect window of "ours", as the desktop backend makes tag panels.
  std::uint32_t makeTag(std::uint32_t width = 60, std::uint32_t height = 20) {
    auto* c = connection().raw();
    xcb_window_t w = xcb_generate_id(c);
    std::uint32_t values[] = {connection().screen().white_pixel, 1};
    xcb_create_window(c, XCB_COPY_FROM_PARENT, w, connection().root(), 10, 10, width, height, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT,
                      XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, values);
    xcb_map_window(c, w);
    connection().flush();
    tags_.push_back(w);
    return w;
  }
  void installProvider() {
    server().setOwnWindowProvider([this](std::uint32_t xid) -> std::optional<OwnWindowInfo> {
      if (std::find(tags_.begin(), tags_.end(), xid) == tags_.end()) return std::nullopt;
      return OwnWindowInfo{3, "tag", true};
    });
  }
  // The top-level window just below `ours` in the server's stacking, front to back.
  std::uint32_t below(std::uint32_t ours) {
    const auto& stack = server().snapshot()->topLevels;
    auto it = std::find(stack.begin(), stack.end(), ours);
    return it == stack.end() || it + 1 == stack.end() ? 0 : *(it + 1);
  }
  std::vector<std::uint32_t> tags_;
};

TEST_F(X11StackingTest, KeepsATagDirectlyAboveItsTargetWhateverIsRaisedOverOrUnderIt) {
  installProvider();
  auto a = startXterm("target", 100, 100);
  auto b = startXterm("other", 150, 150);
  ASSERT_NE(a, 0u);
  ASSERT_NE(b, 0u);
  auto tag = makeTag();
  ASSERT_TRUE(waitUntil([&] { return entry(tag).has_value(); }));

  // Our window is listed as ours, where the server stacks it (on top, just mapped).
  auto own = entry(tag);
  EXPECT_EQ(own->pid, static_cast<std::int32_t>(::getpid()));
  EXPECT_EQ(own->layer, 3);
  EXPECT_EQ(own->name, "tag");
  EXPECT_EQ(server().snapshot()->windows.front().number, tag);

  auto frameA = entry(a)->frame;
  server().placeAbove(tag, a);
  ASSERT_TRUE(waitUntil([&] { return below(tag) == frameA; }));
  // Listed between the two windows now.
  auto at = [&](std::uint32_t n) {
    const auto& windows = server().snapshot()->windows;
    return std::find_if(windows.begin(), windows.end(),
                        [n](const auto& w) { return w.number == n; }) -
           windows.begin();
  };
  EXPECT_EQ(at(tag) + 1, at(a));

  // Another window raised over the pair leaves it alone; no restack is needed.
  ASSERT_TRUE(xdotool({"windowactivate", "--sync", std::to_string(b)}));
  ASSERT_TRUE(waitUntil([&] { return server().snapshot()->windows.front().number == b; }));
  auto restacks = server().restackCount();
  server().placeAbove(tag, a);
  EXPECT_EQ(server().restackCount(), restacks);
  EXPECT_EQ(below(tag), frameA);

  // The target raised over the tag: the tag follows it with one restack.
  ASSERT_TRUE(xdotool({"windowactivate", "--sync", std::to_string(a)}));
  ASSERT_TRUE(waitUntil([&] { return server().snapshot()->windows.front().number == a; }));
  server().placeAbove(tag, a);
  EXPECT_EQ(server().restackCount(), restacks + 1);
  EXPECT_TRUE(waitUntil([&] { return below(tag) == frameA; }));
  EXPECT_EQ(server().snapshot()->windows.front().number, tag);
  // The other window, now under the pair, stays there.
  EXPECT_EQ(at(b), 2);

  // Unknown targets are ignored.
  server().placeAbove(tag, 0x7fffff);
  EXPECT_EQ(server().restackCount(), restacks + 1);
}

TEST_F(X11StackingTest, RaisesAndUnminimisesThroughAccessibility) {
  pid_t pid = 0;
  auto a = startXterm("raise me", 100, 100, &pid);
  auto b = startXterm("cover", 120, 120);
  ASSERT_NE(a, 0u);
  ASSERT_NE(b, 0u);
  linuxbackend::X11Accessibility ax(connection_, server());
  EXPECT_TRUE(ax.isProcessTrusted());

  // The application's windows, and the exact number lookup.
  auto app = ax.createApplication(pid);
  AXValue value;
  ASSERT_EQ(ax.copyAttributeValue(app, AXAttribute::windows, value), AXError::success);
  auto windows = value.asElementArray();
  ASSERT_TRUE(windows && windows->size() == 1);
  auto window = windows->front();
  std::uint32_t number = 0;
  ASSERT_EQ(ax.lookUpWindowNumberFunction()(window, number), AXError::success);
  EXPECT_EQ(number, a);

  // Minimise, read it back, then raise the way the status menu does.
  ASSERT_EQ(ax.setAttributeValue(window, AXAttribute::minimized, AXValue(true)), AXError::success);
  ASSERT_TRUE(waitUntil([&] {
    AXValue m;
    return ax.copyAttributeValue(window, AXAttribute::minimized, m) == AXError::success &&
           m.asBool() == true;
  }));
  EXPECT_EQ(ax.setAttributeValue(window, AXAttribute::minimized, AXValue(false)), AXError::success);
  EXPECT_EQ(ax.setAttributeValue(app, AXAttribute::focusedWindow, AXValue(window)),
            AXError::success);
  EXPECT_EQ(ax.performAction(window, AXAction::raise), AXError::success);
  EXPECT_TRUE(waitUntil([&] {
    auto e = entry(a);
    return e && e->onScreen && !e->minimized && server().snapshot()->windows.front().number == a;
  }));
  ASSERT_EQ(ax.copyAttributeValue(app, AXAttribute::focusedWindow, value), AXError::success);
  ASSERT_TRUE(value.asElement());
  EXPECT_TRUE(value.asElement()->isEqual(*window));

  // Raising alone also restores a minimised window.
  ASSERT_EQ(ax.setAttributeValue(window, AXAttribute::minimized, AXValue(true)), AXError::success);
  ASSERT_TRUE(waitUntil([&] { return entry(a) && entry(a)->minimized; }));
  EXPECT_EQ(ax.performAction(window, AXAction::raise), AXError::success);
  EXPECT_TRUE(waitUntil([&] { return entry(a) && entry(a)->onScreen; }));

  // A window of another process, an ended process.
  EXPECT_EQ(ax.performAction(ax.windowElement(pid + 100000, a), AXAction::raise),
            AXError::invalidUIElement);
  desktop().end(pid);
  started_.erase(std::find(started_.begin(), started_.end(), pid));
  EXPECT_EQ(ax.copyAttributeValue(app, AXAttribute::windows, value), AXError::cannotComplete);
}

}  // namespace
}  // namespace platform::testing

namespace platform::testing {
namespace {

TEST_F(X11StackingTest, OurStatusItemsOpenThroughTheExtrasMenuBar) {
  linuxbackend::X11Accessibility ax(connection_, server());
  auto self = ax.createApplication(static_cast<std::int32_t>(::getpid()));
  AXValue value;
  // No status item shown yet.
  EXPECT_EQ(ax.copyAttributeValue(self, AXAttribute::extrasMenuBar, value), AXError::noValue);

  std::vector<std::uint32_t> pressed;
  ax.setStatusItemHooks({[] {
                           return std::vector<std::uint32_t>{0, 2};
                         },
                         [&](std::uint32_t index) {
                           pressed.push_back(index);
                           return index != 1;
                         }});
  ASSERT_EQ(ax.copyAttributeValue(self, AXAttribute::extrasMenuBar, value), AXError::success);
  auto bar = value.asElement();
  ASSERT_TRUE(bar);
  ASSERT_EQ(ax.copyAttributeValue(bar, AXAttribute::children, value), AXError::success);
  auto items = value.asElementArray();
  ASSERT_TRUE(items && items->size() == 2);
  EXPECT_EQ(ax.performAction(items->back(), AXAction::press), AXError::success);
  EXPECT_EQ(pressed, std::vector<std::uint32_t>{2});
  EXPECT_EQ(ax.performAction(items->back(), AXAction::raise), AXError::actionUnsupported);
}

}  // namespace
}  // namespace platform::testing
