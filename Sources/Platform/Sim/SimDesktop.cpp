#include "Platform/Sim/SimDesktop.h"

#include <algorithm>

#include "Platform/Desktop/ColorPanel.h"
#include "Platform/Desktop/StatusBar.h"
#include "Platform/Foundation/Environment.h"
#include "Platform/Foundation/Error.h"
#include "Platform/Foundation/RunLoop.h"
#include "Platform/Sim/SimKeyboardLayout.h"

namespace platform::sim {

SimDesktop::SimDesktop() {
  setScreens({Rect(0, 0, 1440, 900)});
  for (const auto& face : {
           FontFace{.name = "Menlo-Regular", .monospaced = true},
           FontFace{.name = "Menlo-Bold", .monospaced = true, .weight = FontWeight::bold},
           FontFace{.name = "Monaco", .monospaced = true},
           FontFace{.name = "Courier", .monospaced = true},
           FontFace{.name = "Helvetica"},
           FontFace{.name = "Helvetica-Bold", .weight = FontWeight::bold},
           FontFace{.name = "HelveticaNeue"},
           FontFace{.name = "HelveticaNeue-Bold", .weight = FontWeight::bold},
       }) {
    installFont(face);
  }
}

SimDesktop::~SimDesktop() = default;

std::vector<std::shared_ptr<Screen>> SimDesktop::screens() const {
  return screens_;
}

void SimDesktop::setScreens(const std::vector<Rect>& frames) {
  std::vector<std::shared_ptr<Screen>> screens;
  int index = 1;
  for (const Rect& frame : frames) {
    Rect visible(frame.x(), frame.y(), frame.width(), frame.height() - menuBarHeight);
    screens.push_back(
        std::make_shared<Screen>(frame, visible, "Display " + std::to_string(index++)));
  }
  setScreens(std::move(screens));
}

void SimDesktop::setScreens(std::vector<std::shared_ptr<Screen>> screens) {
  // The window list's coordinates hang on the screens' frames; a visible frame alone (a panel
  // appearing at an edge) moves no window, and the list stays the one it was, as on a real server.
  bool framesChanged =
      !std::equal(screens.begin(), screens.end(), screens_.begin(), screens_.end(),
                  [](const auto& a, const auto& b) { return a->frame() == b->frame(); });
  screens_ = std::move(screens);
  ++screensChangeCount_;
  if (framesChanged) server_.invalidate();
}

std::optional<FontFace> SimDesktop::fontFace(std::string_view name) const {
  auto it = fonts_.find(name);
  if (it == fonts_.end()) return std::nullopt;
  return it->second;
}

void SimDesktop::installFont(FontFace face) {
  auto name = face.name;
  fonts_[name] = std::move(face);
}

void SimDesktop::removeFont(std::string_view name) {
  auto it = fonts_.find(name);
  if (it != fonts_.end()) fonts_.erase(it);
}

void SimDesktop::setFrontmost(std::optional<std::int32_t> pid) {
  frontmost_ = pid;
  bool ours = pid && *pid == server_.ownPID();
  keyboardOurs_ = ours;
  application().updateActivation({.active = ours, .keyFocus = ours});
}

void SimDesktop::activateForeignApplication(std::int32_t pid) {
  server_.raiseApplication(pid);
  setFrontmost(pid);
}

void SimDesktop::activateApplication() {
  if (frontmost_ == server_.ownPID()) return;
  setFrontmost(server_.ownPID());
}

void SimDesktop::setKeyFocus(bool ours) {
  keyboardOurs_ = ours || frontmost_ == server_.ownPID();
}

void SimDesktop::terminateApplication() {
  terminated_ = true;
  env().mainLoop->stop();
}

std::uint32_t SimDesktop::registerWindow(Window& window) {
  return server_.addOwnWindow(window);
}

void SimDesktop::unregisterWindow(Window& window) {
  server_.removeOwnWindow(window.windowNumber());
  changes_.erase(window.windowNumber());
}

void SimDesktop::orderWindow(Window& window, WindowOrderingMode mode, std::uint32_t relativeTo,
                             WhileInactive whileInactive) {
  std::optional<std::int32_t> activeForeign;
  if (frontmost_ && *frontmost_ != server_.ownPID()) activeForeign = frontmost_;
  server_.orderOwnWindow(window, mode, relativeTo, whileInactive, activeForeign);
  ++changes_[window.windowNumber()];
}

void SimDesktop::windowDidChange(Window& window, WindowChange) {
  ++changes_[window.windowNumber()];
  server_.invalidate();
}

void SimDesktop::viewDidChange(Window& window, View&, ViewChange) {
  ++changes_[window.windowNumber()];
}

int SimDesktop::changeCount(std::uint32_t windowNumber) const {
  auto it = changes_.find(windowNumber);
  return it == changes_.end() ? 0 : it->second;
}

void SimDesktop::click(Point screenPoint, int clickCount) {
  mouse_ = screenPoint;
  auto hit = server_.windowAt(screenPoint);
  if (hit.foreign) {
    std::int32_t pid = hit.foreign->pid;
    server_.raiseWindow(hit.foreign->number);
    if (frontmost_ != pid) setFrontmost(pid);
    return;
  }
  if (!hit.own) {
    if (frontmost_) setFrontmost(std::nullopt);
    return;
  }
  auto window = hit.own->weak_from_this().lock();
  if (!window) return;
  Rect content = window->contentRect();
  Point local{screenPoint.x - content.x(), screenPoint.y - content.y()};
  auto& app = application();
  app.sendEvent(Event::mouse(EventType::leftMouseDown, local, window->windowNumber(), clickCount));
  app.sendEvent(Event::mouse(EventType::leftMouseUp, local, window->windowNumber(), clickCount));
}

void SimDesktop::type(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    // One code point at a time.
    std::size_t length = 1;
    while (i + length < text.size() &&
           (static_cast<unsigned char>(text[i + length]) & 0xC0) == 0x80)
      ++length;
    std::string character(text.substr(i, length));
    i += length;
    auto stroke = length == 1 ? SimKeyboardLayout::keyStrokeFor(character[0]) : std::nullopt;
    if (stroke) {
      pressKey(stroke->keyCode, stroke->shift ? ModifierFlag::shift : 0, character);
    } else {
      pressKey(SimKeyboardLayout::unmappedKeyCode, 0, character);
    }
  }
}

