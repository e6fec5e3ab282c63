#pragma once

#include <xcb/xcb.h>

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace platform {
class RunLoop;
}

namespace platform::linuxbackend {

// Atoms the X11 backend reads or sends, interned once per connection.
struct X11Atoms {
  xcb_atom_t utf8String = XCB_NONE;
  xcb_atom_t wmState = XCB_NONE;
  xcb_atom_t netSupported = XCB_NONE;
  xcb_atom_t netClientList = XCB_NONE;
  xcb_atom_t netClientListStacking = XCB_NONE;
  xcb_atom_t netActiveWindow = XCB_NONE;
  xcb_atom_t netWmPid = XCB_NONE;
  xcb_atom_t netWmName = XCB_NONE;
  xcb_atom_t netWmState = XCB_NONE;
  xcb_atom_t netWmStateHidden = XCB_NONE;
  xcb_atom_t netWmStateAbove = XCB_NONE;
  xcb_atom_t netWmWindowType = XCB_NONE;
  xcb_atom_t netWmWindowTypeNormal = XCB_NONE;
  xcb_atom_t netWmWindowTypeDialog = XCB_NONE;
  xcb_atom_t netWmWindowTypeDock = XCB_NONE;
  xcb_atom_t netWmWindowTypeDesktop = XCB_NONE;
  xcb_atom_t netWmWindowTypeToolbar = XCB_NONE;
  xcb_atom_t netWmWindowTypeMenu = XCB_NONE;
  xcb_atom_t netWmWindowTypeUtility = XCB_NONE;
  xcb_atom_t netWmWindowTypeSplash = XCB_NONE;
  xcb_atom_t netWmWindowTypeDropdownMenu = XCB_NONE;
  xcb_atom_t netWmWindowTypePopupMenu = XCB_NONE;
  xcb_atom_t netWmWindowTypeTooltip = XCB_NONE;
  xcb_atom_t netWmWindowTypeNotification = XCB_NONE;
  xcb_atom_t netWmWindowTypeCombo = XCB_NONE;
  xcb_atom_t netWmWindowTypeDnd = XCB_NONE;
  xcb_atom_t netFrameExtents = XCB_NONE;
  xcb_atom_t netCurrentDesktop = XCB_NONE;
  xcb_atom_t netWmDesktop = XCB_NONE;
  xcb_atom_t netWorkarea = XCB_NONE;
  xcb_atom_t wmChangeState = XCB_NONE;
};

// Sends the root window a client message about `window`, the way a window manager takes
// requests (EWMH): 32-bit data, to the substructure redirect and notify masks.
void sendRootClientMessage(xcb_connection_t* c, xcb_window_t root, xcb_window_t window,
                           xcb_atom_t type, std::array<std::uint32_t, 5> data);

// Our own connection to the X server, separate from the toolkit's so that reading other
// applications' windows never competes with drawing ours. Its descriptor is a read source of
// the main run loop; events are handed to subscribers on the main thread. When the server goes
// away the connection reports it once and stays quiet: every later request simply fails.
class X11Connection : public std::enable_shared_from_this<X11Connection> {
 public:
  using EventHandler = std::function<void(const xcb_generic_event_t& event)>;
  using SubscriptionId = std::uint64_t;

  // Null when no display can be opened (`display` empty: $DISPLAY). With an installed
  // environment whose main loop runs on the system clock, the connection watches itself there;
  // otherwise the owner calls `dispatchPendingEvents`.
  static std::shared_ptr<X11Connection> open(std::string_view display = {});
  ~X11Connection();
  X11Connection(const X11Connection&) = delete;
  X11Connection& operator=(const X11Connection&) = delete;

  xcb_connection_t* raw() const { return connection_; }
  int fileDescriptor() const;
  const X11Atoms& atoms() const { return atoms_; }
  // Interns one more atom (one round trip the first time); XCB_NONE when the server is gone.
  xcb_atom_t atom(std::string_view name);

  xcb_window_t root() const { return root_; }
  const xcb_screen_t& screen() const { return *screen_; }
  // The root window's size: the union of all monitors.
  std::uint16_t rootWidth() const { return rootWidth_; }
  std::uint16_t rootHeight() const { return rootHeight_; }

  // Handlers run on the main thread, in subscription order, for every event and for errors
  // (response type 0) that arrive as events, from `dispatchPendingEvents`. Unsubscribing
  // inside a handler is allowed.
  SubscriptionId subscribe(EventHandler handler);
  // Observers see each event as soon as it is read, whoever reads it, even in the middle of
  // another component's call; they only note what changed (a cache to drop) and must not call
  // back into the product.
  SubscriptionId observe(EventHandler observer);
  void unsubscribe(SubscriptionId id);
  // Runs once, the first time the connection is found broken.
  SubscriptionId onBroken(std::function<void()> handler);

  bool isBroken();
  void flush();
  // A round trip: afterwards every event the server generated before it has been queued.
  void sync();
  // Reads every queued event and hands each to the subscribers.
  void dispatchPendingEvents();
  // Hands the subscribers what was already read from the socket (by waits for replies) without
  // reading it again: what the socket still holds makes its descriptor readable.
  void dispatchQueuedEvents();
  // Reads what the server sent so far and shows it to the observers only; subscribers get it
  // on the next dispatch (posted to the main loop when there is one).
  void readEvents();
  // The same for what xcb has already read (by waits for replies), never touching the socket:
  // what the socket holds makes its descriptor readable, and the loop reads it when it wakes.
  void readQueuedEvents();
  // Watches the connection as a read source of `loop`, removed again when the connection
  // breaks or ends. `open` does this itself with the installed environment's main loop.
  void attachTo(const std::shared_ptr<RunLoop>& loop);
  // After waiting for a reply: events that arrived meanwhile sit in xcb's queue, where the
  // descriptor no longer shows them, so their dispatch is posted to the main loop.
  void didWaitForReplies();

 private:
  X11Connection(xcb_connection_t* connection, int screenNumber);
  void internAtoms();
  // Moves what the socket holds into `queued_`, showing each event to the observers.
  bool readIntoQueue();
  // The same for what xcb has already read; never touches the socket.
  bool takeQueuedIntoQueue();
  void handleQueue();
  void observeEvent(const xcb_generic_event_t& event);
  void handleEvent(const xcb_generic_event_t& event);
  void reportBrokenOnce();

  xcb_connection_t* connection_ = nullptr;
  const xcb_screen_t* screen_ = nullptr;
  xcb_window_t root_ = XCB_NONE;
  std::uint16_t rootWidth_ = 0;
  std::uint16_t rootHeight_ = 0;
  X11Atoms atoms_;
  std::map<std::string, xcb_atom_t, std::less<>> extraAtoms_;

  struct Subscriber {
    SubscriptionId id;
    std::shared_ptr<EventHandler> handler;
  };
  std::vector<Subscriber> subscribers_;
  std::vector<Subscriber> observers_;
  std::deque<std::unique_ptr<xcb_generic_event_t, void (*)(void*)>> queued_;
  std::vector<std::pair<SubscriptionId, std::function<void()>>> brokenHandlers_;
  SubscriptionId nextId_ = 1;
  bool brokenReported_ = false;
  std::weak_ptr<RunLoop> loop_;
  std::uint64_t readSource_ = 0;
  bool dispatchPosted_ = false;
};

}  // namespace platform::linuxbackend
