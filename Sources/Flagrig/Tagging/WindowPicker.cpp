#include "Flagrig/Tagging/WindowPicker.h"

#include <string>

#include "Flagrig/Tagging/OverlayWindow.h"
#include "Flagrig/Tagging/PickerView.h"
#include "Flagrig/Tagging/TagNotifications.h"
#include "Platform/Desktop/Application.h"
#include "Platform/Desktop/DesktopCoordinates.h"
#include "Platform/Desktop/Event.h"
#include "Platform/Desktop/Screen.h"
#include "Platform/Desktop/TextField.h"
#include "Platform/Foundation/Environment.h"
#include "Platform/Foundation/NotificationCenter.h"
#include "Platform/Foundation/ProcessInfo.h"
#include "Platform/Foundation/SharedInstance.h"
#include "Platform/WindowServer/WindowList.h"
#include "Platform/WindowServer/WindowServer.h"

namespace flagrig {

using namespace platform;

namespace {

constexpr int overlayLevel = 1000;
constexpr std::uint64_t joinsEverySpace =
    CollectionBehavior::canJoinAllSpaces | CollectionBehavior::fullScreenAuxiliary;
constexpr double pillHeight = 36;
constexpr double pillPadding = 16;
constexpr double pillOffsetFromTop = 80;

// The entry as a window the user may tag, or nothing when it is not one: this application's
// windows, windows of other layers (menu bar, Dock), slivers, windows covering the whole
// desktop and the Finder's desktop window are skipped. `desktop` is in window-list coordinates.
std::optional<WindowInfo> taggableWindow(const Value& entry, const Rect& desktop,
                                         std::int32_t ownPID) {
  if (!entry.asDictionary()) return std::nullopt;
  const Value* pidValue = entry.find(WindowList::ownerPIDKey);
  auto pid = pidValue ? pidValue->exactly<std::int32_t>() : std::nullopt;
  // A process id of 0 or less names a process group, never a window's owner.
  if (!pid || *pid <= 0 || *pid == ownPID) return std::nullopt;
  const Value* numberValue = entry.find(WindowList::numberKey);
  auto number = numberValue ? numberValue->exactly<std::uint32_t>() : std::nullopt;
  if (!number) return std::nullopt;
  if (const Value* layer = entry.find(WindowList::layerKey)) {
    if (layer->exactly<std::int64_t>() != std::int64_t{0}) return std::nullopt;
  }
  const Value* boundsValue = entry.find(WindowList::boundsKey);
  auto bounds = boundsValue ? WindowList::rectFromBounds(*boundsValue) : std::nullopt;
  if (!bounds) return std::nullopt;
  if (bounds->width() < WindowPicker::minimumWindowSide ||
      bounds->height() < WindowPicker::minimumWindowSide)
    return std::nullopt;
  if (bounds->minX() <= desktop.minX() && bounds->minY() <= desktop.minY() &&
      bounds->width() >= desktop.width() && bounds->height() >= desktop.height())
    return std::nullopt;

  const Value* ownerValue = entry.find(WindowList::ownerNameKey);
  const std::string* owner = ownerValue ? ownerValue->asString() : nullptr;
  const Value* nameValue = entry.find(WindowList::nameKey);
  const std::string* name = nameValue ? nameValue->asString() : nullptr;
  if (owner && *owner == "Finder" && (!name || name->empty()) && bounds->width() > 2000)
    return std::nullopt;

  return WindowInfo{*number, *pid, *bounds, owner && !owner->empty() ? *owner : "Unknown"};
}

}  // namespace

WindowPicker& WindowPicker::shared() {
  static SharedInstance<WindowPicker> instance;
  return instance.get();
}

std::optional<Rect> WindowPicker::desktopBounds() {
  return DesktopCoordinates::desktopBounds(Screen::screens());
}

void WindowPicker::beginPick(Completion completion) {
  completion_ = std::move(completion);
  // An earlier pick still open hands over its overlays; its pill and monitors go, so that no
  // monitor outlives its pick and every later Esc would post a cancellation.
  removeInstructionAndMonitors();

  std::weak_ptr<WindowPicker> weak = weak_from_this();
  for (const auto& screen : Screen::screens()) {
    auto overlay = std::make_shared<OverlayWindow>(screen->frame(), StyleMask::borderless);
    overlay->setLevel(overlayLevel);
    overlay->setBackgroundColor(Color::black().withAlphaComponent(0.1));
    overlay->setOpaque(false);
    overlay->setHasShadow(false);
    overlay->setCollectionBehavior(joinsEverySpace);
    auto view = std::make_shared<PickerView>([weak] {
      if (auto picker = weak.lock()) picker->handleClick();
    });
    view->setFrame(overlay->contentView()->bounds());
    view->setAutoresizingMask(AutoresizingMask::widthSizable | AutoresizingMask::heightSizable);
    overlay->contentView()->addSubview(view);
    overlay->makeKeyAndOrderFront();
    overlays_.push_back(std::move(overlay));
  }
  showInstruction();
  installEscapeHandlers();
}

void WindowPicker::showInstruction() {
  auto label = TextField::labelWithString(instructionText);
  label->setFont(Font::systemFont(14, FontWeight::medium));
  label->setTextColor(Color::white());
  label->sizeToFit();

  auto screen = Screen::main();
  if (!screen) return;
  double width = label->frame().width() + 2 * pillPadding;
  Rect frame = screen->frame();
  auto pill = std::make_shared<Window>(
      Rect(frame.midX() - width / 2, frame.maxY() - pillOffsetFromTop, width, pillHeight),
      StyleMask::borderless);
  pill->setLevel(WindowServer::levelForKey(WindowLevelKey::screenSaver) + 1);
  pill->setBackgroundColor(Color::clear());
  pill->setOpaque(false);
  pill->setHasShadow(true);

  auto content = std::make_shared<View>(Rect(0, 0, width, pillHeight));
  content->setWantsLayer(true);
  content->layer()->setBackgroundColor(Color::gray(0.1, 0.92));
  content->layer()->setCornerRadius(pillHeight / 2);
  content->layer()->setMasksToBounds(true);
  label->setFrameOrigin({pillPadding, (pillHeight - label->frame().height()) / 2});
  content->addSubview(label);
  pill->setContentView(content);

  pill->orderFrontRegardless();
  instructionPanel_ = std::move(pill);
}

void WindowPicker::installEscapeHandlers() {
  std::weak_ptr<WindowPicker> weak = weak_from_this();
  auto& app = Application::shared();
  localMonitor_ = app.addLocalMonitor(eventMaskFor(EventType::keyDown),
                                      [weak](const Event& event) -> std::optional<Event> {
                                        if (event.keyCode != KeyCode::escape) return event;
                                        if (auto picker = weak.lock()) {
                                          picker->dismiss();
                                          picker->cancel();
                                        }
                                        return std::nullopt;
                                      });
  globalMonitor_ =
      app.addGlobalMonitor(eventMaskFor(EventType::keyDown), [weak](const Event& event) {
        if (event.keyCode != KeyCode::escape) return;
        if (auto picker = weak.lock()) {
          picker->dismiss();
          picker->cancel();
        }
      });
}

void WindowPicker::handleClick() {
  Point p = Event::mouseLocation();
  dismiss();
  auto desktop = desktopBounds();
  if (!desktop) return cancel();
  DesktopCoordinates coordinates(desktop->maxY());
  Point click = coordinates.toWindowList(p);
  auto list = WindowServer::shared().copyWindowList(WindowList::optionOnScreenOnly |
                                                    WindowList::excludeDesktopElements);
  const Value::Array* entries = list ? list->asArray() : nullptr;
  if (!entries) return cancel();

  // The desktop in the list's own coordinates, so that "covers the whole desktop" compares
  // like with like when a screen lies below the primary one.
  Rect desktopInList = coordinates.toWindowList(*desktop);
  auto ownPID = static_cast<std::int32_t>(env().processInfo->processIdentifier());
  for (const Value& entry : *entries) {
    auto window = taggableWindow(entry, desktopInList, ownPID);
    if (!window || !window->bounds.contains(click)) continue;
    // Taken out first: the completion may start the next pick.
    auto completion = std::move(completion_);
    completion_ = nullptr;
    if (completion) completion(*window);
    return;
  }
  cancel();
}

void WindowPicker::dismiss() {
  auto overlays = std::move(overlays_);
  overlays_.clear();
  for (const auto& overlay : overlays) overlay->orderOut();
  removeInstructionAndMonitors();
}

void WindowPicker::removeInstructionAndMonitors() {
  if (auto pill = std::move(instructionPanel_)) pill->orderOut();
  instructionPanel_ = nullptr;
  auto& app = Application::shared();
  app.removeMonitor(localMonitor_);
  app.removeMonitor(globalMonitor_);
  localMonitor_ = nullptr;
  globalMonitor_ = nullptr;
}

void WindowPicker::cancel() {
  completion_ = nullptr;
  env().notificationCenter->post(std::string(flagrigWindowPickCancelled));
}

}  // namespace flagrig
