#pragma once

#include "Platform/Desktop/Window.h"

namespace flagrig {

// The borderless, dim window a pick lays over each screen; it takes key status so that the
// pick owns the keyboard while this application has it.
class OverlayWindow : public platform::Window {
 public:
  using Window::Window;
  bool canBecomeKey() const override { return true; }
};

}  // namespace flagrig
