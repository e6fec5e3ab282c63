#pragma once

#include <functional>
#include <memory>

namespace platform {

class View;

// Recognises a click (press and release inside its view) with the required number of clicks
// and runs its action. The view holds it; it refers back to the view without owning it.
class ClickGestureRecognizer {
 public:
  using Action = std::function<void(ClickGestureRecognizer&)>;
  explicit ClickGestureRecognizer(Action action) : action_(std::move(action)) {}

  View* view() const { return view_; }
  int numberOfClicksRequired() const { return clicks_; }
  void setNumberOfClicksRequired(int clicks) { clicks_ = clicks; }
  bool isEnabled() const { return enabled_; }
  void setEnabled(bool enabled) { enabled_ = enabled; }

  // Runs the action; the window calls it when a click is recognised.
  void recognize() {
    if (enabled_ && action_) action_(*this);
  }

 private:
  friend class View;
  Action action_;
  View* view_ = nullptr;
  int clicks_ = 1;
  bool enabled_ = true;
};

}  // namespace platform
