#include "Platform/Sim/SimWindowServer.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "Platform/Desktop/DesktopCoordinates.h"
#include "Platform/Foundation/Error.h"
#include "Platform/WindowServer/WindowList.h"

namespace platform::sim {

SimWindowServer::SimWindowServer() : ownPID_(static_cast<std::int32_t>(::getpid())) {}

void SimWindowServer::setOwnProcess(std::int32_t pid, std::string name) {
  invalidate();
  ownPID_ = pid;
  ownName_ = std::move(name);
}

std::int32_t SimWindowServer::nextFreePID() {
  while (nextPID_ == ownPID_ || applications_.count(nextPID_)) ++nextPID_;
  return nextPID_++;
}

std::int32_t SimWindowServer::launchApplication(std::string name, std::optional<std::int32_t> pid) {
  invalidate();
  std::int32_t id = pid ? *pid : nextFreePID();
  precondition(id != ownPID_,
               "SimWindowServer::launchApplication: that is this application's process id");
  applications_[id] = SimForeignApplication{.pid = id, .name = std::move(name)};
  return id;
}

void SimWindowServer::quitApplication(std::int32_t pid) {
  invalidate();
  for (auto number : windowsOf(pid)) closeWindow(number);
  auto it = applications_.find(pid);
  if (it != applications_.end()) it->second.state = SimProcessState::gone;
}

void SimWindowServer::setApplicationHidden(std::int32_t pid, bool hidden) {
  invalidate();
  auto it = applications_.find(pid);
  precondition(it != applications_.end(), "SimWindowServer: no such application");
  it->second.hidden = hidden;
}

void SimWindowServer::setProcessState(std::int32_t pid, SimProcessState state) {
  invalidate();
  auto& app = applications_[pid];
  app.pid = pid;
  app.state = state;
}

const SimForeignApplication* SimWindowServer::application(std::int32_t pid) const {
  auto it = applications_.find(pid);
  return it == applications_.end() ? nullptr : &it->second;
}

ProcessProbeResult SimWindowServer::probeProcess(std::int32_t pid) {
  // Signal 0 to a process group (0 is our own, -1 every process we may signal) finds us.
  if (pid == ownPID_ || pid == 0 || pid == -1) return {0, 0};
  auto it = applications_.find(pid < 0 ? -pid : pid);
  if (it == applications_.end()) return {-1, ESRCH};
  switch (it->second.state) {
    case SimProcessState::alive:
      return {0, 0};
    case SimProcessState::gone:
      return {-1, ESRCH};
    case SimProcessState::notSignalable:
      return {-1, EPERM};
  }
  return {-1, ESRCH};
}

bool SimWindowServer::requestScreenCaptureAccess() {
  invalidate();
  ++captureRequests_;
  if (grantsOnRequest_) screenCapture_ = true;
  return screenCapture_;
}

SimForeignWindow& SimWindowServer::requireWindow(std::uint32_t number) {
  auto it = foreign_.find(number);
  precondition(it != foreign_.end(), "SimWindowServer: no such foreign window");
  return it->second;
}

std::uint32_t SimWindowServer::openWindow(std::int32_t pid, Rect bounds,
                                          std::optional<std::string> name, int layer) {
  invalidate();
  precondition(applications_.count(pid) && applications_[pid].state != SimProcessState::gone,
               "SimWindowServer::openWindow: launch the application first");
  std::uint32_t number = nextNumber_++;
  foreign_[number] = SimForeignWindow{number, pid, std::move(name), layer, bounds};
  insert({number, layer}, WindowOrderingMode::above, 0);
  return number;
}

void SimWindowServer::closeWindow(std::uint32_t number) {
  invalidate();
  remove(number);
  if (foreign_.erase(number)) closed_.insert(number);
}

WindowPresence SimWindowServer::windowPresence(std::uint32_t number) {
  if (foreign_.count(number) || own_.count(number)) return WindowPresence::exists;
  return closed_.count(number) ? WindowPresence::destroyed : WindowPresence::unknown;
}

SimForeignWindow& SimWindowServer::changeWindow(std::uint32_t number) {
  invalidate();
  return requireWindow(number);
}

void SimWindowServer::moveWindow(std::uint32_t number, Rect bounds) {
  changeWindow(number).bounds = bounds;
}

void SimWindowServer::setMinimized(std::uint32_t number, bool minimized) {
  changeWindow(number).minimized = minimized;
}

void SimWindowServer::setOnOtherSpace(std::uint32_t number, bool onOtherSpace) {
  changeWindow(number).onOtherSpace = onOtherSpace;
}

void SimWindowServer::setDesktopElement(std::uint32_t number, bool desktopElement) {
  changeWindow(number).desktopElement = desktopElement;
}

void SimWindowServer::setScreenCaptureAccess(bool granted) {
  invalidate();
  screenCapture_ = granted;
}

void SimWindowServer::overrideWindowList(std::optional<Value> list) {
  listOverride_ = list ? std::make_shared<const Value>(std::move(*list)) : nullptr;
}

void SimWindowServer::raiseWindow(std::uint32_t number) {
  invalidate();
  auto& w = requireWindow(number);
  remove(number);
  insert({number, w.layer}, WindowOrderingMode::above, 0);
}

void SimWindowServer::raiseApplication(std::int32_t pid) {
  auto numbers = windowsOf(pid);
  // Back to front, so that the frontmost ends up in front again.
  for (auto it = numbers.rbegin(); it != numbers.rend(); ++it) raiseWindow(*it);
}

const SimForeignWindow* SimWindowServer::foreignWindow(std::uint32_t number) const {
  auto it = foreign_.find(number);
  return it == foreign_.end() ? nullptr : &it->second;
}

std::vector<std::uint32_t> SimWindowServer::windowsOf(std::int32_t pid) const {
  std::vector<std::uint32_t> numbers;
  for (const auto& entry : stack_) {
    auto it = foreign_.find(entry.number);
    if (it != foreign_.end() && it->second.pid == pid) numbers.push_back(entry.number);
  }
  return numbers;
}

bool SimWindowServer::isOnScreen(const SimForeignWindow& window) const {
  if (window.minimized || window.onOtherSpace) return false;
  auto app = application(window.pid);
  return app && !app->hidden && app->state != SimProcessState::gone;
}

std::vector<std::uint32_t> SimWindowServer::stackingOrder() const {
  std::vector<std::uint32_t> numbers;
  numbers.reserve(stack_.size());
  for (const auto& entry : stack_) numbers.push_back(entry.number);
  return numbers;
}

SimWindowServer::Hit SimWindowServer::windowAt(Point screenPoint) const {
  auto coordinates = DesktopCoordinates::current();
  for (const auto& entry : stack_) {
    if (auto own = own_.find(entry.number); own != own_.end()) {
      Window* w = own->second;
      if (w->isVisible() && !w->ignoresMouseEvents() && w->frame().contains(screenPoint))
        return {w, nullptr};
      continue;
    }
    const auto& f = foreign_.at(entry.number);
    if (coordinates && isOnScreen(f) && coordinates->toScreen(f.bounds).contains(screenPoint))
      return {nullptr, &f};
  }
  return {};
}

std::shared_ptr<const Value> SimWindowServer::copyWindowList(std::uint32_t options,
                                                             std::uint32_t relativeTo) {
  precondition(relativeTo == 0,
               "SimWindowServer::copyWindowList: only lists relative to no window");
  ++listRequests_;
  if (listUnavailable_) return nullptr;
  if (listOverride_) return listOverride_;
  if (auto cached = cache_.find(options); cached != cache_.end()) return cached->second;
  bool onScreenOnly = options & WindowList::optionOnScreenOnly;
  bool excludeDesktop = options & WindowList::excludeDesktopElements;
  auto coordinates = DesktopCoordinates::current().value_or(DesktopCoordinates(0));

  Value::Array list;
  list.reserve(stack_.size());
  enum class Listed { offScreen, onScreen };
  auto entry = [&](std::uint32_t number, std::int32_t pid, const std::string& owner, int layer,
                   const Rect& bounds, const std::optional<std::string>& name, Listed listed) {
    Value::Dictionary d;
    d.emplace(WindowList::numberKey, Value(number));
    d.emplace(WindowList::ownerPIDKey, Value(pid));
    d.emplace(WindowList::ownerNameKey, Value(owner));
    d.emplace(WindowList::layerKey, Value(layer));
    d.emplace(WindowList::boundsKey, WindowList::boundsDictionary(bounds));
    if (name) d.emplace(WindowList::nameKey, Value(*name));
    if (listed == Listed::onScreen) d.emplace(WindowList::onScreenKey, Value(true));
    list.emplace_back(std::move(d));
  };
  for (const auto& e : stack_) {
    if (auto own = own_.find(e.number); own != own_.end()) {
      const Window& w = *own->second;
      entry(e.number, ownPID_, ownName_, w.level(), coordinates.toWindowList(w.frame()), w.title(),
            Listed::onScreen);
      continue;
    }
    const auto& f = foreign_.at(e.number);
    bool onScreen = isOnScreen(f);
    if ((onScreenOnly && !onScreen) || (excludeDesktop && f.desktopElement)) continue;
    const auto* app = application(f.pid);
    // Other applications' window names need screen-capture access.
    std::optional<std::string> name = screenCapture_ ? f.name : std::nullopt;
    entry(f.number, f.pid, app ? app->name : std::string(), f.layer, f.bounds, name,
          onScreen ? Listed::onScreen : Listed::offScreen);
  }
  if (!onScreenOnly) {
    // Our ordered-out windows last.
    for (const auto& [number, w] : own_) {
      if (indexOf(number)) continue;
      entry(number, ownPID_, ownName_, w->level(), coordinates.toWindowList(w->frame()), w->title(),
            Listed::offScreen);
    }
  }
  auto snapshot = std::make_shared<const Value>(std::move(list));
  cache_[options] = snapshot;
  return snapshot;
}

std::uint32_t SimWindowServer::addOwnWindow(Window& window) {
  invalidate();
  std::uint32_t number = nextNumber_++;
  own_[number] = &window;
  return number;
}

void SimWindowServer::removeOwnWindow(std::uint32_t number) {
  invalidate();
  remove(number);
  own_.erase(number);
}

void SimWindowServer::orderOwnWindow(Window& window, WindowOrderingMode mode,
                                     std::uint32_t relativeTo, WhileInactive whileInactive,
                                     std::optional<std::int32_t> activeForeignPID) {
  std::uint32_t number = window.windowNumber();
  auto before = indexOf(number);
  remove(number);
  if (mode != WindowOrderingMode::out) {
    Entry entry{number, window.level()};
    if (mode == WindowOrderingMode::above && relativeTo == 0 &&
        whileInactive == WhileInactive::stayBehind && activeForeignPID) {
      // An inactive application's window stays behind the active application's at its level.
      std::size_t i = frontOfLevel(entry.level);
      while (i < stack_.size() && stack_[i].level == entry.level &&
             ownerOf(stack_[i]) == *activeForeignPID)
        ++i;
      stack_.insert(stack_.begin() + static_cast<std::ptrdiff_t>(i), entry);
    } else {
      insert(entry, mode, relativeTo);
    }
  }
  // Taking a window out and putting it back at the same index leaves the stack as it was.
  if (indexOf(number) != before) invalidate();
}

std::int32_t SimWindowServer::ownerOf(const Entry& entry) const {
  if (own_.count(entry.number)) return ownPID_;
  auto it = foreign_.find(entry.number);
  return it == foreign_.end() ? 0 : it->second.pid;
}

std::size_t SimWindowServer::frontOfLevel(int level) const {
  std::size_t i = 0;
  while (i < stack_.size() && stack_[i].level > level) ++i;
  return i;
}

std::size_t SimWindowServer::backOfLevel(int level) const {
  std::size_t i = 0;
  while (i < stack_.size() && stack_[i].level >= level) ++i;
  return i;
}

std::optional<std::size_t> SimWindowServer::indexOf(std::uint32_t number) const {
  for (std::size_t i = 0; i < stack_.size(); ++i) {
    if (stack_[i].number == number) return i;
  }
  return std::nullopt;
}

void SimWindowServer::remove(std::uint32_t number) {
  if (auto i = indexOf(number)) stack_.erase(stack_.begin() + static_cast<std::ptrdiff_t>(*i));
}

void SimWindowServer::insert(Entry entry, WindowOrderingMode mode, std::uint32_t relativeTo) {
  std::size_t at;
  auto relative = relativeTo ? indexOf(relativeTo) : std::nullopt;
  if (!relative) {
    at = mode == WindowOrderingMode::below ? backOfLevel(entry.level) : frontOfLevel(entry.level);
  } else {
    int other = stack_[*relative].level;
    if (other == entry.level) {
      at = *relative + (mode == WindowOrderingMode::below ? 1 : 0);
    } else if (other < entry.level) {
      // The neighbour is lower: stay at the bottom of our level, as close to it as we may.
      at = backOfLevel(entry.level);
    } else {
      at = frontOfLevel(entry.level);
    }
  }
  stack_.insert(stack_.begin() + static_cast<std::ptrdiff_t>(at), entry);
}

}  // namespace platform::sim
