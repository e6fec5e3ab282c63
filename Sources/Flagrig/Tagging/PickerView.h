#pragma once

#include <functional>

#include "Platform/Desktop/View.h"

namespace flagrig {

// Fills a pick overlay: shows the crosshair everywhere and turns a press into `onClick`,
// which it does not pass on.
class PickerView : public platform::View {
 public:
  explicit PickerView(std::function<void()> onClick) : onClick(std::move(onClick)) {}

  std::function<void()> onClick;

  void resetCursorRects() override { addCursorRect(bounds(), platform::Cursor::crosshair); }
  void mouseDown(const platform::Event&) override {
    if (onClick) onClick();
  }
};

}  // namespace flagrig
