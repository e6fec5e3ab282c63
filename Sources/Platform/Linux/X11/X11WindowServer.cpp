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
#include "Platform/Linux/X11/X11Reply.h"
#include "Platform/WindowServer/WindowList.h"

namespace platform::linuxbackend {

namespace {

// The resource extension asks for a client's ids with a {client, mask} pair; the pair's type is
// the one its query takes.
template <class Pair>
Pair clientIdPairOf(xcb_res_query_client_ids_cookie_t (*)(xcb_connection_t*, std::uint32_t,
                                                          const Pair*));
using ClientIdQuery = decltype(clientIdPairOf(&xcb_res_query_client_ids));

// Names longer than this are cut: a window title is never legitimately 4 KiB, and a hostile
// client must not make every list read copy megabytes.
constexpr std::uint32_t maxTextLongs = 1024;
// Clients beyond this many are not listed (a broken manager's list, not a desktop).
constexpr std::size_t maxClients = 4096;

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
  subscription_ = connection_->observe([this](const xcb_generic_event_t& e) { handleEvent(e); });
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
          e.atom == atoms.netWmState || e.atom == atoms.netWmPid ||
          e.atom == atoms.netWmWindowType) {
        if (auto it = clients_.find(e.window); it != clients_.end())
          it->second.propertiesKnown = false;
        invalidate();
      }
      return;
    }
    case XCB_DESTROY_NOTIFY: {
      const auto& e = reinterpret_cast<const xcb_destroy_notify_event_t&>(event);
      clients_.erase(e.window);
      noteDestroyed(e.window);
      invalidate();
      return;
    }
    case XCB_REPARENT_NOTIFY: {
      const auto& e = reinterpret_cast<const xcb_reparent_notify_event_t&>(event);
      if (auto it = clients_.find(e.window); it != clients_.end()) it->second.frame = 0;
      invalidate();
      return;
    }
    // The root's substructure: frames and our windows created, mapped, moved and restacked.
    case XCB_CREATE_NOTIFY:
    case XCB_MAP_NOTIFY:
    case XCB_UNMAP_NOTIFY:
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

void X11WindowServer::noteDestroyed(xcb_window_t window) {
  if (!seen_.erase(window) || !destroyed_.insert(window).second) return;
  destroyedOrder_.push_back(window);
  if (destroyedOrder_.size() > maxClients) {
    destroyed_.erase(destroyedOrder_.front());
    destroyedOrder_.pop_front();
  }
}

WindowPresence X11WindowServer::windowPresence(std::uint32_t number) {
  // Events already received may tell of a destruction; reading them costs no round trip.
  connection_->readEvents();
  if (seen_.count(number)) return WindowPresence::exists;
  return destroyed_.count(number) ? WindowPresence::destroyed : WindowPresence::unknown;
}

void X11WindowServer::setOwnWindowProvider(OwnWindowProvider provider) {
  ownWindows_ = std::move(provider);
  invalidate();
}

void X11WindowServer::ownWindowsDidChange() {
  invalidate();
}

std::shared_ptr<const X11WindowSnapshot> X11WindowServer::snapshot() {
  // Events xcb already holds may say the cache is stale. Only the observers see them here: no
  // handler of the product runs inside this call. The socket itself is left to the loop, which
  // reads it whenever it is readable before it runs a timer or posted work: reading it here too
  // cost a failing read at every tick of the tag poll.
  connection_->readQueuedEvents();
  if (connection_->isBroken()) {
    snapshot_.reset();
    values_.clear();
    return nullptr;
  }
  if (dirty_ || !snapshot_) {
    dirty_ = false;
    values_.clear();
    snapshot_ = refresh();
    connection_->didWaitForReplies();
  }
  return snapshot_;
}

