#include "Platform/Desktop/AppleEventManager.h"

#include "Platform/Desktop/Desktop.h"
#include "Platform/Foundation/Environment.h"

namespace platform {

AppleEventManager& AppleEventManager::shared() {
  return env().desktop->appleEventManager();
}

void AppleEventManager::setEventHandler(std::uint32_t eventClass, std::uint32_t eventID,
                                        Handler handler) {
  handlers_[{eventClass, eventID}] = std::move(handler);
}

void AppleEventManager::removeEventHandler(std::uint32_t eventClass, std::uint32_t eventID) {
  handlers_.erase({eventClass, eventID});
}

void AppleEventManager::dispatch(const AppleEventDescriptor& event) {
  if (!ready_) {
    waiting_.push_back(event);
    return;
  }
  auto it = handlers_.find({event.eventClass(), event.eventID()});
  if (it == handlers_.end()) return;
  auto handler = it->second;
  AppleEventDescriptor reply;
  handler(event, reply);
}

void AppleEventManager::beginDispatching() {
  if (ready_) return;
  ready_ = true;
  auto waiting = std::move(waiting_);
  waiting_.clear();
  for (const auto& event : waiting) dispatch(event);
}

}  // namespace platform
