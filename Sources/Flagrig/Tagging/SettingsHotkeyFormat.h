#pragma once

#include <cstdint>
#include <string>

namespace flagrig {

// A hotkey as text: the modifier symbols in the order control, option, shift, command, then
// the key's name on the US layout ("⌃⇧`"); a key without a name reads "Key" and its code.
struct SettingsHotkeyFormat {
  static std::string describe(std::uint16_t code, std::uint64_t modifierFlags);
  static std::string keyName(std::uint16_t code);
};

}  // namespace flagrig
