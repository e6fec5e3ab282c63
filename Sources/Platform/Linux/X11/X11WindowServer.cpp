#include "Platform/Linux/X11/X11WindowServer.h"

#include <signal.h>
#include <unistd.h>
#include <xcb/res.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <unordered_map>

#include "Platform/Foundation/UnicodeText.h"
#include "Platform/WindowServer/WindowList.h"

namespace platform::linuxbackend {

namespace {

struct FreeDeleter {
  void operator()(void* p) const { std::free(p); }
};
template <typename T>
using Reply = std::unique_ptr<T, FreeDeleter>;

// Names longer than this are cut: a window title is never legitimately 4 KiB, and a hostile
// client must not make every list read copy megabytes.
constexpr std::uint32_t maxTextLongs = 1024;
// Clients beyond this many are not listed (a broken manager's list, not a desktop).
constexpr std::size_t maxClients = 4096;
// Frame extents beyond this are garbage.
constexpr std::uint32_t maxExtent = 4096;

std::string propertyBytes(const xcb_get_property_reply_t* reply) {
  if (!reply || reply->format != 8) return {};
  auto length = xcb_get_property_value_length(reply);
  if (length <= 0) return {};
  return std::string(static_cast<const char*>(xcb_get_property_value(reply)),
                     static_cast<std::size_t>(length));
}

std::vector<std::uint32_t> propertyLongs(const xcb_get_property_reply_t* reply) {
  if (!reply || reply->format != 32) return {};
  auto length = xcb_get_property_value_length(reply);
  if (length <= 0) return {};
  auto* data = static_cast<const std::uint32_t*>(xcb_get_property_value(reply));
  return std::vector<std::uint32_t>(data, data + static_cast<std::size_t>(length) / 4);
}

// Latin-1 (WM_NAME of type STRING) to UTF-8.
std::string latin1ToUTF8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (unsigned char c : bytes) {
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return out;
}

// A title as the list shows it: valid UTF-8, without the terminators some clients append.
std::string cleanText(std::string text) {
  while (!text.empty() && text.back() == '\0') text.pop_back();
  if (auto nul = text.find('\0'); nul != std::string::npos) text.resize(nul);
  return UnicodeText::repairedUTF8(text);
}

std::string ownProcessName() {
  std::ifstream in("/proc/self/comm");
  std::string name;
  std::getline(in, name);
  return name;
}

}  // namespace

const X11WindowEntry* X11WindowSnapshot::find(std::uint32_t number) const {
  for (const auto& w : windows) {
    if (w.number == number) return &w;
  }
  return nullptr;
}

X11WindowServer::X11WindowServer(std::shared_ptr<X11Connection> connection)
    : connection_(std::move(connection)),
      ownPid_(static_cast<std::int32_t>(::getpid())),
      ownName_(ownProcessName()) {
  subscription_ = connection_->subscribe([this](const xcb_generic_event_t& e) { handleEvent(e); });
  if (auto* ext = xcb_get_extension_data(connection_->raw(), &xcb_res_id))
    hasResourceExtension_ = ext->present;
}

X11WindowServer::~X11WindowServer() {
  connection_->unsubscribe(subscription_);
}

void X11WindowServer::handleEvent(const xcb_generic_event_t& event) {
  const auto& atoms = connection_->atoms();
  switch (event.response_type & 0x7f) {
    case XCB_PROPERTY_NOTIFY: {
      const auto& e = reinterpret_cast<const xcb_property_notify_event_t&>(event);
      if (e.window == connection_->root()) {
        if (e.atom == atoms.netClientListStacking || e.atom == atoms.netClientList) invalidate();
        return;
      }
      if (e.atom == atoms.netWmName || e.atom == XCB_ATOM_WM_NAME || e.atom == XCB_ATOM_WM_CLASS ||
          e.atom == atoms.netWmState || e.atom == atoms.netFrameExtents ||
          e.atom == atoms.netWmPid || e.atom == atoms.netWmWindowType) {
        invalidate();
      }
      return;
    }
    case XCB_DESTROY_NOTIFY: {
      const auto& e = reinterpret_cast<const xcb_destroy_notify_event_t&>(event);
      watched_.erase(e.window);
      invalidate();
      return;
    }
    // The root's substructure: frames and our windows created, mapped, moved and restacked.
    case XCB_CREATE_NOTIFY:
    case XCB_MAP_NOTIFY:
    case XCB_UNMAP_NOTIFY:
    case XCB_REPARENT_NOTIFY:
    case XCB_CONFIGURE_NOTIFY:
    case XCB_CIRCULATE_NOTIFY:
    case XCB_GRAVITY_NOTIFY:
      invalidate();
      return;
    default:
      return;
  }
}

std::shared_ptr<const Value> X11WindowServer::copyWindowList(std::uint32_t options,
                                                             std::uint32_t relativeTo) {
  if (relativeTo != 0) return nullptr;
  auto current = snapshot();
  if (!current) return nullptr;
  options &= WindowList::optionOnScreenOnly | WindowList::excludeDesktopElements;
  if (auto it = values_.find(options); it != values_.end()) return it->second;

  bool onScreenOnly = options & WindowList::optionOnScreenOnly;
  bool excludeDesktop = options & WindowList::excludeDesktopElements;
  Value::Array list;
  list.reserve(current->windows.size());
  for (const auto& w : current->windows) {
    if (onScreenOnly && !w.onScreen) continue;
    if (excludeDesktop && w.desktopElement) continue;
    Value::Dictionary d;
    d.emplace(WindowList::numberKey, Value(w.number));
    d.emplace(WindowList::ownerPIDKey, Value(w.pid));
    d.emplace(WindowList::ownerNameKey, Value(w.ownerName));
    d.emplace(WindowList::layerKey, Value(w.layer));
    d.emplace(WindowList::boundsKey, WindowList::boundsDictionary(w.bounds));
    if (w.name) d.emplace(WindowList::nameKey, Value(*w.name));
    if (w.onScreen) d.emplace(WindowList::onScreenKey, Value(true));
    list.emplace_back(std::move(d));
  }
  auto value = std::make_shared<const Value>(std::move(list));
  values_[options] = value;
  return value;
}

ProcessProbeResult X11WindowServer::probeProcess(std::int32_t pid) {
  // kill(0 or -1, 0) would probe our process group or every process: not a window's owner.
  if (pid <= 0) return {-1, ESRCH};
  int result = ::kill(pid, 0);
  return {result, result == 0 ? 0 : errno};
}

void X11WindowServer::setOwnWindowProvider(OwnWindowProvider provider) {
  ownWindows_ = std::move(provider);
  invalidate();
}

void X11WindowServer::ownWindowsDidChange() {
  invalidate();
}

std::shared_ptr<const X11WindowSnapshot> X11WindowServer::snapshot() {
  // Events already received may say the cache is stale; reading them costs no round trip.
  connection_->dispatchPendingEvents();
  if (connection_->isBroken()) {
    snapshot_.reset();
    values_.clear();
    return nullptr;
  }
  if (dirty_ || !snapshot_) {
    dirty_ = false;
    values_.clear();
    snapshot_ = refresh();
  }
  return snapshot_;
}

void X11WindowServer::watchClients(const std::vector<xcb_window_t>& clients) {
  std::uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
  bool sent = false;
  for (auto c : clients) {
    if (watched_.insert(c).second) {
      // A client that is gone answers an error into the event queue, which nobody minds.
      xcb_change_window_attributes(connection_->raw(), c, XCB_CW_EVENT_MASK, &mask);
      sent = true;
    }
  }
  if (sent) connection_->flush();
}

std::vector<std::int32_t> X11WindowServer::resourcePids(const std::vector<xcb_window_t>& windows) {
  std::vector<std::int32_t> pids(windows.size(), 0);
  if (!hasResourceExtension_) return pids;
  auto* c = connection_->raw();
  std::vector<xcb_res_query_client_ids_cookie_t> cookies;
  cookies.reserve(windows.size());
  for (auto w : windows) {
    xcb_res_client_id_spec_t spec{w, XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID};
    cookies.push_back(xcb_res_query_client_ids(c, 1, &spec));
  }
  for (std::size_t i = 0; i < windows.size(); ++i) {
    Reply<xcb_res_query_client_ids_reply_t> reply(
        xcb_res_query_client_ids_reply(c, cookies[i], nullptr));
    if (!reply) continue;
    for (auto it = xcb_res_query_client_ids_ids_iterator(reply.get()); it.rem > 0;
         xcb_res_client_id_value_next(&it)) {
      if (!(it.data->spec.mask & XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID)) continue;
      if (xcb_res_client_id_value_value_length(it.data) < 1) continue;
      std::uint32_t pid = *xcb_res_client_id_value_value(it.data);
      if (pid > 0 && pid <= static_cast<std::uint32_t>(INT32_MAX))
        pids[i] = static_cast<std::int32_t>(pid);
    }
  }
  return pids;
}

std::shared_ptr<const X11WindowSnapshot> X11WindowServer::refresh() {
  ++refreshes_;
  auto* c = connection_->raw();
  const auto& atoms = connection_->atoms();
  const xcb_window_t root = connection_->root();
  auto result = std::make_shared<X11WindowSnapshot>();

  // Round one: the server's stacking of the root's children and the manager's client list.
  auto treeCookie = xcb_query_tree(c, root);
  auto stackingCookie = xcb_get_property(c, 0, root, atoms.netClientListStacking, XCB_ATOM_WINDOW,
                                         0, maxClients);
  Reply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(c, treeCookie, nullptr));
  Reply<xcb_get_property_reply_t> stackingReply(xcb_get_property_reply(c, stackingCookie, nullptr));
  if (!tree) return result;

