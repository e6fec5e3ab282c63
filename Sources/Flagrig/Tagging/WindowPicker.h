#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "Flagrig/Tagging/WindowInfo.h"
#include "Platform/Desktop/Geometry.h"

namespace platform {
class Window;
class EventMonitor;
}  // namespace platform

namespace flagrig {

// Lets the user choose another application's window with one click: a dim, click-catching
// overlay on every screen, an instruction pill on the main screen and Esc monitors. The click
// is hit-tested against the on-screen window list front to back, skipping windows that cannot
// be tagged. The chosen window goes to the completion; a pick that ends without one posts
// `flagrigWindowPickCancelled` instead. Main thread only.
class WindowPicker : public std::enable_shared_from_this<WindowPicker> {
 public:
  using Completion = std::function<void(const WindowInfo&)>;

  static constexpr const char* instructionText =
      "  Click a window to tag it  \u00b7  Esc to cancel  ";
  static constexpr double minimumWindowSide = 50;

  static WindowPicker& shared();

  // Starts a pick. A pick already open is merged into this one: its overlays stay, so one click
  // or Esc ends both, and this completion replaces the earlier one.
  void beginPick(Completion completion);
  // Removes the overlays, the pill and the key monitors.
  void dismiss();
  // The union of all screen frames (screen coordinates); nothing without screens.
  static std::optional<platform::Rect> desktopBounds();

  void showInstruction();
  void installEscapeHandlers();
  void handleClick();

  // The state of the current pick.
  const std::vector<std::shared_ptr<platform::Window>>& overlays() const { return overlays_; }
  bool hasCompletion() const { return static_cast<bool>(completion_); }
  // Whether a pick is open: overlays that wait for a click, and a completion for it.
  bool isPicking() const { return !overlays_.empty() && completion_; }
  const std::shared_ptr<platform::Window>& instructionPanel() const { return instructionPanel_; }
  bool hasKeyMonitors() const { return localMonitor_ || globalMonitor_; }

 private:
  void removeInstructionAndMonitors();
  // Ends the pick without a window: no completion runs, one cancellation is posted.
  void cancel();

  std::vector<std::shared_ptr<platform::Window>> overlays_;
  Completion completion_;
  std::shared_ptr<platform::Window> instructionPanel_;
  std::shared_ptr<platform::EventMonitor> localMonitor_;
  std::shared_ptr<platform::EventMonitor> globalMonitor_;
};

}  // namespace flagrig
