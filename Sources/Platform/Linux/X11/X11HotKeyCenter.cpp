#include "Platform/Linux/X11/X11HotKeyCenter.h"

namespace platform::linuxbackend {

X11HotKeyCenter::X11HotKeyCenter(std::shared_ptr<X11Connection> connection)
    : connection_(std::move(connection)) {}

X11HotKeyCenter::~X11HotKeyCenter() = default;

OSStatus X11HotKeyCenter::registerEventHotKey(std::uint32_t, std::uint32_t, EventHotKeyID,
                                              EventTarget, std::uint32_t, EventHotKeyRef&) {
  return HotKeyStatus::eventHotKeyExistsErr;
}

OSStatus X11HotKeyCenter::unregisterEventHotKey(EventHotKeyRef) {
  return HotKeyStatus::eventHotKeyInvalidErr;
}

std::optional<std::uint32_t> X11HotKeyCenter::keysymForKeyCode(std::uint32_t) {
  return std::nullopt;
}

std::uint16_t X11HotKeyCenter::xModifiers(std::uint32_t) {
  return 0;
}

}  // namespace platform::linuxbackend