  std::vector<xcb_window_t> topLevels;  // bottom to top as the server answers
  {
    auto* children = xcb_query_tree_children(tree.get());
    int count = xcb_query_tree_children_length(tree.get());
    topLevels.assign(children, children + std::max(count, 0));
  }
  std::vector<xcb_window_t> clients = propertyLongs(stackingReply.get());
  if (clients.size() > maxClients) clients.resize(maxClients);
  // A broken list may name one window twice; keep its topmost place.
  {
    std::set<xcb_window_t> seen;
    std::vector<xcb_window_t> unique;
    for (auto it = clients.rbegin(); it != clients.rend(); ++it) {
      if (*it != XCB_NONE && *it != root && seen.insert(*it).second) unique.push_back(*it);
    }
    clients.assign(unique.rbegin(), unique.rend());
  }
  watchClients(clients);

  // Which top-level windows are ours: asked before round two so their geometry joins it.
  std::unordered_map<xcb_window_t, OwnWindowInfo> own;
  if (ownWindows_) {
    for (auto w : topLevels) {
      if (auto info = ownWindows_(w)) own.emplace(w, std::move(*info));
    }
    for (auto w : clients) {
      if (auto info = ownWindows_(w)) own.emplace(w, std::move(*info));
    }
  }

  // Round two: everything about every client, all requests first.
  struct Cookies {
    xcb_get_property_cookie_t pid, wmClass, netName, wmName, state, type, extents;
    xcb_get_geometry_cookie_t geometry;
    xcb_translate_coordinates_cookie_t position;
    xcb_query_tree_cookie_t parent;
    xcb_get_window_attributes_cookie_t attributes;
  };
  std::vector<Cookies> cookies;
  cookies.reserve(clients.size());
  for (auto w : clients) {
    Cookies k;
    k.pid = xcb_get_property(c, 0, w, atoms.netWmPid, XCB_ATOM_CARDINAL, 0, 1);
    k.wmClass = xcb_get_property(c, 0, w, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 0, maxTextLongs);
    k.netName = xcb_get_property(c, 0, w, atoms.netWmName, atoms.utf8String, 0, maxTextLongs);
    k.wmName = xcb_get_property(c, 0, w, XCB_ATOM_WM_NAME, XCB_GET_PROPERTY_TYPE_ANY, 0, maxTextLongs);
    k.state = xcb_get_property(c, 0, w, atoms.netWmState, XCB_ATOM_ATOM, 0, 64);
    k.type = xcb_get_property(c, 0, w, atoms.netWmWindowType, XCB_ATOM_ATOM, 0, 32);
    k.extents = xcb_get_property(c, 0, w, atoms.netFrameExtents, XCB_ATOM_CARDINAL, 0, 4);
    k.geometry = xcb_get_geometry(c, w);
    k.position = xcb_translate_coordinates(c, w, root, 0, 0);
    k.parent = xcb_query_tree(c, w);
    k.attributes = xcb_get_window_attributes(c, w);
    cookies.push_back(k);
  }
  std::vector<std::pair<xcb_window_t, xcb_get_geometry_cookie_t>> ownGeometry;
  for (auto w : topLevels) {
    if (own.count(w)) ownGeometry.emplace_back(w, xcb_get_geometry(c, w));
  }

