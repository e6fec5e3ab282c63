#include "Flagrig/Settings/TagEditorHost.h"

#include <cmath>

#include "Flagrig/Tagging/TagEditorView.h"
#include "Platform/Forms/FormHost.h"

namespace flagrig {

using namespace platform;
using namespace platform::forms;

TagEditorHost::TagEditorHost(std::shared_ptr<TagEditorView> editor, HeightBinding height)
    : editor_(std::move(editor)), height_(std::move(height)) {}

std::shared_ptr<TagEditorHost> TagEditorHost::make(HeightBinding height) {
  auto editor = TagEditorView::make();
  // The callback replaces any earlier one; it holds the binding, never the host.
  editor->onContentHeightChange = [height](double h) { follow(height, h); };
  editor->publishContentHeight();
  return std::shared_ptr<TagEditorHost>(new TagEditorHost(std::move(editor), std::move(height)));
}

void TagEditorHost::follow(const HeightBinding& height, double reported) {
  // A broken layout must not collapse the row or make it endless.
  if (!std::isfinite(reported) || reported <= 0) return;
  if (std::abs(height.get() - reported) > tolerance) height.set(reported);
}

Node TagEditorHost::node() const {
  Frame frame;
  frame.height = height_.get();
  frame.maxWidth = infinity;
  frame.alignment = HorizontalAlignment::center;
  return NativeView(editor_).frame(frame).padding(EdgeInsets{});
}

Node TagEditorHost::row(FormHost& form) {
  const std::string cell(hostCell);
  auto hostCellHandle = form.cell<std::shared_ptr<TagEditorHost>>(cell, nullptr);
  auto host = hostCellHandle.get();
  if (!host) {
    // Held weakly: the form owns the cell that owns this binding.
    std::weak_ptr<FormHost> weak = form.shared_from_this();
    HeightBinding binding{[weak] {
                            auto f = weak.lock();
                            return f ? f->cell<double>(std::string(heightCell), initialHeight).get()
                                     : initialHeight;
                          },
                          [weak](double h) {
                            if (auto f = weak.lock())
                              f->cell<double>(std::string(heightCell), initialHeight).set(h);
                          }};
    host = make(std::move(binding));
    hostCellHandle.set(host);
  }
  return host->node();
}

void TagEditorHost::forget(FormHost& form) {
  form.cell<std::shared_ptr<TagEditorHost>>(std::string(hostCell), nullptr).set(nullptr);
}

}  // namespace flagrig
