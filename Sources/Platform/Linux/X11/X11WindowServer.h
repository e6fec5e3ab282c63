#pragma once

#include <xcb/xcb.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "Platform/Desktop/Geometry.h"
#include "Platform/Linux/X11/X11Connection.h"
#include "Platform/WindowServer/WindowServer.h"

namespace platform::linuxbackend {

// What the desktop backend tells the window server about one of this process's windows.
struct OwnWindowInfo {
  int layer = 0;
  std::string name;
  bool onScreen = false;
};

// One window of the list as the X server showed it when the snapshot was taken.
struct X11WindowEntry {
  std::uint32_t number = 0;  // the client window's id
  std::uint32_t frame = 0;   // its top-level ancestor (the window manager's frame, or itself)
  std::int32_t pid = 0;      // 0 when unknown
  std::string ownerName;
  std::optional<std::string> name;
  int layer = 0;
  Rect bounds;  // window-list coordinates, frame included
  bool onScreen = false;
  bool minimized = false;  // _NET_WM_STATE_HIDDEN
  bool desktopElement = false;
  bool own = false;
};

// The current window list, front to back, shared and never changed once made.
struct X11WindowSnapshot {
  std::vector<X11WindowEntry> windows;
  // The top-level windows of the root, front to back, as the server stacks them.
  std::vector<std::uint32_t> topLevels;
  const X11WindowEntry* find(std::uint32_t number) const;
};

// The window server of an X11 desktop with an EWMH window manager: other applications'
// windows from the window manager's client list, and ours from the backend. The list is kept
// in a cache that the X server's events invalidate, so reading it while nothing changed costs
// no round trip; after a change every request goes out before the first reply is read.
class X11WindowServer final : public WindowServer {
 public:
  explicit X11WindowServer(std::shared_ptr<X11Connection> connection);
  ~X11WindowServer() override;

  std::shared_ptr<const Value> copyWindowList(std::uint32_t options,
                                              std::uint32_t relativeTo = 0) override;
  ProcessProbeResult probeProcess(std::int32_t pid) override;
  // From the events of the clients the manager listed: a destroyed one has left the server's
  // tree, while a minimised, withdrawn or elsewhere one still exists.
  WindowPresence windowPresence(std::uint32_t windowNumber) override;
  bool preflightScreenCaptureAccess() override { return true; }
  bool requestScreenCaptureAccess() override { return true; }

  // Our windows are not in the window manager's lists: the backend says which top-level
  // windows are ours and how to list them (listed with the client window's id as number, this
  // process's pid and name). Called on the main thread while a list is made.
  using OwnWindowProvider = std::function<std::optional<OwnWindowInfo>(std::uint32_t xid)>;
  void setOwnWindowProvider(OwnWindowProvider provider);
  // Something the provider answers changed (a window shown, hidden, renamed).
  void ownWindowsDidChange();

  // Restacks our override-redirect window directly above the target's frame, unless the
  // server already stacks it there. Nothing happens for an unknown target.
  void placeAbove(std::uint32_t ourXid, std::uint32_t targetWindowNumber);

  // The list as it stands, read afresh only when something changed since the last one. Null
  // while the connection is broken.
  std::shared_ptr<const X11WindowSnapshot> snapshot();
  X11Connection& connection() const { return *connection_; }

  // How many times the list was read from the server, and how many restacks `placeAbove`
  // asked for (for tests and benchmarks).
  std::uint64_t refreshCount() const { return refreshes_; }
  std::uint64_t restackCount() const { return restacks_; }

 private:
  // What we know of each client between reads: its properties until it reports a change of
  // one, its frame until it is reparented. Every client in here is watched for both.
  struct ClientCache {
    bool propertiesKnown = false;
    std::int32_t pid = 0;
    std::string ownerName;
    std::optional<std::string> name;
    int layer = 0;
    bool desktopElement = false;
    bool hidden = false;
    std::uint32_t frame = 0;  // 0 while unknown
  };
  // A list read, step by step: the stacking, then the clients' properties and map state, then
  // their owners (frames and pids), then every listed window's geometry in one batch, and last
  // the order front to back.
  struct Stacking {
    std::vector<xcb_window_t> topLevels;  // bottom to top, as the server answers
    std::vector<xcb_window_t> clients;    // the manager's list, each client once
  };
  struct ListedClient {
    xcb_window_t window;
    ClientCache* cache;
    bool viewable;
  };
  struct ClientReads {
    std::vector<ListedClient> listed;
    std::vector<std::pair<ClientCache*, xcb_window_t>> climbing;  // unknown frames: next ancestor
    std::vector<std::pair<xcb_window_t, ClientCache*>> withoutPid;
  };
  struct Geometry {
    std::vector<X11WindowEntry> clients;
    std::unordered_map<xcb_window_t, X11WindowEntry> ownTopLevels;
  };

  void handleEvent(const xcb_generic_event_t& event);
  void invalidate() { dirty_ = true; }
  std::shared_ptr<const X11WindowSnapshot> refresh();
  std::optional<Stacking> readStacking();
  std::unordered_map<xcb_window_t, OwnWindowInfo> ownWindowsIn(const Stacking& stacking) const;
  ClientReads readClients(const std::vector<xcb_window_t>& clients);
  void resolveFrames(std::vector<std::pair<ClientCache*, xcb_window_t>> climbing);
  void resolvePids(const std::vector<std::pair<xcb_window_t, ClientCache*>>& withoutPid);
  Geometry readGeometry(const std::vector<ListedClient>& listed,
                        const std::unordered_map<xcb_window_t, OwnWindowInfo>& own,
                        const std::vector<xcb_window_t>& topLevels);
  static void stackFrontToBack(X11WindowSnapshot& snapshot,
                               const std::vector<xcb_window_t>& topLevels, Geometry geometry);
  void watchClients(const std::vector<xcb_window_t>& clients);
  void noteDestroyed(xcb_window_t window);
  std::vector<std::int32_t> resourcePids(const std::vector<xcb_window_t>& windows);
  void readProperties(ClientCache& cache, const xcb_get_property_reply_t* pid,
                      const xcb_get_property_reply_t* wmClass,
                      const xcb_get_property_reply_t* netName,
                      const xcb_get_property_reply_t* wmName, const xcb_get_property_reply_t* state,
                      const xcb_get_property_reply_t* type) const;

  std::shared_ptr<X11Connection> connection_;
  X11Connection::SubscriptionId subscription_ = 0;
  OwnWindowProvider ownWindows_;
  std::shared_ptr<const X11WindowSnapshot> snapshot_;
  std::map<std::uint32_t, std::shared_ptr<const Value>> values_;  // by list options
  bool dirty_ = true;
  std::uint64_t refreshes_ = 0;
  std::uint64_t restacks_ = 0;
  std::map<xcb_window_t, ClientCache> clients_;
  // Every client ever listed and not destroyed since, and the last clients destroyed (oldest
  // first, a bounded number): what `windowPresence` answers from.
  std::set<xcb_window_t> seen_;
  std::set<xcb_window_t> destroyed_;
  std::deque<xcb_window_t> destroyedOrder_;
  bool hasResourceExtension_ = false;
  std::int32_t ownPid_ = 0;
  std::string ownName_;
};

}  // namespace platform::linuxbackend