  std::vector<X11WindowEntry> entries;
  std::vector<xcb_window_t> parents;  // the parent of each entry, resolved to the frame below
  entries.reserve(clients.size());
  std::vector<xcb_window_t> entryClients;
  for (std::size_t i = 0; i < clients.size(); ++i) {
    const auto& k = cookies[i];
    Reply<xcb_get_property_reply_t> pid(xcb_get_property_reply(c, k.pid, nullptr));
    Reply<xcb_get_property_reply_t> wmClass(xcb_get_property_reply(c, k.wmClass, nullptr));
    Reply<xcb_get_property_reply_t> netName(xcb_get_property_reply(c, k.netName, nullptr));
    Reply<xcb_get_property_reply_t> wmName(xcb_get_property_reply(c, k.wmName, nullptr));
    Reply<xcb_get_property_reply_t> state(xcb_get_property_reply(c, k.state, nullptr));
    Reply<xcb_get_property_reply_t> type(xcb_get_property_reply(c, k.type, nullptr));
    Reply<xcb_get_property_reply_t> extents(xcb_get_property_reply(c, k.extents, nullptr));
    Reply<xcb_get_geometry_reply_t> geometry(xcb_get_geometry_reply(c, k.geometry, nullptr));
    Reply<xcb_translate_coordinates_reply_t> position(
        xcb_translate_coordinates_reply(c, k.position, nullptr));
    Reply<xcb_query_tree_reply_t> parent(xcb_query_tree_reply(c, k.parent, nullptr));
    Reply<xcb_get_window_attributes_reply_t> attributes(
        xcb_get_window_attributes_reply(c, k.attributes, nullptr));
    // Destroyed while we asked: it is simply not listed.
    if (!geometry || !position || !parent || !attributes) continue;

    X11WindowEntry e;
    e.number = clients[i];
    auto pids = propertyLongs(pid.get());
    if (!pids.empty() && pids[0] > 0 && pids[0] <= static_cast<std::uint32_t>(INT32_MAX))
      e.pid = static_cast<std::int32_t>(pids[0]);

    // WM_CLASS is "instance\0class\0": the class names the application.
    std::string cls = propertyBytes(wmClass.get());
    if (auto nul = cls.find('\0'); nul != std::string::npos) {
      std::string second = cls.substr(nul + 1);
      e.ownerName = cleanText(second.empty() ? cls.substr(0, nul) : second);
    } else {
      e.ownerName = cleanText(cls);
    }

    if (netName && netName->type == atoms.utf8String && netName->format == 8) {
      e.name = cleanText(propertyBytes(netName.get()));
    } else if (wmName && wmName->format == 8 && wmName->type != XCB_NONE) {
      std::string bytes = propertyBytes(wmName.get());
      e.name = cleanText(wmName->type == atoms.utf8String ? bytes : latin1ToUTF8(bytes));
    }

    bool hidden = false;
    for (auto a : propertyLongs(state.get())) {
      if (a == atoms.netWmStateHidden) hidden = true;
    }
    for (auto a : propertyLongs(type.get())) {
      if (a == atoms.netWmWindowTypeNormal || a == atoms.netWmWindowTypeDialog) {
        e.layer = 0;
      } else if (a == atoms.netWmWindowTypeDock) {
        e.layer = WindowServer::levelForKey(WindowLevelKey::dock);
      } else if (a == atoms.netWmWindowTypeDesktop) {
        e.layer = WindowServer::levelForKey(WindowLevelKey::desktop);
        e.desktopElement = true;
      } else if (a == atoms.netWmWindowTypeToolbar || a == atoms.netWmWindowTypeMenu ||
                 a == atoms.netWmWindowTypeUtility || a == atoms.netWmWindowTypeSplash) {
        e.layer = WindowServer::levelForKey(WindowLevelKey::floating);
      } else if (a == atoms.netWmWindowTypeDropdownMenu || a == atoms.netWmWindowTypePopupMenu ||
                 a == atoms.netWmWindowTypeTooltip || a == atoms.netWmWindowTypeCombo ||
                 a == atoms.netWmWindowTypeDnd) {
        e.layer = WindowServer::levelForKey(WindowLevelKey::popUpMenu);
      } else if (a == atoms.netWmWindowTypeNotification) {
        e.layer = WindowServer::levelForKey(WindowLevelKey::status);
      } else {
        continue;  // a type we do not know: the next one in the list is the fallback
      }
      break;
    }

    std::uint32_t left = 0, right = 0, top = 0, bottom = 0;
    if (auto ext = propertyLongs(extents.get()); ext.size() >= 4) {
      auto sane = [](std::uint32_t v) { return v <= maxExtent ? v : 0u; };
      left = sane(ext[0]);
      right = sane(ext[1]);
      top = sane(ext[2]);
      bottom = sane(ext[3]);
    }
    double border = geometry->border_width;
    e.bounds = Rect(double(position->dst_x) - border - left, double(position->dst_y) - border - top,
                    double(geometry->width) + 2 * border + left + right,
                    double(geometry->height) + 2 * border + top + bottom);
    e.onScreen = !hidden && attributes->map_state == XCB_MAP_STATE_VIEWABLE;

    if (auto it = own.find(e.number); it != own.end()) {
      e.own = true;
      e.pid = ownPid_;
      e.ownerName = ownName_;
      e.layer = it->second.layer;
      e.name = it->second.name;
      e.onScreen = it->second.onScreen;
    }
    entries.push_back(std::move(e));
    parents.push_back(parent->parent);
    entryClients.push_back(clients[i]);
  }

