#pragma once

#include <cstdint>
#include <optional>

#include "Platform/Desktop/Event.h"
#include "Platform/HotKeys/HotKeyCenter.h"

namespace flagrig {

// The global hotkey that starts a tagging pick: loaded (and seeded on the first launch) once,
// registered, changed and cleared. It lives apart from the tag manager so that it can be
// registered at launch while the manager is still only made at first use. Main thread only.
class TagHotkey {
 public:
  // Control-shift-backquote, seeded once on the first launch.
  static constexpr std::uint16_t defaultCode = 50;
  static constexpr std::uint64_t defaultModifiers =
      platform::ModifierFlag::control | platform::ModifierFlag::shift;
  static constexpr platform::EventHotKeyID hotkeyID{platform::fourCharCode("FLGR"), 1};

  static TagHotkey& shared();
  ~TagHotkey();

  // Reads the stored hotkey and registers it, seeding the default on the first launch; a
  // taken default is reported once. Only the first call does anything.
  void load();
  // Stores the hotkey (code and modifier-flag bits) and registers it in place of the old one.
  void set(std::uint16_t code, std::uint64_t modifiers);
  // Forgets the hotkey; the default is not seeded again.
  void clear();
  std::optional<std::uint16_t> code() const { return code_; }
  std::uint64_t modifiers() const { return modifiers_; }
  bool isRegistered() const { return static_cast<bool>(ref_); }
  // The hot-key modifier bits of the command, option, control and shift flags; others ignored.
  static std::uint32_t modifierBits(std::uint64_t modifierFlags);

 private:
  enum class Seeding { no, firstLaunch };
  void store(std::uint16_t code, std::uint64_t modifiers, Seeding seeding);
  void registerCurrent();
  void checkFirstLaunchConflict();

  bool loaded_ = false;
  std::optional<std::uint16_t> code_;
  std::uint64_t modifiers_ = 0;
  platform::EventHotKeyRef ref_;
  bool pressHandlerInstalled_ = false;
};

}  // namespace flagrig
