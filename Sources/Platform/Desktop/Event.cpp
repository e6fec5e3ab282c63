#include "Platform/Desktop/Event.h"

#include "Platform/Desktop/Desktop.h"
#include "Platform/Foundation/Environment.h"

namespace platform {

Event Event::key(EventType type, std::uint16_t keyCode, std::uint64_t modifierFlags,
                 std::string characters) {
  Event e;
  e.type = type;
  e.keyCode = keyCode;
  e.modifierFlags = modifierFlags;
  e.charactersIgnoringModifiers = characters;
  e.characters = std::move(characters);
  return e;
}

Event Event::mouse(EventType type, Point locationInWindow, std::uint32_t windowNumber,
                   int clickCount) {
  Event e;
  e.type = type;
  e.locationInWindow = locationInWindow;
  e.windowNumber = windowNumber;
  e.clickCount = clickCount;
  return e;
}

Point Event::mouseLocation() {
  return env().desktop->mouseLocation();
}

}  // namespace platform