  // The frame of each client is its ancestor just below the root; most managers reparent once,
  // some twice, so climb a few levels, each level one batched round.
  std::vector<std::size_t> unresolved;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (parents[i] == root || parents[i] == XCB_NONE) {
      entries[i].frame = parents[i] == root ? entryClients[i] : XCB_NONE;
    } else {
      unresolved.push_back(i);
    }
  }
  for (int level = 0; level < 8 && !unresolved.empty(); ++level) {
    std::vector<xcb_query_tree_cookie_t> up;
    for (auto i : unresolved) up.push_back(xcb_query_tree(c, parents[i]));
    std::vector<std::size_t> next;
    for (std::size_t j = 0; j < unresolved.size(); ++j) {
      auto i = unresolved[j];
      Reply<xcb_query_tree_reply_t> reply(xcb_query_tree_reply(c, up[j], nullptr));
      if (!reply) continue;
      if (reply->parent == root) {
        entries[i].frame = parents[i];
      } else if (reply->parent != XCB_NONE) {
        parents[i] = reply->parent;
        next.push_back(i);
      }
    }
    unresolved = std::move(next);
  }

  // Clients without a pid: ask the server which process made them.
  {
    std::vector<xcb_window_t> missing;
    std::vector<std::size_t> at;
    for (std::size_t i = 0; i < entries.size(); ++i) {
      if (entries[i].pid == 0) {
        missing.push_back(entries[i].number);
        at.push_back(i);
      }
    }
    if (!missing.empty()) {
      auto pids = resourcePids(missing);
      for (std::size_t j = 0; j < at.size(); ++j) entries[at[j]].pid = pids[j];
    }
  }

  // Our override-redirect windows, which no manager lists.
  std::unordered_map<xcb_window_t, X11WindowEntry> ownTopLevels;
  for (auto& [w, cookie] : ownGeometry) {
    Reply<xcb_get_geometry_reply_t> geometry(xcb_get_geometry_reply(c, cookie, nullptr));
    if (!geometry) continue;
    if (std::any_of(entries.begin(), entries.end(),
                    [w = w](const X11WindowEntry& e) { return e.number == w; })) {
      continue;
    }
    const auto& info = own.at(w);
    X11WindowEntry e;
    e.number = w;
    e.frame = w;
    e.pid = ownPid_;
    e.ownerName = ownName_;
    e.layer = info.layer;
    e.name = info.name;
    e.onScreen = info.onScreen;
    double border = geometry->border_width;
    e.bounds = Rect(geometry->x, geometry->y, geometry->width + 2 * border,
                    geometry->height + 2 * border);
    e.own = true;
    ownTopLevels.emplace(w, std::move(e));
  }

  // Front to back: the server's stacking of the top-level windows decides, so our windows fall
  // between the frames where they really are; clients sharing a frame keep the manager's order.
  std::unordered_map<xcb_window_t, std::vector<std::size_t>> byFrame;
  for (std::size_t i = entries.size(); i-- > 0;) {
    if (entries[i].frame != XCB_NONE) byFrame[entries[i].frame].push_back(i);
  }
  std::vector<bool> placed(entries.size(), false);
  result->topLevels.assign(topLevels.rbegin(), topLevels.rend());
  for (auto w : result->topLevels) {
    if (auto mine = ownTopLevels.find(w); mine != ownTopLevels.end()) {
      result->windows.push_back(std::move(mine->second));
      continue;
    }
    if (auto it = byFrame.find(w); it != byFrame.end()) {
      for (auto i : it->second) {
        result->windows.push_back(entries[i]);
        placed[i] = true;
      }
    }
  }
  // Clients whose frame the tree did not show (it changed meanwhile): the manager's order.
  for (std::size_t i = entries.size(); i-- > 0;) {
    if (!placed[i]) result->windows.push_back(entries[i]);
  }
  return result;
}

void X11WindowServer::placeAbove(std::uint32_t ourXid, std::uint32_t targetWindowNumber) {
  auto current = snapshot();
  if (!current) return;
  const auto* target = current->find(targetWindowNumber);
  if (!target || target->frame == XCB_NONE || target->frame == ourXid) return;
  const auto& stack = current->topLevels;  // front to back
  auto frame = std::find(stack.begin(), stack.end(), target->frame);
  if (frame == stack.end()) return;
  // Already directly above: the window just in front of the frame is ours.
  if (frame != stack.begin() && *(frame - 1) == ourXid) return;
  std::uint32_t values[] = {target->frame, XCB_STACK_MODE_ABOVE};
  xcb_configure_window(connection_->raw(), ourXid,
                       XCB_CONFIG_WINDOW_SIBLING | XCB_CONFIG_WINDOW_STACK_MODE, values);
  connection_->flush();
  // The ConfigureNotify that follows marks the list stale.
  invalidate();
}

}  // namespace platform::linuxbackend
