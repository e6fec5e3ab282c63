#include "Flagrig/Settings/TagEditorHost.h"

#include <cmath>
#include <string>

#include "Flagrig/Tagging/TagEditorView.h"
#include "Platform/Forms/FormHost.h"
#include "Platform/Forms/FormMetrics.h"

namespace flagrig {

using namespace platform;
using namespace platform::forms;

TagEditorHost::TagEditorHost(std::shared_ptr<TagEditorView> editor, HeightBinding height)
    : editor_(std::move(editor)), height_(std::move(height)) {}

std::shared_ptr<TagEditorHost> TagEditorHost::make(HeightBinding height) {
  auto editor = TagEditorView::make();
  // Replaces any earlier callback; it holds the binding, never the host.
  editor->onContentHeightChange = [height](double h) { follow(height, h); };
  editor->publishContentHeight();
  return std::make_shared<TagEditorHost>(std::move(editor), std::move(height));
}

void TagEditorHost::follow(const HeightBinding& height, double reported) {
  // A broken layout must neither collapse the row nor make it endless.
  if (!std::isfinite(reported) || reported <= 0) return;
  if (std::abs(height.get() - reported) > tolerance) height.set(reported);
}

Node TagEditorHost::node() const {
  Frame frame;
  frame.height = height_.get();
  frame.maxWidth = infinity;
  frame.alignment = HorizontalAlignment::center;
  return NativeView(editor_)
      .frame(frame)
      .rowInsets(EdgeInsets{0, FormMetrics::sectionInset - editorEdge, 0,
                            FormMetrics::sectionInset - editorEdge})
      .accessibilityLabel(std::string(accessibilityLabel));
}

Node TagEditorHost::row(FormHost& form) {
  auto host = form.cell<std::shared_ptr<TagEditorHost>>(std::string(hostCell));
  if (!*host) {
    // A cell handle, not the form: the form owns the cell that owns this binding.
    auto height = form.cell<double>(std::string(heightCell), initialHeight);
    host.set(make(height.binding()));
  }
  return (*host)->node();
}

void TagEditorHost::forget(FormHost& form) {
  form.cell<std::shared_ptr<TagEditorHost>>(std::string(hostCell)).set(nullptr);
}

void TagEditorHost::cancelRecording(FormHost& form) {
  auto host = form.cell<std::shared_ptr<TagEditorHost>>(std::string(hostCell));
  if (*host) (*host)->editor()->cancelRecording();
}

}  // namespace flagrig
