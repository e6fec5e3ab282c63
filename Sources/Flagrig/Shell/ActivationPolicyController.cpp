#include "Flagrig/Shell/ActivationPolicyController.h"

#include "Platform/Desktop/Application.h"
#include "Platform/Desktop/Window.h"
#include "Platform/Foundation/Environment.h"
#include "Platform/Foundation/RunLoop.h"

namespace flagrig {

using namespace platform;

ActivationPolicyController::~ActivationPolicyController() {
  if (demoteWorkItem_) demoteWorkItem_->cancel();
  if (!hasEnvironment()) return;
  for (auto& [window, observed] : closeObservers_)
    env().notificationCenter->removeObserver(observed.token);
}

void ActivationPolicyController::promoteForWindow() {
  if (demoteWorkItem_) {
    demoteWorkItem_->cancel();
    demoteWorkItem_.reset();
  }
  env().mainLoop->post([] {
    auto& app = Application::shared();
    if (app.activationPolicy() != ActivationPolicy::regular)
      app.setActivationPolicy(ActivationPolicy::regular);
    app.activate();
  });
}

void ActivationPolicyController::observeClose(const std::shared_ptr<Window>& window) {
  if (!window) return;
  const Window* key = window.get();
  if (auto it = closeObservers_.find(key); it != closeObservers_.end()) {
    if (!it->second.window.expired()) return;
    // A window that died unclosed left its entry; a new window may have its address.
    stopObserving(key);
  }
  std::weak_ptr<Window> weakWindow = window;
  std::weak_ptr<ActivationPolicyController> weakSelf = weak_from_this();
  auto token = env().notificationCenter->addObserver(
      std::string(Window::willCloseNotification), key, env().mainLoop,
      [weakWindow, weakSelf, key](const Notification&) {
        env().mainLoop->post([weakWindow, weakSelf, key] {
          auto self = weakSelf.lock();
          if (!self) return;
          // Dropping the entry also unregisters it, so a window that is shown and closed
          // again is watched by one observer at a time.
          auto it = self->closeObservers_.find(key);
          if (it != self->closeObservers_.end()) {
            auto watched = it->second.window.lock();
            auto closed = weakWindow.lock();
            if (watched == closed) self->stopObserving(key);
          }
          self->demoteWhenIdle(DemotionCheck::afterDelay);
        });
      });
  closeObservers_[key] = Observed{weakWindow, token};
}

void ActivationPolicyController::stopObserving(const Window* window) {
  auto it = closeObservers_.find(window);
  if (it == closeObservers_.end()) return;
  env().notificationCenter->removeObserver(it->second.token);
  closeObservers_.erase(it);
}

void ActivationPolicyController::demoteWhenIdle(DemotionCheck when) {
  if (demoteWorkItem_) demoteWorkItem_->cancel();
  std::weak_ptr<ActivationPolicyController> weakSelf = weak_from_this();
  demoteWorkItem_ =
      env().mainLoop->postAfter(when == DemotionCheck::nextTurn ? 0.0 : demotionDelay, [weakSelf] {
        if (auto self = weakSelf.lock()) self->demoteIfIdle();
      });
}

bool ActivationPolicyController::hasPendingDemotion() const {
  return demoteWorkItem_ && !demoteWorkItem_->isCancelled();
}

void ActivationPolicyController::demoteIfIdle() {
  demoteWorkItem_.reset();
  if (hasOrdinaryVisibleWindow()) return;
  Application::shared().setActivationPolicy(ActivationPolicy::accessory);
}

bool ActivationPolicyController::hasOrdinaryVisibleWindow() {
  for (const auto& window : Application::shared().windows()) {
    if (!window->isVisible() || window->isPanel()) continue;
    // The status item's windows sit at the status level; they are not the user's windows.
    if (window->level() == WindowLevel::status) continue;
    return true;
  }
  return false;
}

}  // namespace flagrig
