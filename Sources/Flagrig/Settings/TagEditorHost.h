#pragma once

#include <memory>
#include <string_view>

#include "Platform/Forms/Binding.h"
#include "Platform/Forms/FormNode.h"

namespace platform::forms {
class FormHost;
}

namespace flagrig {

class TagEditorView;

// Places the tag appearance editor in the settings form and lets its row follow the editor's
// content height, so the editor neither scrolls inside its row nor leaves a gap. It only creates
// the editor and carries its height; the editor reads and writes the settings itself.
class TagEditorHost {
 public:
  using HeightBinding = platform::forms::Binding<double>;
  static constexpr double initialHeight = 280;
  // Differences up to this are layout rounding, not a new height.
  static constexpr double tolerance = 0.5;
  // The form's cells: the row height and the host of the editor.
  static constexpr std::string_view heightCell = "tagsEditorHeight";
  static constexpr std::string_view hostCell = "tagEditorHost";
  // What assistive technology calls the editor; its controls are read inside it.
  static constexpr std::string_view accessibilityLabel = "Tag appearance";
  // The editor keeps this much room of its own inside either edge.
  static constexpr double editorEdge = 4;

  // Creates a fresh editor wired to `height`; its first report arrives on the main loop.
  static std::shared_ptr<TagEditorHost> make(HeightBinding height);

  // The settings form's row: the editor kept in the form's cell `hostCell` (made on first
  // use), framed at the height in the cell `heightCell`, width left free, inset so that its
  // controls line up with the section's other rows.
  static platform::forms::Node row(platform::forms::FormHost& form);
  // Drops the form's editor, so the next `row` builds a fresh one (the section went away).
  static void forget(platform::forms::FormHost& form);
  // Ends the form's editor's hotkey recording, if it has one running (its window closed).
  static void cancelRecording(platform::forms::FormHost& form);

  // Applies one reported height to the binding: a height that is not finite or not above zero
  // is ignored, as is one within `tolerance` of the bound value.
  static void follow(const HeightBinding& height, double reported);

  const std::shared_ptr<TagEditorView>& editor() const { return editor_; }
  // A native-view node of the editor framed at the bound height.
  platform::forms::Node node() const;

  TagEditorHost(std::shared_ptr<TagEditorView> editor, HeightBinding height);

 private:
  std::shared_ptr<TagEditorView> editor_;
  HeightBinding height_;
};

}  // namespace flagrig
