#include "Platform/Linux/X11/X11Connection.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "Platform/Foundation/Environment.h"
#include "Platform/Foundation/RunLoop.h"
#include "Platform/Linux/X11/X11Reply.h"

namespace platform::linuxbackend {

std::shared_ptr<X11Connection> X11Connection::open(std::string_view display) {
  std::string name(display);
  int screenNumber = 0;
  xcb_connection_t* c = xcb_connect(name.empty() ? nullptr : name.c_str(), &screenNumber);
  if (!c) return nullptr;
  if (xcb_connection_has_error(c)) {
    xcb_disconnect(c);
    return nullptr;
  }
  std::shared_ptr<X11Connection> connection(new X11Connection(c, screenNumber));
  if (!connection->screen_) return nullptr;
  connection->internAtoms();

  if (hasEnvironment() && env().mainLoop && !env().mainLoop->isManual())
    connection->attachTo(env().mainLoop);
  return connection;
}

void X11Connection::attachTo(const std::shared_ptr<RunLoop>& loop) {
  if (!loop || readSource_ || brokenReported_) return;
  std::weak_ptr<X11Connection> weak = weak_from_this();
  loop_ = loop;
  readSource_ = loop->addReadSource(fileDescriptor(), [weak] {
    if (auto strong = weak.lock()) strong->dispatchPendingEvents();
  });
}

X11Connection::X11Connection(xcb_connection_t* connection, int screenNumber)
    : connection_(connection) {
  auto it = xcb_setup_roots_iterator(xcb_get_setup(connection_));
  for (int i = 0; it.rem > 0; ++i, xcb_screen_next(&it)) {
    if (i == screenNumber) {
      screen_ = it.data;
      break;
    }
  }
  if (!screen_) return;
  root_ = screen_->root;
  rootWidth_ = screen_->width_in_pixels;
  rootHeight_ = screen_->height_in_pixels;
  // The root's structure (size changes when monitors change) and its children's, and its
  // properties (the window manager's lists).
  std::uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY |
                       XCB_EVENT_MASK_PROPERTY_CHANGE;
  xcb_change_window_attributes(connection_, root_, XCB_CW_EVENT_MASK, &mask);
  xcb_flush(connection_);
}

X11Connection::~X11Connection() {
  if (readSource_) {
    if (auto loop = loop_.lock()) loop->removeReadSource(readSource_);
  }
  xcb_disconnect(connection_);
}

int X11Connection::fileDescriptor() const {
  return xcb_get_file_descriptor(connection_);
}

void X11Connection::internAtoms() {
  struct Name {
    const char* name;
    xcb_atom_t X11Atoms::*member;
  };
  static const Name names[] = {
      {"UTF8_STRING", &X11Atoms::utf8String},
      {"WM_STATE", &X11Atoms::wmState},
      {"WM_CHANGE_STATE", &X11Atoms::wmChangeState},
      {"_NET_SUPPORTED", &X11Atoms::netSupported},
      {"_NET_CLIENT_LIST", &X11Atoms::netClientList},
      {"_NET_CLIENT_LIST_STACKING", &X11Atoms::netClientListStacking},
      {"_NET_ACTIVE_WINDOW", &X11Atoms::netActiveWindow},
      {"_NET_WM_PID", &X11Atoms::netWmPid},
      {"_NET_WM_NAME", &X11Atoms::netWmName},
      {"_NET_WM_STATE", &X11Atoms::netWmState},
      {"_NET_WM_STATE_HIDDEN", &X11Atoms::netWmStateHidden},
      {"_NET_WM_STATE_ABOVE", &X11Atoms::netWmStateAbove},
      {"_NET_WM_WINDOW_TYPE", &X11Atoms::netWmWindowType},
      {"_NET_WM_WINDOW_TYPE_NORMAL", &X11Atoms::netWmWindowTypeNormal},
      {"_NET_WM_WINDOW_TYPE_DIALOG", &X11Atoms::netWmWindowTypeDialog},
      {"_NET_WM_WINDOW_TYPE_DOCK", &X11Atoms::netWmWindowTypeDock},
      {"_NET_WM_WINDOW_TYPE_DESKTOP", &X11Atoms::netWmWindowTypeDesktop},
      {"_NET_WM_WINDOW_TYPE_TOOLBAR", &X11Atoms::netWmWindowTypeToolbar},
      {"_NET_WM_WINDOW_TYPE_MENU", &X11Atoms::netWmWindowTypeMenu},
      {"_NET_WM_WINDOW_TYPE_UTILITY", &X11Atoms::netWmWindowTypeUtility},
      {"_NET_WM_WINDOW_TYPE_SPLASH", &X11Atoms::netWmWindowTypeSplash},
      {"_NET_WM_WINDOW_TYPE_DROPDOWN_MENU", &X11Atoms::netWmWindowTypeDropdownMenu},
      {"_NET_WM_WINDOW_TYPE_POPUP_MENU", &X11Atoms::netWmWindowTypePopupMenu},
      {"_NET_WM_WINDOW_TYPE_TOOLTIP", &X11Atoms::netWmWindowTypeTooltip},
      {"_NET_WM_WINDOW_TYPE_NOTIFICATION", &X11Atoms::netWmWindowTypeNotification},
      {"_NET_WM_WINDOW_TYPE_COMBO", &X11Atoms::netWmWindowTypeCombo},
      {"_NET_WM_WINDOW_TYPE_DND", &X11Atoms::netWmWindowTypeDnd},
      {"_NET_FRAME_EXTENTS", &X11Atoms::netFrameExtents},
      {"_NET_CURRENT_DESKTOP", &X11Atoms::netCurrentDesktop},
      {"_NET_WM_DESKTOP", &X11Atoms::netWmDesktop},
      {"_NET_WORKAREA", &X11Atoms::netWorkarea},
  };
  std::vector<xcb_intern_atom_cookie_t> cookies;
  for (const auto& n : names) {
    cookies.push_back(
        xcb_intern_atom(connection_, 0, static_cast<std::uint16_t>(std::strlen(n.name)), n.name));
  }
  for (std::size_t i = 0; i < cookies.size(); ++i) {
    X11Reply<xcb_intern_atom_reply_t> reply(
        xcb_intern_atom_reply(connection_, cookies[i], nullptr));
    if (reply) atoms_.*(names[i].member) = reply->atom;
  }
}

xcb_atom_t X11Connection::atom(std::string_view name) {
  if (auto it = extraAtoms_.find(name); it != extraAtoms_.end()) return it->second;
  auto cookie =
      xcb_intern_atom(connection_, 0, static_cast<std::uint16_t>(name.size()), name.data());
  X11Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(connection_, cookie, nullptr));
  didWaitForReplies();
  if (!reply) return XCB_NONE;
  extraAtoms_.emplace(std::string(name), reply->atom);
  return reply->atom;
}