void X11WindowServer::watchClients(const std::vector<xcb_window_t>& clients) {
  // Property changes for the cache, and reparenting (a client's frame is its own news).
  std::uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE | XCB_EVENT_MASK_STRUCTURE_NOTIFY;
  bool sent = false;
  std::set<xcb_window_t> listed(clients.begin(), clients.end());
  for (auto it = clients_.begin(); it != clients_.end();) {
    it = listed.count(it->first) ? std::next(it) : clients_.erase(it);
  }
  for (auto c : clients) {
    // An id the server hands out again is a new window.
    if (seen_.insert(c).second && destroyed_.erase(c)) {
      destroyedOrder_.erase(std::find(destroyedOrder_.begin(), destroyedOrder_.end(), c));
    }
    if (clients_.try_emplace(c).second) {
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
    ClientIdQuery query{w, XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID};
    cookies.push_back(xcb_res_query_client_ids(c, 1, &query));
  }
  for (std::size_t i = 0; i < windows.size(); ++i) {
    X11Reply<xcb_res_query_client_ids_reply_t> reply(
        xcb_res_query_client_ids_reply(c, cookies[i], nullptr));
    if (!reply) continue;
    for (auto it = xcb_res_query_client_ids_ids_iterator(reply.get()); it.rem > 0;
         xcb_res_client_id_value_next(&it)) {
      // Each answer repeats the pair it answers, then its value.
      const auto& [answered, valueLength] = *it.data;
      if (!(answered.mask & XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID)) continue;
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
  auto result = std::make_shared<X11WindowSnapshot>();
  auto stacking = readStacking();
  if (!stacking) return result;
  watchClients(stacking->clients);
  auto own = ownWindowsIn(*stacking);
  ClientReads reads = readClients(stacking->clients);
  resolveFrames(std::move(reads.climbing));
  resolvePids(reads.withoutPid);
  Geometry geometry = readGeometry(reads.listed, own, stacking->topLevels);
  stackFrontToBack(*result, stacking->topLevels, std::move(geometry));
  return result;
}

std::optional<X11WindowServer::Stacking> X11WindowServer::readStacking() {
  // One round: the server's stacking of the root's children and the manager's client list.
  auto* c = connection_->raw();
  const auto& atoms = connection_->atoms();
  const xcb_window_t root = connection_->root();
  auto treeCookie = xcb_query_tree(c, root);
  auto stackingCookie =
      xcb_get_property(c, 0, root, atoms.netClientListStacking, XCB_ATOM_WINDOW, 0, maxClients);
  X11Reply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(c, treeCookie, nullptr));
  X11Reply<xcb_get_property_reply_t> stackingReply(
      xcb_get_property_reply(c, stackingCookie, nullptr));
  if (!tree) return std::nullopt;

  Stacking stacking;
  {
    auto* children = xcb_query_tree_children(tree.get());
    int count = xcb_query_tree_children_length(tree.get());
    stacking.topLevels.assign(children, children + std::max(count, 0));
  }
  std::vector<xcb_window_t> clients = propertyLongs(stackingReply.get());
  if (!stackingReply || stackingReply->type != XCB_ATOM_WINDOW) {
    // A manager without the stacking list may still keep the plain one; the tree orders it.
    X11Reply<xcb_get_property_reply_t> plain(xcb_get_property_reply(
        c, xcb_get_property(c, 0, root, atoms.netClientList, XCB_ATOM_WINDOW, 0, maxClients),
        nullptr));
    clients = propertyLongs(plain.get());
  }
  if (clients.size() > maxClients) clients.resize(maxClients);
  // A broken list may name one window twice; keep its topmost place.
  std::set<xcb_window_t> seen;
  std::vector<xcb_window_t> unique;
  for (auto it = clients.rbegin(); it != clients.rend(); ++it) {
    if (*it != XCB_NONE && *it != root && seen.insert(*it).second) unique.push_back(*it);
  }
  stacking.clients.assign(unique.rbegin(), unique.rend());
  return stacking;
}

std::unordered_map<xcb_window_t, OwnWindowInfo> X11WindowServer::ownWindowsIn(
    const Stacking& stacking) const {
  std::unordered_map<xcb_window_t, OwnWindowInfo> own;
  if (!ownWindows_) return own;
  for (auto w : stacking.topLevels) {
    if (auto info = ownWindows_(w)) own.emplace(w, std::move(*info));
  }
  for (auto w : stacking.clients) {
    if (auto info = ownWindows_(w)) own.emplace(w, std::move(*info));
  }
  return own;
}

X11WindowServer::ClientReads X11WindowServer::readClients(
    const std::vector<xcb_window_t>& clients) {
  // One round, all requests first: what the cache lacks, and every client's map state.
  auto* c = connection_->raw();
  const auto& atoms = connection_->atoms();
  const xcb_window_t root = connection_->root();
  struct PropertyCookies {
    xcb_get_property_cookie_t pid, wmClass, netName, wmName, state, type;
  };
  struct Pending {
    xcb_window_t window;
    ClientCache* cache;
    std::optional<PropertyCookies> properties;
    std::optional<xcb_query_tree_cookie_t> parent;
    xcb_get_window_attributes_cookie_t attributes;
  };
  std::vector<Pending> pending;
  pending.reserve(clients.size());
  for (auto w : clients) {
    auto& cache = clients_[w];
    Pending p{w, &cache, std::nullopt, std::nullopt, {}};
    if (!cache.propertiesKnown) {
      p.properties = PropertyCookies{
          xcb_get_property(c, 0, w, atoms.netWmPid, XCB_ATOM_CARDINAL, 0, 1),
          xcb_get_property(c, 0, w, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 0, maxTextLongs),
          xcb_get_property(c, 0, w, atoms.netWmName, atoms.utf8String, 0, maxTextLongs),
          xcb_get_property(c, 0, w, XCB_ATOM_WM_NAME, XCB_GET_PROPERTY_TYPE_ANY, 0, maxTextLongs),
          xcb_get_property(c, 0, w, atoms.netWmState, XCB_ATOM_ATOM, 0, 64),
          xcb_get_property(c, 0, w, atoms.netWmWindowType, XCB_ATOM_ATOM, 0, 32)};
    }
    if (cache.frame == 0) p.parent = xcb_query_tree(c, w);
    p.attributes = xcb_get_window_attributes(c, w);
    pending.push_back(p);
  }

  ClientReads reads;
  for (auto& p : pending) {
    bool gone = false;
    if (p.properties) {
      X11Reply<xcb_get_property_reply_t> pid(xcb_get_property_reply(c, p.properties->pid, nullptr));
      X11Reply<xcb_get_property_reply_t> wmClass(
          xcb_get_property_reply(c, p.properties->wmClass, nullptr));
      X11Reply<xcb_get_property_reply_t> netName(
          xcb_get_property_reply(c, p.properties->netName, nullptr));
      X11Reply<xcb_get_property_reply_t> wmName(
          xcb_get_property_reply(c, p.properties->wmName, nullptr));
      X11Reply<xcb_get_property_reply_t> state(
          xcb_get_property_reply(c, p.properties->state, nullptr));
      X11Reply<xcb_get_property_reply_t> type(
          xcb_get_property_reply(c, p.properties->type, nullptr));
      if (!pid || !wmClass || !netName || !wmName || !state || !type) {
        gone = true;
      } else {
        readProperties(*p.cache, pid.get(), wmClass.get(), netName.get(), wmName.get(), state.get(),
                       type.get());
        if (p.cache->pid == 0) reads.withoutPid.emplace_back(p.window, p.cache);
      }
    }
    if (p.parent) {
      X11Reply<xcb_query_tree_reply_t> parent(xcb_query_tree_reply(c, *p.parent, nullptr));
      if (!parent || parent->parent == XCB_NONE) {
        gone = true;
      } else if (parent->parent == root) {
        p.cache->frame = p.window;
      } else {
        reads.climbing.emplace_back(p.cache, parent->parent);
      }
    }
    X11Reply<xcb_get_window_attributes_reply_t> attributes(
        xcb_get_window_attributes_reply(c, p.attributes, nullptr));
    // Destroyed while we asked: it is simply not listed, and read afresh should it come back.
    // Its destruction may have come before we watched it, so no event would tell.
    if (!attributes) noteDestroyed(p.window);
    if (gone || !attributes) {
      p.cache->propertiesKnown = false;
      p.cache->frame = 0;
      continue;
    }
    reads.listed.push_back({p.window, p.cache, attributes->map_state == XCB_MAP_STATE_VIEWABLE});
  }
  return reads;
}

void X11WindowServer::resolveFrames(std::vector<std::pair<ClientCache*, xcb_window_t>> climbing) {
  // The frame of a client is its ancestor just below the root; most managers reparent once,
  // some twice, so climb a few levels, each level one batched round.
  auto* c = connection_->raw();
  const xcb_window_t root = connection_->root();
  for (int level = 0; level < 8 && !climbing.empty(); ++level) {
    std::vector<xcb_query_tree_cookie_t> up;
    for (auto& [cache, ancestor] : climbing) up.push_back(xcb_query_tree(c, ancestor));
    std::vector<std::pair<ClientCache*, xcb_window_t>> next;
    for (std::size_t j = 0; j < climbing.size(); ++j) {
      auto [cache, ancestor] = climbing[j];
      X11Reply<xcb_query_tree_reply_t> reply(xcb_query_tree_reply(c, up[j], nullptr));
      if (!reply) continue;
      if (reply->parent == root) {
        cache->frame = ancestor;
      } else if (reply->parent != XCB_NONE) {
        next.emplace_back(cache, reply->parent);
      }
    }
    climbing = std::move(next);
  }
}

void X11WindowServer::resolvePids(
    const std::vector<std::pair<xcb_window_t, ClientCache*>>& withoutPid) {
  // Clients that do not say their pid: the server knows which process made them.
  if (withoutPid.empty()) return;
  std::vector<xcb_window_t> windows;
  windows.reserve(withoutPid.size());
  for (auto& [w, cache] : withoutPid) windows.push_back(w);
  auto pids = resourcePids(windows);
  for (std::size_t j = 0; j < withoutPid.size(); ++j) withoutPid[j].second->pid = pids[j];
}

X11WindowServer::Geometry X11WindowServer::readGeometry(
    const std::vector<ListedClient>& listed,
    const std::unordered_map<xcb_window_t, OwnWindowInfo>& own,
    const std::vector<xcb_window_t>& topLevels) {
  // One round: the frames' geometry is the windows' bounds, decorations included. Read from the
  // server rather than from _NET_FRAME_EXTENTS, which any client may overwrite.
  auto* c = connection_->raw();
  std::vector<xcb_get_geometry_cookie_t> clientCookies;
  clientCookies.reserve(listed.size());
  for (auto& l : listed) {
    clientCookies.push_back(xcb_get_geometry(c, l.cache->frame ? l.cache->frame : l.window));
  }
  std::vector<std::pair<xcb_window_t, xcb_get_geometry_cookie_t>> ownCookies;
  for (auto w : topLevels) {
    if (own.count(w)) ownCookies.emplace_back(w, xcb_get_geometry(c, w));
  }
  auto boundsOf = [](const xcb_get_geometry_reply_t& g) {
    double border = g.border_width;
    return Rect(g.x, g.y, g.width + 2 * border, g.height + 2 * border);
  };

  Geometry result;
  result.clients.reserve(listed.size());
  for (std::size_t i = 0; i < listed.size(); ++i) {
    X11Reply<xcb_get_geometry_reply_t> geometry(
        xcb_get_geometry_reply(c, clientCookies[i], nullptr));
    const auto& l = listed[i];
    if (!geometry || l.cache->frame == 0) continue;
    X11WindowEntry e;
    e.number = l.window;
    e.frame = l.cache->frame;
    e.pid = l.cache->pid;
    e.ownerName = l.cache->ownerName;
    e.name = l.cache->name;
    e.layer = l.cache->layer;
    e.desktopElement = l.cache->desktopElement;
    e.minimized = l.cache->hidden;
    e.onScreen = !l.cache->hidden && l.viewable;
    e.bounds = boundsOf(*geometry);
    if (auto it = own.find(e.number); it != own.end()) {
      e.own = true;
      e.pid = ownPid_;
      e.ownerName = ownName_;
      e.layer = it->second.layer;
      e.name = it->second.name;
      e.onScreen = it->second.onScreen;
    }
    result.clients.push_back(std::move(e));
  }

  // Our override-redirect windows, which no manager lists.
  for (auto& [w, cookie] : ownCookies) {
    X11Reply<xcb_get_geometry_reply_t> geometry(xcb_get_geometry_reply(c, cookie, nullptr));
    if (!geometry || clients_.count(w)) continue;
    const auto& info = own.at(w);
    X11WindowEntry e;
    e.number = w;
    e.frame = w;
    e.pid = ownPid_;
    e.ownerName = ownName_;
    e.layer = info.layer;
    e.name = info.name;
    e.onScreen = info.onScreen;
    e.bounds = boundsOf(*geometry);
    e.own = true;
    result.ownTopLevels.emplace(w, std::move(e));
  }
  return result;
}

void X11WindowServer::stackFrontToBack(X11WindowSnapshot& snapshot,
                                       const std::vector<xcb_window_t>& topLevels,
                                       Geometry geometry) {
  // The server's stacking of the top-level windows decides, so our windows fall between the
  // frames where they really are; clients sharing a frame keep the manager's order.
  auto& entries = geometry.clients;
  std::unordered_map<xcb_window_t, std::vector<std::size_t>> byFrame;
  for (std::size_t i = entries.size(); i-- > 0;) byFrame[entries[i].frame].push_back(i);
  std::vector<bool> placed(entries.size(), false);
  snapshot.topLevels.assign(topLevels.rbegin(), topLevels.rend());
  for (auto w : snapshot.topLevels) {
    if (auto mine = geometry.ownTopLevels.find(w); mine != geometry.ownTopLevels.end()) {
      snapshot.windows.push_back(std::move(mine->second));
      continue;
    }
    if (auto it = byFrame.find(w); it != byFrame.end()) {
      for (auto i : it->second) {
        snapshot.windows.push_back(entries[i]);
        placed[i] = true;
      }
    }
  }
  // Clients whose frame the tree did not show (it changed meanwhile): the manager's order.
  for (std::size_t i = entries.size(); i-- > 0;) {
    if (!placed[i]) snapshot.windows.push_back(entries[i]);
  }
}

void X11WindowServer::readProperties(ClientCache& cache, const xcb_get_property_reply_t* pid,
                                     const xcb_get_property_reply_t* wmClass,
                                     const xcb_get_property_reply_t* netName,
                                     const xcb_get_property_reply_t* wmName,
                                     const xcb_get_property_reply_t* state,
                                     const xcb_get_property_reply_t* type) const {
  const auto& atoms = connection_->atoms();
  cache = ClientCache{.propertiesKnown = true, .frame = cache.frame};
  auto pids = propertyLongs(pid);
  if (!pids.empty() && pids[0] > 0 && pids[0] <= static_cast<std::uint32_t>(INT32_MAX))
    cache.pid = static_cast<std::int32_t>(pids[0]);

  // WM_CLASS is "instance\0class\0": the class names the application.
  std::string cls = propertyBytes(wmClass);
  if (auto nul = cls.find('\0'); nul != std::string::npos) {
    std::string second = cls.substr(nul + 1);
    cache.ownerName = cleanText(second.empty() ? cls.substr(0, nul) : second);
  } else {
    cache.ownerName = cleanText(cls);
  }

  if (netName->type == atoms.utf8String && netName->format == 8) {
    cache.name = cleanText(propertyBytes(netName));
  } else if (wmName->format == 8 && wmName->type != XCB_NONE) {
    std::string bytes = propertyBytes(wmName);
    cache.name = cleanText(wmName->type == atoms.utf8String ? bytes : latin1ToUTF8(bytes));
  }

  for (auto a : propertyLongs(state)) {
    if (a == atoms.netWmStateHidden) cache.hidden = true;
  }
  for (auto a : propertyLongs(type)) {
    if (a == atoms.netWmWindowTypeNormal || a == atoms.netWmWindowTypeDialog) {
      cache.layer = 0;
    } else if (a == atoms.netWmWindowTypeDock) {
      cache.layer = WindowServer::levelForKey(WindowLevelKey::dock);
    } else if (a == atoms.netWmWindowTypeDesktop) {
      cache.layer = WindowServer::levelForKey(WindowLevelKey::desktop);
      cache.desktopElement = true;
    } else if (a == atoms.netWmWindowTypeToolbar || a == atoms.netWmWindowTypeMenu ||
               a == atoms.netWmWindowTypeUtility || a == atoms.netWmWindowTypeSplash) {
      cache.layer = WindowServer::levelForKey(WindowLevelKey::floating);
    } else if (a == atoms.netWmWindowTypeDropdownMenu || a == atoms.netWmWindowTypePopupMenu ||
               a == atoms.netWmWindowTypeTooltip || a == atoms.netWmWindowTypeCombo ||
               a == atoms.netWmWindowTypeDnd) {
      cache.layer = WindowServer::levelForKey(WindowLevelKey::popUpMenu);
    } else if (a == atoms.netWmWindowTypeNotification) {
      cache.layer = WindowServer::levelForKey(WindowLevelKey::status);
    } else {
      continue;  // a type we do not know: the next one in the list is the fallback
    }
    break;
  }
}

void X11WindowServer::placeAbove(std::uint32_t ourXid, std::uint32_t targetWindowNumber) {
  // The tag poll reads the list, then places each tag: the stacking read for that list serves
  // them all. What arrives meanwhile is read by the next read of the list, and a stale
  // stacking costs at most one redundant restack or one tick's delay.
  auto current = dirty_ || !snapshot_ ? snapshot() : snapshot_;
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
  ++restacks_;
  // The ConfigureNotify that follows marks the list stale.
  invalidate();
}

}  // namespace platform::linuxbackend
