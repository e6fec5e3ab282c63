// The global hotkey of `TagManager`: loaded and seeded once, registered, changed and cleared.
#include <limits>

#include "Flagrig/Analytics/Analytics.h"
#include "Flagrig/Shell/AppScreens.h"
#include "Flagrig/Tagging/TagDefaultsKeys.h"
#include "Flagrig/Tagging/TagManager.h"
#include "Flagrig/Tagging/TagNotifications.h"
#include "Flagrig/Tagging/WindowPicker.h"
#include "Platform/Desktop/Alert.h"
#include "Platform/Desktop/Application.h"
#include "Platform/Foundation/Environment.h"
#include "Platform/Foundation/NotificationCenter.h"
#include "Platform/Foundation/RunLoop.h"
#include "Platform/Foundation/UserDefaults.h"

namespace flagrig {

using namespace platform;

namespace {

// A stored key code: an integer that fits the 16 bits of a virtual key code. Anything else
// counts as no stored hotkey; truncating it would register some unrelated key.
std::optional<std::uint16_t> storedKeyCode(const UserDefaults& defaults) {
  auto value = defaults.object(TagDefaultsKeys::hotkeyCode);
  if (!value ||
      (value->kind() != Value::Kind::integer && value->kind() != Value::Kind::unsignedInteger))
    return std::nullopt;
  return value->exactly<std::uint16_t>();
}

// Stored modifier flags; anything but a non-negative integer reads as none.
std::uint64_t storedModifiers(const UserDefaults& defaults) {
  auto value = defaults.object(TagDefaultsKeys::hotkeyMods);
  if (!value ||
      (value->kind() != Value::Kind::integer && value->kind() != Value::Kind::unsignedInteger))
    return 0;
  return value->exactly<std::uint64_t>().value_or(0);
}

}  // namespace

std::uint32_t TagManager::hotkeyModifierBits(std::uint64_t flags) {
  std::uint32_t bits = 0;
  if (flags & ModifierFlag::command) bits |= HotKeyModifier::command;
  if (flags & ModifierFlag::option) bits |= HotKeyModifier::option;
  if (flags & ModifierFlag::control) bits |= HotKeyModifier::control;
  if (flags & ModifierFlag::shift) bits |= HotKeyModifier::shift;
  return bits;
}

void TagManager::startTaggingPick() {
  WindowPicker::shared().beginPick([](const WindowInfo& info) {
    if (TagManager::shared().createTag(info)) Analytics::track("tag_created");
  });
}

void TagManager::loadHotkey() {
  auto& defaults = *env().defaults;
  if (auto code = storedKeyCode(defaults)) {
    hotkeyCode_ = code;
    hotkeyModifiers_ = storedModifiers(defaults);
    registerHotkey();
    return;
  }
  // The user cleared it earlier.
  if (defaults.boolForKey(TagDefaultsKeys::hotkeyFirstLaunchSeeded)) return;
  defaults.set(TagDefaultsKeys::hotkeyFirstLaunchSeeded, Value(true));
  setHotkey(defaultHotkeyCode, defaultHotkeyModifiers);
  checkFirstLaunchConflict();
}

void TagManager::setHotkey(std::uint16_t code, std::uint64_t modifiers) {
  hotkeyCode_ = code;
  hotkeyModifiers_ = modifiers;
  auto& defaults = *env().defaults;
  defaults.set(TagDefaultsKeys::hotkeyCode, Value(static_cast<long long>(code)));
  defaults.set(TagDefaultsKeys::hotkeyMods, Value(static_cast<long long>(modifiers)));
  registerHotkey();
}

void TagManager::clearHotkey() {
  hotkeyCode_.reset();
  hotkeyModifiers_ = 0;
  auto& defaults = *env().defaults;
  defaults.removeObject(TagDefaultsKeys::hotkeyCode);
  defaults.removeObject(TagDefaultsKeys::hotkeyMods);
  if (hotKeyRef_) {
    HotKeyCenter::shared().unregisterEventHotKey(hotKeyRef_);
    hotKeyRef_ = {};
  }
}

void TagManager::registerHotkey() {
  auto& center = HotKeyCenter::shared();
  if (hotKeyRef_) {
    center.unregisterEventHotKey(hotKeyRef_);
    hotKeyRef_ = {};
  }
  if (!hotkeyCode_) return;
  if (!hotkeyHandlerInstalled_) {
    hotkeyHandlerInstalled_ = true;
    center.installEventHandler(
        center.applicationEventTarget(),
        {EventTypeSpec{HotKeyEventKind::keyboardClass, HotKeyEventKind::hotKeyPressed}},
        [](const HotKeyEvent&) {
          startTaggingPick();
          return HotKeyStatus::noErr;
        });
  }
  std::uint32_t bits = hotkeyModifierBits(hotkeyModifiers_);
  // A bare key grabbed system-wide would swallow the user's typing; the stored value stays.
  if (bits == 0) return;
  EventHotKeyRef ref;
  if (center.registerEventHotKey(*hotkeyCode_, bits, hotkeyID, center.applicationEventTarget(), 0,
                                 ref) == HotKeyStatus::noErr)
    hotKeyRef_ = ref;
}

void TagManager::checkFirstLaunchConflict() {
  auto& defaults = *env().defaults;
  if (defaults.boolForKey(TagDefaultsKeys::hotkeyConflictShown) || hotKeyRef_) return;
  defaults.set(TagDefaultsKeys::hotkeyConflictShown, Value(true));
  env().mainLoop->post([] {
    Analytics::track("hotkey_conflict_alert_shown");
    Alert alert;
    alert.setAlertStyle(AlertStyle::warning);
    alert.setMessageText("Flagrig hotkey conflict");
    alert.setInformativeText(
        "Another app or system shortcut is already using \u2303\u21e7`. Open Settings \u2192 "
        "Hotkey to choose a different combination.");
    alert.addButton("Open Settings");
    alert.addButton("Dismiss");
    if (alert.runModal() != ModalResponse::firstButton) return;
    Analytics::track("hotkey_conflict_open_settings");
    auto settings = AppScreens::shared().settings;
    settings->showWindow();
    settings->showWindow();
    env().notificationCenter->post(std::string(flagrigFocusHotkey));
  });
}

}  // namespace flagrig
