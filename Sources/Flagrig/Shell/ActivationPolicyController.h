#pragma once

#include <map>
#include <memory>

#include "Platform/Foundation/NotificationCenter.h"

namespace platform {
class Window;
class WorkItem;
}  // namespace platform

namespace flagrig {

// Gives the app a Dock icon (the regular policy) while one of its own windows is open, and
// takes it away again 0.2 s after the last one closed. The delay keeps the icon from
// flickering when one window closes and another opens right after; a newer promotion or
// demotion request cancels the pending one. Owned by the application delegate; main thread
// only.
class ActivationPolicyController : public std::enable_shared_from_this<ActivationPolicyController> {
 public:
  static constexpr double demotionDelay = 0.2;

  ActivationPolicyController() = default;
  ~ActivationPolicyController();
  ActivationPolicyController(const ActivationPolicyController&) = delete;
  ActivationPolicyController& operator=(const ActivationPolicyController&) = delete;

  // Regular policy and activation, on the next main-queue turn.
  void promoteForWindow();
  // Demotes once `window` has closed. A window is watched once until it closes.
  void observeClose(const std::shared_ptr<platform::Window>& window);
  // When `demoteWhenIdle` checks: after 0.2 s, or on the next turn of the main loop.
  enum class DemotionCheck { afterDelay, nextTurn };
  // Schedules the demotion check.
  void demoteWhenIdle(DemotionCheck when);

  bool hasPendingDemotion() const;
  std::size_t observedWindowCount() const { return closeObservers_.size(); }

  // Whether the app shows one of its ordinary windows: visible, not a panel and not one of the
  // status item's own windows. Shared with `WindowActivation`.
  static bool hasOrdinaryVisibleWindow();

 private:
  struct Observed {
    std::weak_ptr<platform::Window> window;
    platform::NotificationCenter::Token token;
  };
  void stopObserving(const platform::Window* window);
  void demoteIfIdle();

  std::shared_ptr<platform::WorkItem> demoteWorkItem_;
  std::map<const platform::Window*, Observed> closeObservers_;
};

}  // namespace flagrig
