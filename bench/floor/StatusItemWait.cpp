// StatusItemWait <pid> <start> <timeout-ms>: waits until the process shows a status item (a
// viewable window of its own, 48 x 48 or smaller, anywhere in the tree: a tray reparents it into
// its own window) and prints the milliseconds since <start>, a CLOCK_REALTIME count in
// nanoseconds (`date +%s%N` taken just before the process was started). Asks the X server
// directly every millisecond: started programs (xdotool, xwininfo) take several milliseconds a
// look and blur a start of a few tens of them. Exits 1 at the timeout.
#include <unistd.h>
#include <xcb/xcb.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

namespace {

template <class T>
using Reply = std::unique_ptr<T, decltype(&std::free)>;

template <class T>
Reply<T> own(T* reply) {
  return Reply<T>(reply, &std::free);
}

double millisecondsSince(long long startNanoseconds) {
  auto now = std::chrono::duration_cast<std::chrono::nanoseconds>(
                 std::chrono::system_clock::now().time_since_epoch())
                 .count();
  return static_cast<double>(now - startNanoseconds) / 1e6;
}

// Whether a child of `parent`, or of theirs down to `depth` levels, is the status item. Every
// child's three requests are sent before any reply is read.
bool holdsStatusItem(xcb_connection_t* c, xcb_window_t parent, std::uint32_t pid,
                     xcb_atom_t pidAtom, int depth) {
  auto tree = own(xcb_query_tree_reply(c, xcb_query_tree(c, parent), nullptr));
  if (!tree) return false;
  const xcb_window_t* children = xcb_query_tree_children(tree.get());
  const int count = xcb_query_tree_children_length(tree.get());
  struct Asked {
    xcb_get_property_cookie_t pid;
    xcb_get_window_attributes_cookie_t attributes;
    xcb_get_geometry_cookie_t geometry;
  };
  std::vector<Asked> asked;
  asked.reserve(count);
  for (int i = 0; i < count; ++i) {
    asked.push_back({xcb_get_property(c, 0, children[i], pidAtom, XCB_ATOM_CARDINAL, 0, 1),
                     xcb_get_window_attributes(c, children[i]), xcb_get_geometry(c, children[i])});
  }
  bool found = false;
  for (const Asked& a : asked) {
    auto property = own(xcb_get_property_reply(c, a.pid, nullptr));
    auto attributes = own(xcb_get_window_attributes_reply(c, a.attributes, nullptr));
    auto geometry = own(xcb_get_geometry_reply(c, a.geometry, nullptr));
    if (found || !property || !attributes || !geometry) continue;
    found = xcb_get_property_value_length(property.get()) == 4 &&
            *static_cast<const std::uint32_t*>(xcb_get_property_value(property.get())) == pid &&
            attributes->map_state == XCB_MAP_STATE_VIEWABLE && geometry->width <= 48 &&
            geometry->height <= 48;
  }
  for (int i = 0; i < count && !found && depth > 0; ++i)
    found = holdsStatusItem(c, children[i], pid, pidAtom, depth - 1);
  return found;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: StatusItemWait <pid> <start-ns> <timeout-ms>\n");
    return 2;
  }
  const auto pid = static_cast<std::uint32_t>(std::strtoul(argv[1], nullptr, 10));
  const long long start = std::strtoll(argv[2], nullptr, 10);
  const double timeout = std::strtod(argv[3], nullptr);
  xcb_connection_t* c = xcb_connect(nullptr, nullptr);
  if (xcb_connection_has_error(c)) {
    std::fprintf(stderr, "StatusItemWait: no X display\n");
    return 2;
  }
  auto atom = own(xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, 11, "_NET_WM_PID"), nullptr));
  if (!atom) return 2;
  const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
  // Root, a tray's frame, the tray, its socket and the item: deep enough for every tray tried.
  constexpr int depth = 4;
  while (millisecondsSince(start) < timeout) {
    if (holdsStatusItem(c, root, pid, atom->atom, depth)) {
      std::printf("%.0f\n", millisecondsSince(start));
      return 0;
    }
    ::usleep(1000);
  }
  return 1;
}