void SimDesktop::pressKey(std::uint16_t keyCode, std::uint64_t modifierFlags,
                          std::optional<std::string> characters) {
  std::string chars =
      characters ? *characters
                 : SimKeyboardLayout::charactersFor(keyCode, modifierFlags & ModifierFlag::shift
                                                                 ? SimKeyboardLayout::Level::shifted
                                                                 : SimKeyboardLayout::Level::plain);
  Event down = Event::key(EventType::keyDown, keyCode, modifierFlags, chars);
  down.charactersIgnoringModifiers =
      SimKeyboardLayout::charactersFor(keyCode, SimKeyboardLayout::Level::plain);
  if (down.charactersIgnoringModifiers.empty()) down.charactersIgnoringModifiers = chars;
  sendKey(down);
  Event up = down;
  up.type = EventType::keyUp;
  sendKey(up);
}

void SimDesktop::sendKey(const Event& event) {
  if (hotKeys_.handleKey(event)) return;
  // An open menu takes its items' key equivalents, as choosing them would.
  if (auto menu = openMenu(); menu && event.type == EventType::keyDown) {
    if (auto item =
            menu->itemForKeyEquivalent(event.charactersIgnoringModifiers, event.modifierFlags)) {
      closeMenus();
      item->perform();
      return;
    }
  }
  if (keyboardOurs_) {
    application().sendEvent(event);
    return;
  }
  keysElsewhere_.push_back(event);
  if (accessibility_.isProcessTrusted()) application().dispatchGlobalEvent(event);
}

Cursor SimDesktop::cursorAt(Point screenPoint) const {
  auto hit = server_.windowAt(screenPoint);
  if (!hit.own) return Cursor::arrow;
  Rect content = hit.own->contentRect();
  return hit.own->cursorAt({screenPoint.x - content.x(), screenPoint.y - content.y()});
}

