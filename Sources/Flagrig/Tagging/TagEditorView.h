#pragma once

#include <functional>
#include <memory>

#include "Platform/Desktop/View.h"
#include "Platform/Foundation/NotificationCenter.h"

namespace platform {
class Button;
class Control;
class EventMonitor;
struct Event;
}  // namespace platform

namespace flagrig {

// The settings editor of the tag appearance and the hotkey: palette rows with colour wells and
// a live preview, add, delete and reset; font, shape and big tags; the hotkey recorder. It
// keeps no copy of the settings: every change goes to the tag manager at once, and every
// layout reads the manager again. It lays itself out in code (flipped, y downwards) and tells
// its host the height of its content. Create it with `make`.
class TagEditorView : public platform::View {
 public:
  static constexpr double minimumWidth = 380;
  static constexpr double minimumHeight = 280;
  static constexpr double rowHeight = 40;

  static std::shared_ptr<TagEditorView> make(platform::Rect frame = {0, 0, minimumWidth,
                                                                     minimumHeight});
  explicit TagEditorView(platform::Rect frame);
  ~TagEditorView() override;

  bool isFlipped() const override { return true; }
  // Only while recording: the keys then go to the recorder, not to the form around it.
  bool acceptsFirstResponder() const override { return isRecordingHotkey(); }

  double contentHeight() const { return contentHeight_; }
  // Set by the host; called on the main loop with the content height.
  std::function<void(double)> onContentHeightChange;
  // Queues one call of `onContentHeightChange` with the content height.
  void publishContentHeight();
  // Lays the editor out again from the tag manager's state.
  void rebuild();

  const std::shared_ptr<platform::Button>& hotkeyButton() const { return hotkeyButton_; }
  bool isRecordingHotkey() const { return static_cast<bool>(hotkeyMonitor_); }

  // Control actions.
  void deleteColor(platform::Control& sender);
  void bgColorChanged(platform::Control& sender);
  void fgColorChanged(platform::Control& sender);
  void addColor();
  void resetDefaults();
  void fontChanged(platform::Control& sender);
  void shapeChanged(platform::Control& sender);
  void toggleBigTags(platform::Control& sender);
  void recordHotkey();
  // Ends a recording without a new hotkey (its window went away: the next key press belongs
  // to whatever the user types next, never to a recorder nobody sees).
  void cancelRecording();
  void clearHotkey();
  // Draws the eye to the hotkey button (after the hotkey conflict alert sent the user here).
  void handleFocusHotkey();

 private:
  // The first key-down while recording: a combination with a modifier becomes the hotkey.
  void finishRecording(const platform::Event& event);
  void stopRecording();
  // Wraps a member action so that it does nothing once the editor is gone.
  std::function<void(platform::Control&)> action(void (TagEditorView::*member)(platform::Control&));
  std::function<void(platform::Control&)> action(void (TagEditorView::*member)());
  std::weak_ptr<TagEditorView> weakSelf();

  std::shared_ptr<platform::EventMonitor> hotkeyMonitor_;
  double contentHeight_ = minimumHeight;
  std::shared_ptr<platform::Button> hotkeyButton_;
  platform::NotificationCenter::Token focusObserver_{};
  bool observing_ = false;
};

}  // namespace flagrig
