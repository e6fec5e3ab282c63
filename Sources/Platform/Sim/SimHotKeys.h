#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "Platform/Desktop/Event.h"
#include "Platform/HotKeys/HotKeyCenter.h"

namespace platform::sim {

// The simulated hot-key registry. A test can mark combinations as taken by another application
// or the system; registering one of those fails as it would on a real desktop, and pressing it
// reaches its owner instead of this application.
class SimHotKeys final : public HotKeyCenter {
 public:
  struct Registration {
    std::uint32_t keyCode;
    std::uint32_t modifiers;
    EventHotKeyID id;
    EventHotKeyRef ref;
    bool operator==(const Registration&) const = default;
  };

  OSStatus registerEventHotKey(std::uint32_t keyCode, std::uint32_t modifiers, EventHotKeyID id,
                               EventTarget target, std::uint32_t options,
                               EventHotKeyRef& outRef) override;
  OSStatus unregisterEventHotKey(EventHotKeyRef ref) override;

  // Marks a combination (hot-key modifier bits) as another owner's, or frees it again.
  void takeCombination(std::uint32_t keyCode, std::uint32_t modifiers,
                       std::string owner = "System");
  void releaseCombination(std::uint32_t keyCode, std::uint32_t modifiers);
  // This application's registrations, in the order they were made.
  std::vector<Registration> registrations() const;
  bool isRegistered(std::uint32_t keyCode, std::uint32_t modifiers) const;

  // The key-event modifier flags as hot-key modifier bits.
  static std::uint32_t modifiersFromEventFlags(std::uint64_t flags);
  // A key the simulated keyboard sends: true when a hot key took it (ours runs the handlers on
  // the calling, main thread; another owner's is swallowed and recorded).
  bool handleKey(const Event& event);
  // Presses of combinations that other owners hold, by owner.
  const std::vector<std::string>& pressesForOthers() const { return othersPressed_; }

 private:
  using Combination = std::pair<std::uint32_t, std::uint32_t>;
  std::map<Combination, Registration> ours_;
  std::map<Combination, std::string> taken_;
  std::vector<std::string> othersPressed_;
  std::uint64_t nextRef_ = 1;
};

}  // namespace platform::sim
