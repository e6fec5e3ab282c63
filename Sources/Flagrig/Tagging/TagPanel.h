#pragma once

#include <functional>
#include <memory>

#include "Flagrig/Tagging/TagFont.h"
#include "Flagrig/Tagging/TagShape.h"
#include "Platform/Desktop/Color.h"
#include "Platform/Desktop/Panel.h"

namespace platform {
class TextField;
class Button;
}  // namespace platform

namespace flagrig {

// The small floating, non-activating panel that shows one tag: a coloured body with a colour
// dot at the left (a click cycles the colour), an editable label and a close button at the
// right. The tag manager sizes and places it above the tagged window; the panel itself never
// raises that window. Create it with std::make_shared.
class TagPanel : public platform::Panel {
 public:
  // The layout of one size, in panel coordinates (origin bottom left).
  struct Layout {
    double height;
    platform::Point dotOrigin;
    double dotSide;
    double labelX, labelY, labelHeight;
    double closeSide;
    // Room the label leaves to the panel's right edge.
    static constexpr double labelRightInset = 24;
    static constexpr double closeRightInset = 6;
  };
  static constexpr Layout normalLayout{26, {8, 7}, 12, 26, 2, 18, 16};
  static constexpr Layout bigLayout{42, {8, 13}, 16, 32, 4, 28, 20};
  static const Layout& layout(bool big) { return big ? bigLayout : normalLayout; }
  static constexpr double initialWidth = 100;

  // `shape` and `font` are the tag manager's current appearance settings.
  TagPanel(platform::Color color, platform::Color textColor, bool big, TagShape shape,
           TagFont font);

  const std::shared_ptr<platform::TextField>& textField() const { return textField_; }

  std::function<void()> onClose;
  std::function<void()> onColorCycle;

  const platform::Color& tagColor() const { return tagColor_; }
  // Repaints the body.
  void setTagColor(platform::Color color);
  const platform::Color& tagTextColor() const { return tagTextColor_; }
  // Repaints the label, its placeholder, the dot and the close button.
  void setTagTextColor(platform::Color color);
  bool big() const { return big_; }

  // Re-lays the panel for a big-tags change, keeping its origin and width.
  void applySize(bool big, TagFont font, TagShape shape);

  // The close button's and the colour dot's actions.
  void closeTapped();
  void cycleColor();

  bool canBecomeKey() const override { return true; }
  bool canBecomeMain() const override { return false; }
  // Esc ends label editing and leaves the panel key.
  void cancelOperation() override;

 private:
  void buildContent(TagShape shape, TagFont font);
  // Frames, corner radii and the label font for the current size.
  void layOut(TagShape shape, TagFont font);

  std::shared_ptr<platform::TextField> textField_;
  platform::Color tagColor_;
  platform::Color tagTextColor_;
  bool big_;
};

}  // namespace flagrig