X11Connection::SubscriptionId X11Connection::subscribe(EventHandler handler) {
  SubscriptionId id = nextId_++;
  subscribers_.push_back({id, std::make_shared<EventHandler>(std::move(handler))});
  return id;
}

X11Connection::SubscriptionId X11Connection::observe(EventHandler observer) {
  SubscriptionId id = nextId_++;
  observers_.push_back({id, std::make_shared<EventHandler>(std::move(observer))});
  return id;
}

void X11Connection::unsubscribe(SubscriptionId id) {
  std::erase_if(subscribers_, [id](const Subscriber& s) { return s.id == id; });
  std::erase_if(observers_, [id](const Subscriber& s) { return s.id == id; });
  std::erase_if(brokenHandlers_, [id](const auto& h) { return h.first == id; });
}

X11Connection::SubscriptionId X11Connection::onBroken(std::function<void()> handler) {
  SubscriptionId id = nextId_++;
  brokenHandlers_.emplace_back(id, std::move(handler));
  return id;
}

bool X11Connection::isBroken() {
  if (xcb_connection_has_error(connection_) == 0) return false;
  reportBrokenOnce();
  return true;
}

void X11Connection::reportBrokenOnce() {
  if (brokenReported_) return;
  brokenReported_ = true;
  // A dead descriptor stays readable for ever: stop watching it so the loop does not spin.
  if (readSource_) {
    if (auto loop = loop_.lock()) loop->removeReadSource(readSource_);
    readSource_ = 0;
  }
  std::fprintf(stderr, "flagrig: the connection to the X server was lost\n");
  auto handlers = brokenHandlers_;
  for (auto& [id, handler] : handlers) {
    if (handler) handler();
  }
}

