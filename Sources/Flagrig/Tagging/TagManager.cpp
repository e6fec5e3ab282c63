#include "Flagrig/Tagging/TagManager.h"

#include <algorithm>
#include <cerrno>
#include <string>
#include <unordered_map>

#include "Flagrig/Analytics/Analytics.h"
#include "Flagrig/Tagging/TagDefaultsKeys.h"
#include "Flagrig/Tagging/TagHotkey.h"
#include "Flagrig/Tagging/TagNotifications.h"
#include "Flagrig/Tagging/TagPalette.h"
#include "Flagrig/Tagging/TagPanel.h"
#include "Flagrig/Tagging/WindowPicker.h"
#include "Platform/Desktop/DesktopCoordinates.h"
#include "Platform/Desktop/Screen.h"
#include "Platform/Foundation/Environment.h"
#include "Platform/Foundation/Error.h"
#include "Platform/Foundation/MainThread.h"
#include "Platform/Foundation/NotificationCenter.h"
#include "Platform/Foundation/RunLoop.h"
#include "Platform/Foundation/SharedInstance.h"
#include "Platform/Foundation/UserDefaults.h"
#include "Platform/WindowServer/WindowList.h"
#include "Platform/WindowServer/WindowServer.h"

namespace flagrig {

using namespace platform;

namespace {

// Room beside the label text, and the narrowest panel, by size.
constexpr double labelRoom = 54, bigLabelRoom = 64;
constexpr double minimumWidth = 100, bigMinimumWidth = 150;

// A palette index taken modulo the palette size, never negative.
std::size_t wrapped(long index, std::size_t size) {
  long n = static_cast<long>(size);
  return static_cast<std::size_t>(((index % n) + n) % n);
}

// Whether the process that owned a vanished window has ended. Only "no such process" says so:
// a process that exists but belongs to someone else answers EPERM and is alive. Ids of 0 or
// less address process groups, so they are never probed and count as gone.
bool processIsGone(std::int32_t pid) {
  if (pid <= 0) return true;
  auto probe = WindowServer::shared().probeProcess(pid);
  return probe.result != 0 && probe.error == ESRCH;
}

// A window can be off the list because it is minimised or elsewhere, or because it was closed
// while its process lives on; only the window server can tell the two apart.
bool windowIsDestroyed(std::uint32_t windowNumber) {
  return WindowServer::shared().windowPresence(windowNumber) == WindowPresence::destroyed;
}

// Each screen's frame and visible frame, as a placement depended on them.
using ScreenFrames = std::vector<std::pair<Rect, Rect>>;

bool sameFrames(const ScreenFrames& frames, const std::vector<std::shared_ptr<Screen>>& screens) {
  if (frames.size() != screens.size()) return false;
  for (std::size_t i = 0; i < screens.size(); ++i) {
    if (frames[i].first != screens[i]->frame() || frames[i].second != screens[i]->visibleFrame())
      return false;
  }
  return true;
}

void storeFrames(ScreenFrames& frames, const std::vector<std::shared_ptr<Screen>>& screens) {
  frames.clear();
  for (const auto& screen : screens) frames.emplace_back(screen->frame(), screen->visibleFrame());
}

}  // namespace

// Lets the shared instance finish its creation after make_shared, when weak references work.
struct TagManager::Holder {
  std::shared_ptr<TagManager> manager = [] {
    auto m = std::make_shared<TagManager>();
    m->finishCreation();
    return m;
  }();
};

TagManager& TagManager::shared() {
  platform::assertMainThread("TagManager::shared");
  static SharedInstance<Holder> instance;
  return *instance.get().manager;
}

TagManager::TagManager() {
  palette_ = loadPalette().value_or(defaultPalette());
  const UserDefaults& defaults = *env().defaults;
  tagShape_ = tagShapeFromStoredValue(defaults.integerForKey(TagDefaultsKeys::shape));
  tagFont_ = tagFontFromStoredValue(defaults.integerForKey(TagDefaultsKeys::font));
  bigTags_ = defaults.boolForKey(TagDefaultsKeys::bigTags);
}

TagManager::~TagManager() {
  if (pollTimer_) pollTimer_->invalidate();
}

void TagManager::finishCreation() {
  TagHotkey::shared().load();
  startPositionPoll();
}

void TagManager::startTaggingPick() {
  WindowPicker::shared().beginPick([](const WindowInfo& info) {
    if (TagManager::shared().createTag(info)) Analytics::track("tag_created");
  });
}

void TagManager::setHotkey(std::uint16_t code, std::uint64_t modifiers) {
  TagHotkey::shared().set(code, modifiers);
}

void TagManager::clearHotkey() {
  TagHotkey::shared().clear();
}

std::optional<std::uint16_t> TagManager::hotkeyCode() const {
  return TagHotkey::shared().code();
}

std::uint64_t TagManager::hotkeyModifiers() const {
  return TagHotkey::shared().modifiers();
}

bool TagManager::isHotkeyRegistered() const {
  return TagHotkey::shared().isRegistered();
}

std::uint32_t TagManager::hotkeyModifierBits(std::uint64_t flags) {
  return TagHotkey::modifierBits(flags);
}

void TagManager::startPositionPoll() {
  std::weak_ptr<TagManager> weak = weak_from_this();
  // In the common modes, so that tags keep following their windows while a menu is tracked
  // or an alert runs its modal session.
  pollTimer_ = env().mainLoop->scheduleTimer(
      pollInterval, TimerKind::repeating,
      [weak](Timer&) {
        if (auto manager = weak.lock()) manager->updatePositions();
      },
      RunLoopModes::common());
}

std::optional<std::vector<PaletteEntry>> TagManager::loadPalette() {
  return TagPalette::load(*env().defaults);
}

const std::vector<PaletteEntry>& TagManager::defaultPalette() {
  return TagPalette::defaultPalette();
}

void TagManager::savePalette() {
  platform::assertMainThread("TagManager::savePalette");
  TagPalette::save(*env().defaults, palette_);
}

void TagManager::setPalette(std::vector<PaletteEntry> palette) {
  platform::assertMainThread("TagManager::setPalette");
  precondition(!palette.empty(), "TagManager::setPalette: the palette is never empty");
  palette_ = std::move(palette);
}

Tag* TagManager::findTag(std::uint32_t windowNumber) {
  for (auto& tag : tags_) {
    if (tag.windowNumber == windowNumber) return &tag;
  }
  return nullptr;
}

bool TagManager::createTag(const WindowInfo& info) {
  platform::assertMainThread("TagManager::createTag");
  if (findTag(info.windowNumber)) return false;
  long colorIndex = static_cast<long>(wrapped(nextColorIndex_, palette_.size()));
  const PaletteEntry entry = palette_[static_cast<std::size_t>(colorIndex)];
  ++nextColorIndex_;

  auto panel =
      std::make_shared<TagPanel>(entry.background, entry.text, bigTags_, tagShape_, tagFont_);
  panel->textField()->setDelegate(shared_from_this());
  std::weak_ptr<TagManager> weak = weak_from_this();
  std::uint32_t number = info.windowNumber;
  panel->onClose = [weak, number] {
    if (auto manager = weak.lock()) manager->removeTag(number);
  };
  panel->onColorCycle = [weak, number] {
    if (auto manager = weak.lock()) manager->cycleColor(number);
  };
  positionPanel(*panel, info.bounds);
  panel->orderFrontRegardless();
  panel->order(WindowOrderingMode::above, number);

  // After this call returns, so that the user can type the label at once.
  std::weak_ptr<TagPanel> weakPanel = panel;
  env().mainLoop->post([weakPanel] {
    auto p = weakPanel.lock();
    if (!p || !p->isVisible()) return;
    p->makeKey();
    p->makeFirstResponder(p->textField());
  });

  tags_.push_back(Tag{info.windowNumber, info.ownerPID, info.ownerName, "", entry.background,
                      entry.text, colorIndex, std::move(panel), info.bounds});
  ++tagsChangeCount_;
  env().notificationCenter->post(std::string(flagrigTagCreated));
  return true;
}

void TagManager::removeTag(std::uint32_t windowNumber) {
  platform::assertMainThread("TagManager::removeTag");
  for (auto it = tags_.begin(); it != tags_.end(); ++it) {
    if (it->windowNumber != windowNumber) continue;
    auto panel = it->panel;
    tags_.erase(it);
    ++tagsChangeCount_;
    placements_.erase(panel.get());
    panel->orderOut();
    return;
  }
}

void TagManager::removeAll() {
  platform::assertMainThread("TagManager::removeAll");
  auto removed = std::move(tags_);
  tags_.clear();
  ++tagsChangeCount_;
  placements_.clear();
  for (const auto& tag : removed) tag.panel->orderOut();
}

void TagManager::cycleColor(std::uint32_t windowNumber) {
  platform::assertMainThread("TagManager::cycleColor");
  Tag* tag = findTag(windowNumber);
  if (!tag) return;
  std::size_t index = wrapped(tag->colorIndex + 1, palette_.size());
  tag->colorIndex = static_cast<long>(index);
  tag->color = palette_[index].background;
  tag->textColor = palette_[index].text;
  // The panel may call back while it repaints; work on copies.
  auto panel = tag->panel;
  Color color = tag->color, textColor = tag->textColor;
  panel->setTagColor(color);
  panel->setTagTextColor(textColor);
}

void TagManager::setFont(TagFont font) {
  platform::assertMainThread("TagManager::setFont");
  tagFont_ = font;
  env().defaults->set(TagDefaultsKeys::font, Value(static_cast<int>(font)));
  Font face = nsFont(font, tagLabelFontSize(bigTags_));
  for (const auto& tag : tags_) tag.panel->textField()->setFont(face);
}

void TagManager::setTagShape(TagShape shape) {
  tagShape_ = shape;
  env().defaults->set(TagDefaultsKeys::shape, Value(static_cast<int>(shape)));
  double radius = tagCornerRadius(shape, bigTags_);
  for (const auto& tag : tags_) tag.panel->contentView()->layer()->setCornerRadius(radius);
}

void TagManager::setBigTags(bool big) {
  bigTags_ = big;
  env().defaults->set(TagDefaultsKeys::bigTags, Value(big));
  // The panel may repaint through callbacks; keep the list stable meanwhile.
  auto panels = std::vector<std::shared_ptr<TagPanel>>();
  for (const auto& tag : tags_) panels.push_back(tag.panel);
  for (const auto& panel : panels) panel->applySize(big, tagFont_, tagShape_);
}

void TagManager::setPaletteColor(long index, std::optional<Color> background,
                                 std::optional<Color> text) {
  platform::assertMainThread("TagManager::setPaletteColor");
  if (index < 0 || static_cast<std::size_t>(index) >= palette_.size()) return;
  auto& entry = palette_[static_cast<std::size_t>(index)];
  if (background) entry.background = std::move(*background);
  if (text) entry.text = std::move(*text);
  savePalette();
}

void TagManager::positionPanel(TagPanel& panel, const Rect& window) {
  platform::assertMainThread("TagManager::positionPanel");
  positionPanel(panel, window, Screen::screens());
}

void TagManager::positionPanel(TagPanel& panel, const Rect& window,
                               const std::vector<std::shared_ptr<Screen>>& screens) {
  platform::assertMainThread("TagManager::positionPanel");
  if (screens.empty()) return;
  // Placing depends on nothing else, and what it leaves is where it starts from: while all of
  // this is as it was when the panel was last placed, placing it again changes nothing. The poll
  // places every tag at every tick, so a still desktop measures no text.
  const auto& field = *panel.textField();
  auto same = placements_.find(&panel);
  if (same != placements_.end()) {
    const Placement& p = same->second;
    if (sameFrames(p.screens, screens) && p.window == window && p.frame == panel.frame() &&
        p.big == panel.big() && p.font == field.font() && p.text == field.stringValue())
      return;
  }
  placeByMeasuring(panel, window, screens);
  Placement& p = placements_[&panel];
  p.window = window;
  p.frame = panel.frame();
  p.big = panel.big();
  p.font = field.font();
  p.text = field.stringValue();
  storeFrames(p.screens, screens);
}

void TagManager::placeByMeasuring(TagPanel& panel, const Rect& window,
                                  const std::vector<std::shared_ptr<Screen>>& screens) {
  const auto& fallback = screens.front();
  auto desktop = DesktopCoordinates::desktopBounds(screens);
  if (!desktop) return;
  double top = desktop->maxY();

  bool big = panel.big();
  double textWidth = panel.textField()->attributedStringValue().size().width;
  double wanted =
      std::max(textWidth + (big ? bigLabelRoom : labelRoom), big ? bigMinimumWidth : minimumWidth);
  // A window narrower than the minimum gets a panel as wide as itself.
  double width = std::max(0.0, std::min(window.width(), wanted));
  Rect frame = panel.frame();
  panel.setFrame(Rect(frame.midX() - width / 2, frame.y(), width, frame.height()));

  Rect sized = panel.frame();
  double x = window.minX() + (window.width() - sized.width()) / 2;
  double y = top - window.minY() + panelGap;
  const Screen* screen = fallback.get();
  Point middle{window.midX(), top - window.midY()};
  for (const auto& s : screens) {
    if (s->frame().contains(middle)) {
      screen = s.get();
      break;
    }
  }
  // Below the menu bar: the panel overlaps the window's top edge instead.
  double ceiling = screen->visibleFrame().maxY();
  if (y + sized.height() > ceiling) y = ceiling - sized.height();
  panel.setFrameOrigin({x, y});
}

void TagManager::updatePositions() {
  platform::assertMainThread("TagManager::updatePositions");
  if (tags_.empty()) return;
  auto list = WindowServer::shared().copyWindowList(WindowList::optionOnScreenOnly |
                                                    WindowList::excludeDesktopElements);
  if (!list) return;
  if (list == lookedUpList_ && stillPass_ == currentCounts()) return;
  stillPass_.reset();
  // The list is shared and never changed: while it is the same one, the tagged windows' bounds
  // are the same too, and a still desktop is not looked through again at every tick.
  bool sameLookUp = list == lookedUpList_ && lookedUp_.size() == tags_.size() &&
                    std::all_of(tags_.begin(), tags_.end(), [&](const Tag& tag) {
                      return lookedUp_.count(tag.windowNumber) != 0;
                    });
  if (!sameLookUp) {
    lookedUpList_.reset();
    const Value::Array* entries = list->asArray();
    if (!entries) return;
    for (const Value& entry : *entries) {
      if (!entry.asDictionary()) return;
    }
    // Only tagged windows matter: look their bounds up by number in one pass over the list.
    lookedUp_.clear();
    lookedUp_.reserve(tags_.size());
    for (const auto& tag : tags_) lookedUp_.emplace(tag.windowNumber, std::nullopt);
    for (const Value& entry : *entries) {
      const Value* numberValue = entry.find(WindowList::numberKey);
      auto number = numberValue ? numberValue->exactly<std::uint32_t>() : std::nullopt;
      if (!number) continue;
      auto it = lookedUp_.find(*number);
      if (it == lookedUp_.end()) continue;
      const Value* boundsValue = entry.find(WindowList::boundsKey);
      // A later entry with the same number replaces an earlier one.
      if (auto rect = boundsValue ? WindowList::rectFromBounds(*boundsValue) : std::nullopt)
        it->second = rect;
    }
    lookedUpList_ = list;
  }
  auto screens = Screen::screens();
  // A screen's change moves no window in the list, yet may move the panels it bounds.
  bool sameScreens = sameFrames(placedScreens_, screens);
  if (!sameScreens) storeFrames(placedScreens_, screens);
  std::vector<std::uint32_t> gone;
  const std::uint64_t tagsBefore = tagsChangeCount_;
  bool allPlaced = true;
  // By index: hiding a key panel tells observers, which may add or remove tags meanwhile.
  for (std::size_t i = 0; i < tags_.size(); ++i) {
    Tag& tag = tags_[i];
    // Found afresh each time and copied: the observers may come back here and look a new list
    // up meanwhile.
    auto it = lookedUp_.find(tag.windowNumber);
    if (it == lookedUp_.end()) continue;
    const std::optional<Rect> found = it->second;
    TagPanel& panel = *tag.panel;
    if (found) {
      // Any change of stacking, geometry or mapping makes a new list, and any change of the panel
      // (its text, font, size, frame, visibility) counts: while neither they nor the screens
      // changed, the panel placed and ordered above its window is there still.
      if (sameLookUp && sameScreens && tag.placedChangeCount == panel.changeCount() &&
          panel.isVisible())
        continue;
      tag.lastBounds = *found;
      positionPanel(panel, *found, screens);
      panel.order(WindowOrderingMode::above, tag.windowNumber);
      if (!panel.isVisible()) panel.orderFront();
      // Observers told of the ordering may have added or removed tags meanwhile.
      if (i < tags_.size() && tags_[i].panel.get() == &panel)
        tags_[i].placedChangeCount = panel.changeCount();
    } else if (processIsGone(tag.ownerPID) || windowIsDestroyed(tag.windowNumber)) {
      allPlaced = false;
      gone.push_back(tag.windowNumber);
    } else {
      allPlaced = false;
      // Minimised, on another Space or hidden: back at the first tick that finds it again.
      panel.orderOut();
    }
  }
  for (auto number : gone) removeTag(number);
  // A hidden tag's window may come back, or its process end, without a new list: only a pass
  // that left every panel in place can stand for the next ticks.
  if (allPlaced && tagsChangeCount_ == tagsBefore && lookedUpList_ == list)
    stillPass_ = currentCounts();
}

TagManager::StillPass TagManager::currentCounts() const {
  return {tagsChangeCount_, Screen::changeCount(), Window::anyChangeCount()};
}

void TagManager::controlTextDidChange(TextField& field) {
  platform::assertMainThread("TagManager::controlTextDidChange");
  for (auto& tag : tags_) {
    if (tag.panel->textField().get() != &field) continue;
    tag.text = field.stringValue();
    auto panel = tag.panel;
    Rect bounds = tag.lastBounds;
    positionPanel(*panel, bounds);
    return;
  }
}

bool TagManager::doCommandBy(TextField& control, TextCommand command) {
  platform::assertMainThread("TagManager::doCommandBy");
  if (command != TextCommand::insertNewline) return false;
  if (auto* panel = dynamic_cast<TagPanel*>(control.window())) panel->resignKey();
  return true;
}

}  // namespace flagrig
