#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "Platform/Desktop/FourCharCode.h"

namespace platform {

using OSStatus = std::int32_t;

// Statuses of the hot-key calls, as the platform numbers them.
namespace HotKeyStatus {
inline constexpr OSStatus noErr = 0;
inline constexpr OSStatus paramErr = -50;
inline constexpr OSStatus eventNotHandledErr = -9874;
inline constexpr OSStatus eventHotKeyExistsErr = -9878;
inline constexpr OSStatus eventHotKeyInvalidErr = -9879;
}  // namespace HotKeyStatus

// Modifier bits of a hot-key registration (not the bits of key events).
namespace HotKeyModifier {
inline constexpr std::uint32_t command = 0x100;
inline constexpr std::uint32_t shift = 0x200;
inline constexpr std::uint32_t option = 0x800;
inline constexpr std::uint32_t control = 0x1000;
}  // namespace HotKeyModifier

namespace HotKeyEventKind {
inline constexpr std::uint32_t keyboardClass = fourCharCode("keyb");
inline constexpr std::uint32_t hotKeyPressed = 5;
inline constexpr std::uint32_t hotKeyReleased = 6;
}  // namespace HotKeyEventKind

struct EventHotKeyID {
  std::uint32_t signature = 0;
  std::uint32_t id = 0;
  bool operator==(const EventHotKeyID&) const = default;
};

struct EventTypeSpec {
  std::uint32_t eventClass = 0;
  std::uint32_t eventKind = 0;
  bool operator==(const EventTypeSpec&) const = default;
};

// Where handlers are installed; the application's target is the only one.
struct EventTarget {
  std::uint32_t id = 0;
  bool operator==(const EventTarget&) const = default;
};

// A registered hot key; empty (0) when none.
struct EventHotKeyRef {
  std::uint64_t id = 0;
  explicit operator bool() const { return id != 0; }
  bool operator==(const EventHotKeyRef&) const = default;
};

struct HotKeyEvent {
  EventTypeSpec type;
  EventHotKeyID hotKeyID;
};

// System-wide key combinations: one event handler installed on the application target, and
// registrations by virtual key code and modifier bits. A backend registers the combinations
// with the desktop and calls `hotKeyPressed` on the main thread when one is pressed; the
// handlers whose event types match then run, newest first, until one does not answer
// `eventNotHandledErr`.
class HotKeyCenter {
 public:
  using EventHandler = std::function<OSStatus(const HotKeyEvent&)>;

  virtual ~HotKeyCenter() = default;

  // The installed desktop's hot keys.
  static HotKeyCenter& shared();

  EventTarget applicationEventTarget() const { return EventTarget{1}; }
  // Handlers stay installed for the life of the process. `paramErr` for another target, no
  // event types or no handler.
  OSStatus installEventHandler(EventTarget target, std::vector<EventTypeSpec> types,
                               EventHandler handler);

  // `noErr` and a reference in `outRef`; `eventHotKeyExistsErr` when the combination is taken
  // (by another application, the system or an earlier registration); `paramErr` for another
  // target.
  virtual OSStatus registerEventHotKey(std::uint32_t keyCode, std::uint32_t modifiers,
                                       EventHotKeyID id, EventTarget target, std::uint32_t options,
                                       EventHotKeyRef& outRef) = 0;
  // `eventHotKeyInvalidErr` for a reference that is not registered.
  virtual OSStatus unregisterEventHotKey(EventHotKeyRef ref) = 0;

 protected:
  // A registered combination was pressed: runs the matching handlers.
  OSStatus hotKeyPressed(EventHotKeyID id);

 private:
  struct Handler {
    std::vector<EventTypeSpec> types;
    std::shared_ptr<EventHandler> handler;
  };
  std::vector<Handler> handlers_;
};

}  // namespace platform