void X11Connection::flush() {
  if (!isBroken()) xcb_flush(connection_);
}

void X11Connection::sync() {
  if (isBroken()) return;
  X11Reply<xcb_get_input_focus_reply_t> reply(
      xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
  didWaitForReplies();
}

void X11Connection::didWaitForReplies() {
  auto loop = loop_.lock();
  if (!loop || dispatchPosted_ || brokenReported_) return;
  dispatchPosted_ = true;
  std::weak_ptr<X11Connection> weak = weak_from_this();
  loop->post([weak] {
    if (auto strong = weak.lock()) {
      strong->dispatchPosted_ = false;
      strong->dispatchPendingEvents();
    }
  });
}

void X11Connection::readEvents() {
  if (readIntoQueue()) didWaitForReplies();
}

void X11Connection::readQueuedEvents() {
  if (takeQueuedIntoQueue()) didWaitForReplies();
}

bool X11Connection::readIntoQueue() {
  bool any = false;
  while (!isBroken()) {
    auto* raw = xcb_poll_for_event(connection_);
    if (!raw) {
      // Reading may have just found the server gone: report it now, not on the next wake.
      isBroken();
      break;
    }
    std::unique_ptr<xcb_generic_event_t, void (*)(void*)> event(raw, std::free);
    observeEvent(*event);
    queued_.push_back(std::move(event));
    any = true;
  }
  return any;
}

bool X11Connection::takeQueuedIntoQueue() {
  bool any = false;
  while (!brokenReported_) {
    auto* raw = xcb_poll_for_queued_event(connection_);
    if (!raw) break;
    std::unique_ptr<xcb_generic_event_t, void (*)(void*)> event(raw, std::free);
    observeEvent(*event);
    queued_.push_back(std::move(event));
    any = true;
  }
  return any;
}

void X11Connection::dispatchPendingEvents() {
  readIntoQueue();
  handleQueue();
}

void X11Connection::dispatchQueuedEvents() {
  takeQueuedIntoQueue();
  handleQueue();
}

void X11Connection::handleQueue() {
  while (!queued_.empty()) {
    auto event = std::move(queued_.front());
    queued_.pop_front();
    handleEvent(*event);
  }
}

void X11Connection::observeEvent(const xcb_generic_event_t& event) {
  if ((event.response_type & 0x7f) == XCB_CONFIGURE_NOTIFY) {
    const auto& e = reinterpret_cast<const xcb_configure_notify_event_t&>(event);
    if (e.window == root_) {
      rootWidth_ = e.width;
      rootHeight_ = e.height;
    }
  }
  auto observers = observers_;
  for (const auto& o : observers) (*o.handler)(event);
}

void X11Connection::handleEvent(const xcb_generic_event_t& event) {
  // Handlers may subscribe or unsubscribe while they run.
  auto subscribers = subscribers_;
  for (const auto& s : subscribers) {
    bool still = std::any_of(subscribers_.begin(), subscribers_.end(),
                             [&](const Subscriber& o) { return o.id == s.id; });
    if (still) (*s.handler)(event);
  }
}

void sendRootClientMessage(xcb_connection_t* c, xcb_window_t root, xcb_window_t window,
                           xcb_atom_t type, std::array<std::uint32_t, 5> data) {
  xcb_client_message_event_t message{};
  message.response_type = XCB_CLIENT_MESSAGE;
  message.format = 32;
  message.window = window;
  message.type = type;
  for (std::size_t i = 0; i < data.size(); ++i) message.data.data32[i] = data[i];
  xcb_send_event(c, 0, root,
                 XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                 reinterpret_cast<const char*>(&message));
}

}  // namespace platform::linuxbackend
