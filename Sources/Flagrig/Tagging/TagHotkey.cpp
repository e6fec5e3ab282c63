#include "Flagrig/Tagging/TagHotkey.h"

#include <limits>

#include "Flagrig/Analytics/Analytics.h"
#include "Flagrig/Shell/AppScreens.h"
#include "Flagrig/Tagging/TagDefaultsKeys.h"
#include "Flagrig/Tagging/TagManager.h"
#include "Flagrig/Tagging/TagNotifications.h"
#include "Platform/Desktop/Alert.h"
#include "Platform/Desktop/Application.h"
#include "Platform/Foundation/Environment.h"
#include "Platform/Foundation/NotificationCenter.h"
#include "Platform/Foundation/RunLoop.h"
#include "Platform/Foundation/SharedInstance.h"
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

TagHotkey& TagHotkey::shared() {
  static SharedInstance<TagHotkey> instance;
  return instance.get();
}

TagHotkey::~TagHotkey() {
  if (ref_ && hasEnvironment() && env().desktop) HotKeyCenter::shared().unregisterEventHotKey(ref_);
}

std::uint32_t TagHotkey::modifierBits(std::uint64_t flags) {
  std::uint32_t bits = 0;
  if (flags & ModifierFlag::command) bits |= HotKeyModifier::command;
  if (flags & ModifierFlag::option) bits |= HotKeyModifier::option;
  if (flags & ModifierFlag::control) bits |= HotKeyModifier::control;
  if (flags & ModifierFlag::shift) bits |= HotKeyModifier::shift;
  return bits;
}

void TagHotkey::load() {
  if (loaded_) return;
  loaded_ = true;
  auto& defaults = *env().defaults;
  if (auto code = storedKeyCode(defaults)) {
    code_ = code;
    modifiers_ = storedModifiers(defaults);
    registerCurrent();
    return;
  }
  // The user cleared it earlier.
  if (defaults.boolForKey(TagDefaultsKeys::hotkeyFirstLaunchSeeded)) return;
  store(defaultCode, defaultModifiers, Seeding::firstLaunch);
  checkFirstLaunchConflict();
}

void TagHotkey::set(std::uint16_t code, std::uint64_t modifiers) {
  loaded_ = true;
  store(code, modifiers, Seeding::no);
}

void TagHotkey::store(std::uint16_t code, std::uint64_t modifiers, Seeding seeding) {
  code_ = code;
  modifiers_ = modifiers;
  // One write: a process ended between separate ones (a logout right after the first launch)
  // would keep a key without its modifiers, or the seeded mark without the hotkey, which later
  // launches read as a hotkey the user cleared.
  Value codeValue(static_cast<long long>(code));
  Value modifiersValue(static_cast<long long>(modifiers));
  auto& defaults = *env().defaults;
  if (seeding == Seeding::firstLaunch) {
    defaults.set({{TagDefaultsKeys::hotkeyFirstLaunchSeeded, Value(true)},
                  {TagDefaultsKeys::hotkeyCode, codeValue},
                  {TagDefaultsKeys::hotkeyMods, modifiersValue}});
  } else {
    defaults.set(
        {{TagDefaultsKeys::hotkeyCode, codeValue}, {TagDefaultsKeys::hotkeyMods, modifiersValue}});
  }
  registerCurrent();
}

void TagHotkey::clear() {
  loaded_ = true;
  code_.reset();
  modifiers_ = 0;
  auto& defaults = *env().defaults;
  defaults.removeObject(TagDefaultsKeys::hotkeyCode);
  defaults.removeObject(TagDefaultsKeys::hotkeyMods);
  if (ref_) {
    HotKeyCenter::shared().unregisterEventHotKey(ref_);
    ref_ = {};
  }
}

void TagHotkey::registerCurrent() {
  auto& center = HotKeyCenter::shared();
  if (ref_) {
    center.unregisterEventHotKey(ref_);
    ref_ = {};
  }
  if (!code_) return;
  if (!pressHandlerInstalled_) {
    pressHandlerInstalled_ = true;
    center.installEventHandler(
        center.applicationEventTarget(),
        {EventTypeSpec{HotKeyEventKind::keyboardClass, HotKeyEventKind::hotKeyPressed}},
        [](const HotKeyEvent&) {
          TagManager::startTaggingPick();
          return HotKeyStatus::noErr;
        });
  }
  std::uint32_t bits = modifierBits(modifiers_);
  // A bare key grabbed system-wide would swallow the user's typing; the stored value stays.
  if (bits == 0) return;
  EventHotKeyRef ref;
  if (center.registerEventHotKey(*code_, bits, hotkeyID, center.applicationEventTarget(), 0, ref) ==
      HotKeyStatus::noErr)
    ref_ = ref;
}

void TagHotkey::checkFirstLaunchConflict() {
  auto& defaults = *env().defaults;
  if (defaults.boolForKey(TagDefaultsKeys::hotkeyConflictShown) || ref_) return;
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