std::uint32_t SimDesktop::statusItemCount() {
  return static_cast<std::uint32_t>(statusBar().items().size());
}

bool SimDesktop::isStatusItemShown(std::uint32_t index) {
  const auto& items = statusBar().items();
  return !statusItemsHidden_ && index < items.size() && items[index]->isVisible();
}

void SimDesktop::clickStatusItem(std::uint32_t index) {
  if (!isStatusItemShown(index)) return;
  auto item = statusBar().items()[index];
  item->click();
}

void SimDesktop::showMenu(Menu& menu) {
  auto shown = menu.shared_from_this();
  // A menu that is not a submenu of the open one replaces it.
  if (!openMenus_.empty() && menu.supermenu() != openMenus_.back().get()) closeMenus();
  openMenus_.push_back(shown);
  menu.willOpen();
}

bool SimDesktop::openMainMenu(std::string_view title) {
  const auto& main = application().mainMenu();
  auto item = main ? main->itemWithTitle(title) : nullptr;
  if (!item || !item->submenu()) return false;
  closeMenus();
  showMenu(*item->submenu());
  return true;
}

bool SimDesktop::chooseMenuItem(std::string_view title) {
  auto menu = openMenu();
  auto item = menu ? menu->itemWithTitle(title) : nullptr;
  if (!item || item->isSeparatorItem() || item->isHidden() || !item->isEnabled()) return false;
  if (item->submenu()) {
    showMenu(*item->submenu());
    return true;
  }
  closeMenus();
  return item->perform();
}

void SimDesktop::closeMenus() {
  auto menus = std::move(openMenus_);
  openMenus_.clear();
  for (auto it = menus.rbegin(); it != menus.rend(); ++it) (*it)->didClose();
}

void SimDesktop::respondToNextAlert(long response) {
  scriptNextAlert([response](Alert& alert) {
    auto index = static_cast<std::size_t>(response - ModalResponse::firstButton);
    precondition(response >= ModalResponse::firstButton && index < alert.buttons().size(),
                 "SimDesktop::respondToNextAlert: the alert has no button with that response");
    auto button = alert.buttons()[index];
    // Pressed from inside the modal session, as the user would.
    env().mainLoop->post([button] { button->performClick(); });
  });
}

void SimDesktop::scriptNextAlert(std::function<void(Alert&)> script) {
  alertScripts_.push_back(std::move(script));
}

void SimDesktop::alertWillRunModal(Alert& alert) {
  AlertRecord record{
      alert.alertStyle(), alert.messageText(), alert.informativeText(), {}, std::nullopt};
  for (const auto& button : alert.buttons()) record.buttons.push_back(button->title());
  alerts_.push_back(std::move(record));
  // An alert nobody expected would wait for ever on the manual clock: say so instead.
  precondition(
      !alertScripts_.empty(),
      ("SimDesktop: an alert ran without a scripted response: " + alert.messageText()).c_str());
  runningAlerts_.emplace_back(&alert, alerts_.size() - 1);
  auto script = std::move(alertScripts_.front());
  alertScripts_.pop_front();
  script(alert);
}

void SimDesktop::alertDidEnd(Alert& alert, long response) {
  for (auto it = runningAlerts_.rbegin(); it != runningAlerts_.rend(); ++it) {
    if (it->first == &alert) {
      alerts_[it->second].response = response;
      runningAlerts_.erase(std::next(it).base());
      return;
    }
  }
}

void SimDesktop::deliverURL(std::string url) {
  AppleEventDescriptor event(AppleEventCode::internetEventClass, AppleEventCode::getURL);
  event.setParamDescriptor(AppleEventCode::directObjectKeyword,
                           AppleEventDescriptor::string(std::move(url)));
  appleEventManager().dispatch(event);
}

void SimDesktop::chooseColorInPanel(Color color) {
  auto& panel = colorPanel();
  panel.setColor(panel.showsAlpha() ? color : color.withAlphaComponent(1));
}

}  // namespace platform::sim
