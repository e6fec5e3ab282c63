#pragma once

#include <xcb/xcb.h>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "Platform/HotKeys/HotKeyCenter.h"
#include "Platform/Linux/X11/X11Connection.h"

namespace platform::linuxbackend {

// Global hot keys on X11: each registration grabs its key on the root window in four variants
// (as given, with Caps Lock, with Num Lock, with both), so that the lock keys never stop it.
// Grabs belong to the connection that made them, so a combination another client already
// grabbed answers BadAccess: it is taken. The stored unit stays the original platform's virtual
// key codes and modifier bits; they are mapped to key symbols and X modifiers here, and the
// grabs are made again when the keyboard mapping changes.
class X11HotKeyCenter final : public HotKeyCenter {
 public:
  explicit X11HotKeyCenter(std::shared_ptr<X11Connection> connection);
  ~X11HotKeyCenter() override;

  OSStatus registerEventHotKey(std::uint32_t keyCode, std::uint32_t modifiers, EventHotKeyID id,
                               EventTarget target, std::uint32_t options,
                               EventHotKeyRef& outRef) override;
  OSStatus unregisterEventHotKey(EventHotKeyRef ref) override;

  // The X key symbol for one of the platform's virtual key codes (ANSI layout); nothing for a
  // code without one.
  static std::optional<std::uint32_t> keysymForKeyCode(std::uint32_t keyCode);
  // X modifier mask for the platform's hot-key modifier bits.
  static std::uint16_t xModifiers(std::uint32_t modifiers);

 private:
  struct Registration {
    std::uint32_t keyCode;
    std::uint32_t modifiers;
    EventHotKeyID id;
    std::vector<xcb_keycode_t> keycodes;  // grabbed now
    std::uint16_t xMods;
  };

  void handleEvent(const xcb_generic_event_t& event);
  void readKeyboardMapping();
  std::vector<xcb_keycode_t> keycodesFor(std::uint32_t keysym) const;
  std::vector<std::uint16_t> lockVariants(std::uint16_t mods) const;
  // Grabs every variant; on BadAccess releases what it grabbed and answers false.
  bool grab(const std::vector<xcb_keycode_t>& keycodes, std::uint16_t mods);
  void ungrab(const std::vector<xcb_keycode_t>& keycodes, std::uint16_t mods);
  void regrabAll();

  std::shared_ptr<X11Connection> connection_;
  X11Connection::SubscriptionId subscription_ = 0;
  std::map<std::uint64_t, Registration> registrations_;
  std::uint64_t nextRef_ = 1;
  std::uint16_t numLockMask_ = 0;
  // Key symbols by keycode, from the server's keyboard mapping.
  xcb_keycode_t minKeycode_ = 0;
  std::uint8_t keysymsPerKeycode_ = 0;
  std::vector<xcb_keysym_t> keysyms_;
  // The last key release: keycode and time, to tell auto-repeat from a new press.
  std::optional<std::pair<xcb_keycode_t, xcb_timestamp_t>> lastRelease_;
};

}  // namespace platform::linuxbackend
