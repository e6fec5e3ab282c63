#pragma once

#include <cstdint>
#include <string>

#include "Platform/Desktop/Geometry.h"

namespace platform {

// Event types, numbered as the platform numbers them, so that a mask is `1 << type`.
enum class EventType : std::uint8_t {
  leftMouseDown = 1,
  leftMouseUp = 2,
  rightMouseDown = 3,
  rightMouseUp = 4,
  mouseMoved = 5,
  keyDown = 10,
  keyUp = 11,
  flagsChanged = 12,
};

using EventMask = std::uint64_t;
constexpr EventMask eventMaskFor(EventType type) {
  return EventMask{1} << static_cast<unsigned>(type);
}

// Modifier-flag bits of key and mouse events.
namespace ModifierFlag {
inline constexpr std::uint64_t capsLock = 0x10000;
inline constexpr std::uint64_t shift = 0x20000;
inline constexpr std::uint64_t control = 0x40000;
inline constexpr std::uint64_t option = 0x80000;
inline constexpr std::uint64_t command = 0x100000;
inline constexpr std::uint64_t numericPad = 0x200000;
inline constexpr std::uint64_t function = 0x800000;
inline constexpr std::uint64_t deviceIndependentMask = 0xFFFF0000;
}  // namespace ModifierFlag

// Virtual key codes of the US layout that have a meaning beyond their character.
namespace KeyCode {
inline constexpr std::uint16_t returnKey = 36;
inline constexpr std::uint16_t tab = 48;
inline constexpr std::uint16_t space = 49;
inline constexpr std::uint16_t deleteKey = 51;
inline constexpr std::uint16_t escape = 53;
inline constexpr std::uint16_t keypadEnter = 76;
}  // namespace KeyCode

// One input event. Mouse locations are in the coordinates of the event's window (y upwards,
// origin at the bottom left of the content area).
struct Event {
  EventType type = EventType::keyDown;
  std::uint16_t keyCode = 0;
  std::uint64_t modifierFlags = 0;
  std::string characters;
  std::string charactersIgnoringModifiers;
  Point locationInWindow;
  std::uint32_t windowNumber = 0;
  int clickCount = 0;
  double timestamp = 0;

  static Event key(EventType type, std::uint16_t keyCode, std::uint64_t modifierFlags,
                   std::string characters);
  static Event mouse(EventType type, Point locationInWindow, std::uint32_t windowNumber,
                     int clickCount = 1);

  bool isKey() const { return type == EventType::keyDown || type == EventType::keyUp; }
  bool isMouseDown() const {
    return type == EventType::leftMouseDown || type == EventType::rightMouseDown;
  }

  // The pointer's position in screen coordinates.
  static Point mouseLocation();
};

}  // namespace platform
