#include "Platform/HotKeys/HotKeyCenter.h"

#include <algorithm>

#include "Platform/Desktop/Desktop.h"
#include "Platform/Foundation/Environment.h"

namespace platform {

HotKeyCenter& HotKeyCenter::shared() {
  return env().desktop->hotKeys();
}

OSStatus HotKeyCenter::installEventHandler(EventTarget target, std::vector<EventTypeSpec> types,
                                           EventHandler handler) {
  if (target != applicationEventTarget() || types.empty() || !handler)
    return HotKeyStatus::paramErr;
  handlers_.push_back({std::move(types), std::make_shared<EventHandler>(std::move(handler))});
  return HotKeyStatus::noErr;
}

OSStatus HotKeyCenter::hotKeyPressed(EventHotKeyID id) {
  HotKeyEvent event{{HotKeyEventKind::keyboardClass, HotKeyEventKind::hotKeyPressed}, id};
  auto handlers = handlers_;
  for (auto it = handlers.rbegin(); it != handlers.rend(); ++it) {
    if (std::find(it->types.begin(), it->types.end(), event.type) == it->types.end()) continue;
    OSStatus status = (*it->handler)(event);
    if (status != HotKeyStatus::eventNotHandledErr) return status;
  }
  return HotKeyStatus::eventNotHandledErr;
}

}  // namespace platform
