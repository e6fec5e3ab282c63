#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform::sim {

// The US keyboard layout the simulated keyboard types with: which key (and whether shift) gives
// a character, and which characters a key gives.
class SimKeyboardLayout {
 public:
  // What the simulated keyboard sends for a character it has no key for.
  static constexpr std::uint16_t unmappedKeyCode = 0xFFFF;

  struct KeyStroke {
    std::uint16_t keyCode;
    bool shift;
  };
  // The key for one ASCII character; nothing for others.
  static std::optional<KeyStroke> keyStrokeFor(char c);
  // The characters of a key: its character (shifted or not), or the control character of
  // Return, Tab, Delete and Esc; empty for keys without one.
  enum class Level { plain, shifted };
  static std::string charactersFor(std::uint16_t keyCode, Level level);
};

}  // namespace platform::sim
