#pragma once

#include <memory>

namespace platform {
class Window;
}

namespace flagrig {

// Brings one of the app's own windows to the front from the menu-bar app: the regular policy
// (a Dock icon, so the window joins the window cycle), activation, key and front; and back to
// the accessory policy on the main-queue turn after the window closes, unless another ordinary
// window is still open. Main thread only.
struct WindowActivation {
  static void bringToFront(const std::shared_ptr<platform::Window>& window);
  // The accessory policy unless an ordinary window is visible.
  static void restoreAccessoryIfIdle();
  // Whether the window carries its close observer.
  static bool isObserved(const platform::Window& window);
};

}  // namespace flagrig
