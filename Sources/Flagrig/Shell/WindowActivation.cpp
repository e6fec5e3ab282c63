#include "Flagrig/Shell/WindowActivation.h"

#include <map>

#include "Flagrig/Shell/ActivationPolicyController.h"
#include "Platform/Desktop/Application.h"
#include "Platform/Desktop/Window.h"
#include "Platform/Foundation/Environment.h"
#include "Platform/Foundation/NotificationCenter.h"
#include "Platform/Foundation/RunLoop.h"
#include "Platform/Foundation/SharedInstance.h"

namespace flagrig {

using namespace platform;

namespace {

// The close observers of the windows brought forward, one per window for its lifetime. Our
// windows cannot carry associated objects, so they are kept here by identity, together with a
// weak reference that tells a live window from a dead one whose address was reused.
struct Observers {
  struct Entry {
    std::weak_ptr<Window> window;
    NotificationCenter::Token token;
  };
  std::map<const Window*, Entry> entries;

  ~Observers() {
    if (!hasEnvironment()) return;
    for (auto& [window, entry] : entries) env().notificationCenter->removeObserver(entry.token);
  }

  void dropDeadWindows() {
    for (auto it = entries.begin(); it != entries.end();) {
      if (it->second.window.expired()) {
        env().notificationCenter->removeObserver(it->second.token);
        it = entries.erase(it);
      } else {
        ++it;
      }
    }
  }
};

Observers& observers() {
  static SharedInstance<Observers> instance;
  return instance.get();
}

}  // namespace

void WindowActivation::bringToFront(const std::shared_ptr<Window>& window) {
  if (!window) return;
  auto& app = Application::shared();
  app.setActivationPolicy(ActivationPolicy::regular);
  app.activate();
  window->makeKeyAndOrderFront();

  auto& state = observers();
  state.dropDeadWindows();
  if (state.entries.count(window.get())) return;
  auto token = env().notificationCenter->addObserver(
      std::string(Window::willCloseNotification), window.get(), env().mainLoop,
      [](const Notification&) {
        // After the window has gone off screen.
        env().mainLoop->post([] { WindowActivation::restoreAccessoryIfIdle(); });
      });
  state.entries[window.get()] = Observers::Entry{window, token};
}

void WindowActivation::restoreAccessoryIfIdle() {
  if (ActivationPolicyController::hasOrdinaryVisibleWindow()) return;
  Application::shared().setActivationPolicy(ActivationPolicy::accessory);
}

bool WindowActivation::isObserved(const Window& window) {
  auto& entries = observers().entries;
  auto it = entries.find(&window);
  return it != entries.end() && !it->second.window.expired();
}

}  // namespace flagrig
