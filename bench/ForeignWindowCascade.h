#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Platform/Linux/X11/X11Connection.h"

namespace platform::bench {

// Where `mapForeignWindows` puts window i: x = `xStep` * (i % 50), y = `top` + `yStep` * i.
struct ForeignWindowCascade {
  int xStep;
  int top;
  int yStep;
};

// Maps `count` 300 by 200 windows of `client`, each with the name, class and process id an
// application sets ("Window i", "bench"/"App", `pid`); their ids, in order.
inline std::vector<xcb_window_t> mapForeignWindows(linuxbackend::X11Connection& client, int count,
                                                   std::uint32_t pid,
                                                   ForeignWindowCascade cascade) {
  auto* c = client.raw();
  const auto& atoms = client.atoms();
  std::vector<xcb_window_t> windows;
  for (int i = 0; i < count; ++i) {
    xcb_window_t w = xcb_generate_id(c);
    xcb_create_window(c, XCB_COPY_FROM_PARENT, w, client.root(),
                      static_cast<std::int16_t>(cascade.xStep * (i % 50)),
                      static_cast<std::int16_t>(cascade.top + cascade.yStep * i), 300, 200, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, 0, nullptr);
    std::string name = "Window " + std::to_string(i);
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, atoms.netWmName, atoms.utf8String, 8,
                        static_cast<std::uint32_t>(name.size()), name.data());
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8, 10,
                        "bench\0App\0");
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, atoms.netWmPid, XCB_ATOM_CARDINAL, 32, 1,
                        &pid);
    xcb_map_window(c, w);
    windows.push_back(w);
  }
  client.flush();
  return windows;
}

}  // namespace platform::bench
