#pragma once

#include "Platform/Desktop/Window.h"

namespace platform {

// A window that serves another: tag panels, the colour panel, pickers' pills. Unlike a plain
// window it hides while the application is inactive (unless told not to), never becomes the
// main window, and closes on Esc. With the non-activating style it takes key status without
// activating the application.
class Panel : public Window {
 public:
  Panel(Rect contentRect, std::uint64_t styleMask);

  bool isPanel() const override { return true; }
  bool canBecomeMain() const override { return false; }
  void cancelOperation() override { close(); }
  bool worksWhenModal() const override { return worksWhenModal_; }
  void setWorksWhenModal(bool works) { worksWhenModal_ = works; }

  bool isFloatingPanel() const { return level() == WindowLevel::floating; }
  void setFloatingPanel(bool floating) {
    setLevel(floating ? WindowLevel::floating : WindowLevel::normal);
  }
  bool becomesKeyOnlyIfNeeded() const { return becomesKeyOnlyIfNeeded_; }
  void setBecomesKeyOnlyIfNeeded(bool onlyIfNeeded) { becomesKeyOnlyIfNeeded_ = onlyIfNeeded; }

 private:
  bool worksWhenModal_ = false;
  bool becomesKeyOnlyIfNeeded_ = false;
};

}  // namespace platform
