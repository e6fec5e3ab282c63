#pragma once

#include <memory>
#include <string>
#include <vector>

#include "Platform/Desktop/Control.h"

namespace platform {

enum class SegmentTracking { selectOne, selectAny, momentary };

// A row of labelled segments. A click on a segment selects it (in select-one tracking) and
// sends the action.
class SegmentedControl : public Control {
 public:
  // Room around a label within its segment, on each side.
  static constexpr double segmentPadding = 8;

  SegmentedControl();
  static std::shared_ptr<SegmentedControl> withLabels(std::vector<std::string> labels,
                                                      SegmentTracking tracking, Action action = {});

  std::size_t segmentCount() const { return labels_.size(); }
  const std::string& label(std::size_t segment) const { return labels_.at(segment); }
  SegmentTracking trackingMode() const { return tracking_; }
  void setTrackingMode(SegmentTracking tracking) { tracking_ = tracking; }
  // -1 when none is selected.
  long selectedSegment() const { return selected_; }
  void setSelectedSegment(long segment);
  // A segment's natural width: its label rounded up plus the padding on both sides.
  double widthForSegment(std::size_t segment) const;
  // The segment at a point in the control's coordinates, the natural widths scaled to the frame.
  long segmentAt(Point local) const;

  bool acceptsKeyboardFocus() const override { return true; }
  // Selects the next segment (after the last, the first) and sends the action.
  void performKeyboardAction() override;
  void mouseDown(const Event&) override {}
  void mouseUp(const Event& event) override;
  // The natural widths side by side; height 24, 20 or 16 for regular, small and mini.
  void sizeToFit() override;

 private:
  std::vector<std::string> labels_;
  SegmentTracking tracking_ = SegmentTracking::selectOne;
  long selected_ = -1;
};

}  // namespace platform
