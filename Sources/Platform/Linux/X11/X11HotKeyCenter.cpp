#include "Platform/Linux/X11/X11HotKeyCenter.h"
#include "Platform/Linux/X11/X11Reply.h"

#include <algorithm>
#include <array>
#include <cstdlib>

namespace platform::linuxbackend {

namespace {

constexpr std::uint32_t numLockKeysym = 0xff7f;

// The original platform's virtual key codes of the ANSI keyboard and the X key symbols of the
// same keys. Modifier keys and Caps Lock are left out: they cannot be a hot key's key.
struct KeyMapping {
  std::uint32_t keyCode;
  std::uint32_t keysym;
};
// clang-format off
constexpr KeyMapping keyMappings[] = {
    {0, 'a'},     {1, 's'},     {2, 'd'},     {3, 'f'},     {4, 'h'},     {5, 'g'},
    {6, 'z'},     {7, 'x'},     {8, 'c'},     {9, 'v'},     {11, 'b'},    {12, 'q'},
    {13, 'w'},    {14, 'e'},    {15, 'r'},    {16, 'y'},    {17, 't'},    {18, '1'},
    {19, '2'},    {20, '3'},    {21, '4'},    {22, '6'},    {23, '5'},    {24, '='},
    {25, '9'},    {26, '7'},    {27, '-'},    {28, '8'},    {29, '0'},    {30, ']'},
    {31, 'o'},    {32, 'u'},    {33, '['},    {34, 'i'},    {35, 'p'},    {36, 0xff0d},
    {37, 'l'},    {38, 'j'},    {39, '\''},   {40, 'k'},    {41, ';'},    {42, '\\'},
    {43, ','},    {44, '/'},    {45, 'n'},    {46, 'm'},    {47, '.'},    {48, 0xff09},
    {49, ' '},    {50, '`'},    {51, 0xff08}, {53, 0xff1b},
    // Keypad.
    {65, 0xffae}, {67, 0xffaa}, {69, 0xffab}, {75, 0xffaf}, {76, 0xff8d}, {78, 0xffad},
    {81, 0xffbd}, {82, 0xffb0}, {83, 0xffb1}, {84, 0xffb2}, {85, 0xffb3}, {86, 0xffb4},
    {87, 0xffb5}, {88, 0xffb6}, {89, 0xffb7}, {91, 0xffb8}, {92, 0xffb9},
    // Function keys (F1 is 0xffbe, each next one more).
    {122, 0xffbe}, {120, 0xffbf}, {99, 0xffc0},  {118, 0xffc1}, {96, 0xffc2},  {97, 0xffc3},
    {98, 0xffc4},  {100, 0xffc5}, {101, 0xffc6}, {109, 0xffc7}, {103, 0xffc8}, {111, 0xffc9},
    {105, 0xffca}, {107, 0xffcb}, {113, 0xffcc}, {106, 0xffcd}, {64, 0xffce},  {79, 0xffcf},
    {80, 0xffd0},  {90, 0xffd1},
    // Navigation: the Help key sits where PC keyboards have Insert.
    {114, 0xff63}, {115, 0xff50}, {116, 0xff55}, {117, 0xffff}, {119, 0xff57}, {121, 0xff56},
    {123, 0xff51}, {124, 0xff53}, {125, 0xff54}, {126, 0xff52},
};
// clang-format on

}  // namespace

std::optional<std::uint32_t> X11HotKeyCenter::keysymForKeyCode(std::uint32_t keyCode) {
  for (const auto& m : keyMappings) {
    if (m.keyCode == keyCode) return m.keysym;
  }
  return std::nullopt;
}

std::uint16_t X11HotKeyCenter::xModifiers(std::uint32_t modifiers) {
  std::uint16_t mods = 0;
  if (modifiers & HotKeyModifier::shift) mods |= XCB_MOD_MASK_SHIFT;
  if (modifiers & HotKeyModifier::control) mods |= XCB_MOD_MASK_CONTROL;
  if (modifiers & HotKeyModifier::option) mods |= XCB_MOD_MASK_1;   // Alt
  if (modifiers & HotKeyModifier::command) mods |= XCB_MOD_MASK_4;  // Super
  return mods;
}

X11HotKeyCenter::X11HotKeyCenter(std::shared_ptr<X11Connection> connection)
    : connection_(std::move(connection)) {
  readKeyboardMapping();
  subscription_ = connection_->subscribe([this](const xcb_generic_event_t& e) { handleEvent(e); });
}

X11HotKeyCenter::~X11HotKeyCenter() {
  connection_->unsubscribe(subscription_);
  for (auto& [ref, r] : registrations_) ungrab(r.keycodes, r.xMods);
  connection_->flush();
}

void X11HotKeyCenter::readKeyboardMapping() {
  auto* c = connection_->raw();
  const auto* setup = xcb_get_setup(c);
  minKeycode_ = setup->min_keycode;
  std::uint8_t count = static_cast<std::uint8_t>(setup->max_keycode - setup->min_keycode + 1);
  auto mappingCookie = xcb_get_keyboard_mapping(c, setup->min_keycode, count);
  auto modifierCookie = xcb_get_modifier_mapping(c);
  X11Reply<xcb_get_keyboard_mapping_reply_t> mapping(
      xcb_get_keyboard_mapping_reply(c, mappingCookie, nullptr));
  X11Reply<xcb_get_modifier_mapping_reply_t> modifiers(
      xcb_get_modifier_mapping_reply(c, modifierCookie, nullptr));
  connection_->didWaitForReplies();
  keysyms_.clear();
  keysymsPerKeycode_ = 0;
  if (mapping) {
    keysymsPerKeycode_ = mapping->keysyms_per_keycode;
    auto* syms = xcb_get_keyboard_mapping_keysyms(mapping.get());
    int length = xcb_get_keyboard_mapping_keysyms_length(mapping.get());
    keysyms_.assign(syms, syms + std::max(length, 0));
  }
  numLockMask_ = 0;
  if (modifiers) {
    auto* keycodes = xcb_get_modifier_mapping_keycodes(modifiers.get());
    int perModifier = modifiers->keycodes_per_modifier;
    for (int modifier = 0; modifier < 8; ++modifier) {
      for (int i = 0; i < perModifier; ++i) {
        xcb_keycode_t keycode = keycodes[modifier * perModifier + i];
        if (keycode == 0) continue;
        auto codes = keycodesFor(numLockKeysym);
        if (std::find(codes.begin(), codes.end(), keycode) != codes.end())
          numLockMask_ = static_cast<std::uint16_t>(1u << modifier);
      }
    }
  }
}

std::vector<xcb_keycode_t> X11HotKeyCenter::keycodesFor(std::uint32_t keysym) const {
  std::vector<xcb_keycode_t> primary, other;
  if (keysymsPerKeycode_ == 0) return {};
  // Letters may be listed by their capital.
  std::uint32_t upper = keysym >= 'a' && keysym <= 'z' ? keysym - 32 : keysym;
  std::size_t keycodes = keysyms_.size() / keysymsPerKeycode_;
  for (std::size_t k = 0; k < keycodes; ++k) {
    for (std::size_t column = 0; column < keysymsPerKeycode_; ++column) {
      auto sym = keysyms_[k * keysymsPerKeycode_ + column];
      if (sym != keysym && sym != upper) continue;
      auto code = static_cast<xcb_keycode_t>(minKeycode_ + k);
      (column == 0 ? primary : other).push_back(code);
      break;
    }
  }
  // A key that makes the symbol unshifted is the key; others only when none does (keypad
  // digits, for one, sit in the second column).
  return primary.empty() ? other : primary;
}

std::vector<std::uint16_t> X11HotKeyCenter::lockVariants(std::uint16_t mods) const {
  std::vector<std::uint16_t> variants{mods, static_cast<std::uint16_t>(mods | XCB_MOD_MASK_LOCK)};
  if (numLockMask_) {
    variants.push_back(static_cast<std::uint16_t>(mods | numLockMask_));
    variants.push_back(static_cast<std::uint16_t>(mods | numLockMask_ | XCB_MOD_MASK_LOCK));
  }
  return variants;
}

bool X11HotKeyCenter::grab(const std::vector<xcb_keycode_t>& keycodes, std::uint16_t mods) {
  auto* c = connection_->raw();
  struct Attempt {
    xcb_keycode_t keycode;
    std::uint16_t mods;
    xcb_void_cookie_t cookie;
  };
  std::vector<Attempt> attempts;
  for (auto keycode : keycodes) {
    for (auto variant : lockVariants(mods)) {
      attempts.push_back({keycode, variant,
                          xcb_grab_key_checked(c, 1, connection_->root(), variant, keycode,
                                               XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC)});
    }
  }
  bool taken = false;
  std::vector<const Attempt*> held;
  for (const auto& a : attempts) {
    X11Reply<xcb_generic_error_t> error(xcb_request_check(c, a.cookie));
    // BadAccess: another client holds this variant. Any other error fails the grab as well.
    if (error) {
      taken = true;
    } else {
      held.push_back(&a);
    }
  }
  connection_->didWaitForReplies();
  if (taken) {
    for (const auto* a : held) xcb_ungrab_key(c, a->keycode, connection_->root(), a->mods);
    connection_->flush();
    return false;
  }
  return !connection_->isBroken();
}

void X11HotKeyCenter::ungrab(const std::vector<xcb_keycode_t>& keycodes, std::uint16_t mods) {
  for (auto keycode : keycodes) {
    for (auto variant : lockVariants(mods))
      xcb_ungrab_key(connection_->raw(), keycode, connection_->root(), variant);
  }
}

OSStatus X11HotKeyCenter::registerEventHotKey(std::uint32_t keyCode, std::uint32_t modifiers,
                                              EventHotKeyID id, EventTarget target, std::uint32_t,
                                              EventHotKeyRef& outRef) {
  outRef = EventHotKeyRef{};
  if (target != applicationEventTarget()) return HotKeyStatus::paramErr;
  std::uint16_t mods = xModifiers(modifiers);
  // Grabs of one client never conflict with each other: our own registrations are checked here.
  for (const auto& [ref, r] : registrations_) {
    if (r.keyCode == keyCode && r.xMods == mods) return HotKeyStatus::eventHotKeyExistsErr;
  }
  auto keysym = keysymForKeyCode(keyCode);
  if (!keysym) return HotKeyStatus::eventHotKeyInvalidErr;
  auto keycodes = keycodesFor(*keysym);
  if (keycodes.empty()) return HotKeyStatus::eventHotKeyInvalidErr;
  if (!grab(keycodes, mods)) return HotKeyStatus::eventHotKeyExistsErr;
  std::uint64_t ref = nextRef_++;
  registrations_[ref] = Registration{keyCode, modifiers, id, keycodes, mods};
  outRef = EventHotKeyRef{ref};
  return HotKeyStatus::noErr;
}

OSStatus X11HotKeyCenter::unregisterEventHotKey(EventHotKeyRef ref) {
  auto it = registrations_.find(ref.id);
  if (it == registrations_.end()) return HotKeyStatus::eventHotKeyInvalidErr;
  ungrab(it->second.keycodes, it->second.xMods);
  connection_->flush();
  registrations_.erase(it);
  return HotKeyStatus::noErr;
}

void X11HotKeyCenter::regrabAll() {
  // Release everything under the old mapping first, then grab again under the new one.
  for (auto& [ref, r] : registrations_) ungrab(r.keycodes, r.xMods);
  readKeyboardMapping();
  for (auto& [ref, r] : registrations_) {
    auto keysym = keysymForKeyCode(r.keyCode);
    r.keycodes = keysym ? keycodesFor(*keysym) : std::vector<xcb_keycode_t>{};
    // Taken by someone else meanwhile: it stays registered but silent.
    if (!r.keycodes.empty() && !grab(r.keycodes, r.xMods)) r.keycodes.clear();
  }
  connection_->flush();
}

void X11HotKeyCenter::handleEvent(const xcb_generic_event_t& event) {
  switch (event.response_type & 0x7f) {
    case XCB_MAPPING_NOTIFY: {
      const auto& e = reinterpret_cast<const xcb_mapping_notify_event_t&>(event);
      if (e.request == XCB_MAPPING_KEYBOARD || e.request == XCB_MAPPING_MODIFIER) regrabAll();
      return;
    }
    case XCB_KEY_RELEASE: {
      const auto& e = reinterpret_cast<const xcb_key_release_event_t&>(event);
      lastRelease_ = {e.detail, e.time};
      return;
    }
    case XCB_KEY_PRESS: {
      const auto& e = reinterpret_cast<const xcb_key_press_event_t&>(event);
      // Auto-repeat sends a release and a press with the same time: one press per keystroke.
      if (lastRelease_ && lastRelease_->first == e.detail && lastRelease_->second == e.time) return;
      std::uint16_t relevant =
          XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 | XCB_MOD_MASK_4;
      std::uint16_t mods = e.state & relevant;
      for (const auto& [ref, r] : registrations_) {
        if (r.xMods != mods) continue;
        if (std::find(r.keycodes.begin(), r.keycodes.end(), e.detail) == r.keycodes.end()) continue;
        hotKeyPressed(r.id);
        return;
      }
      return;
    }
    default:
      return;
  }
}

}  // namespace platform::linuxbackend
