#include "Platform/Sim/SimHotKeys.h"

#include <algorithm>

namespace platform::sim {

OSStatus SimHotKeys::registerEventHotKey(std::uint32_t keyCode, std::uint32_t modifiers,
                                         EventHotKeyID id, EventTarget target, std::uint32_t,
                                         EventHotKeyRef& outRef) {
  outRef = EventHotKeyRef{};
  if (target != applicationEventTarget()) return HotKeyStatus::paramErr;
  Combination combination{keyCode, modifiers};
  if (taken_.count(combination) || ours_.count(combination))
    return HotKeyStatus::eventHotKeyExistsErr;
  outRef = EventHotKeyRef{nextRef_++};
  ours_[combination] = Registration{keyCode, modifiers, id, outRef};
  return HotKeyStatus::noErr;
}

OSStatus SimHotKeys::unregisterEventHotKey(EventHotKeyRef ref) {
  for (auto it = ours_.begin(); it != ours_.end(); ++it) {
    if (it->second.ref == ref) {
      ours_.erase(it);
      return HotKeyStatus::noErr;
    }
  }
  return HotKeyStatus::eventHotKeyInvalidErr;
}

void SimHotKeys::takeCombination(std::uint32_t keyCode, std::uint32_t modifiers,
                                 std::string owner) {
  taken_[{keyCode, modifiers}] = std::move(owner);
}

void SimHotKeys::releaseCombination(std::uint32_t keyCode, std::uint32_t modifiers) {
  taken_.erase({keyCode, modifiers});
}

std::vector<SimHotKeys::Registration> SimHotKeys::registrations() const {
  std::vector<Registration> result;
  for (const auto& [combination, registration] : ours_) result.push_back(registration);
  std::sort(result.begin(), result.end(),
            [](const auto& a, const auto& b) { return a.ref.id < b.ref.id; });
  return result;
}

bool SimHotKeys::isRegistered(std::uint32_t keyCode, std::uint32_t modifiers) const {
  return ours_.count({keyCode, modifiers}) > 0;
}

std::uint32_t SimHotKeys::modifiersFromEventFlags(std::uint64_t flags) {
  std::uint32_t bits = 0;
  if (flags & ModifierFlag::command) bits |= HotKeyModifier::command;
  if (flags & ModifierFlag::shift) bits |= HotKeyModifier::shift;
  if (flags & ModifierFlag::option) bits |= HotKeyModifier::option;
  if (flags & ModifierFlag::control) bits |= HotKeyModifier::control;
  return bits;
}

bool SimHotKeys::handleKey(const Event& event) {
  Combination combination{event.keyCode, modifiersFromEventFlags(event.modifierFlags)};
  if (auto it = taken_.find(combination); it != taken_.end()) {
    if (event.type == EventType::keyDown) othersPressed_.push_back(it->second);
    return true;
  }
  auto it = ours_.find(combination);
  if (it == ours_.end()) return false;
  if (event.type == EventType::keyDown) hotKeyPressed(it->second.id);
  return true;
}

}  // namespace platform::sim
