#include "Platform/Desktop/SegmentedControl.h"

#include <cmath>

namespace platform {

SegmentedControl::SegmentedControl() = default;

std::shared_ptr<SegmentedControl> SegmentedControl::withLabels(std::vector<std::string> labels,
                                                               SegmentTracking tracking,
                                                               Action action) {
  auto control = std::make_shared<SegmentedControl>();
  control->labels_ = std::move(labels);
  control->tracking_ = tracking;
  control->setAction(std::move(action));
  control->sizeToFit();
  return control;
}

void SegmentedControl::setSelectedSegment(long segment) {
  selected_ = segment >= 0 && segment < static_cast<long>(labels_.size()) ? segment : -1;
  changed(ViewChange::content);
}

double SegmentedControl::widthForSegment(std::size_t segment) const {
  return std::ceil(effectiveFont().widthOf(labels_.at(segment)) - 1e-9) + 2 * segmentPadding;
}

long SegmentedControl::segmentAt(Point local) const {
  if (!bounds().contains(local) || labels_.empty()) return -1;
  double natural = 0;
  for (std::size_t i = 0; i < labels_.size(); ++i) natural += widthForSegment(i);
  double scale = natural > 0 ? frame().width() / natural : 1;
  double x = 0;
  for (std::size_t i = 0; i < labels_.size(); ++i) {
    x += widthForSegment(i) * scale;
    if (local.x < x) return static_cast<long>(i);
  }
  return static_cast<long>(labels_.size()) - 1;
}

void SegmentedControl::performKeyboardAction() {
  if (!isEnabled() || labels_.empty()) return;
  if (tracking_ == SegmentTracking::selectOne)
    setSelectedSegment((selected_ + 1) % static_cast<long>(labels_.size()));
  sendAction();
}

void SegmentedControl::mouseUp(const Event& event) {
  if (!isEnabled()) return;
  long segment = segmentAt(convertFromWindow(event.locationInWindow));
  if (segment < 0) return;
  if (tracking_ == SegmentTracking::selectOne) setSelectedSegment(segment);
  sendAction();
}

void SegmentedControl::sizeToFit() {
  double width = 0;
  for (std::size_t i = 0; i < labels_.size(); ++i) width += widthForSegment(i);
  double height = controlSize() == ControlSize::small  ? 20
                  : controlSize() == ControlSize::mini ? 16
                                                       : 24;
  setFrameSize({width, height});
}

}  // namespace platform
