#pragma once

namespace platform::forms {

// The sizes of the built-in controls and groups, shared by the layout and every renderer, so
// that what the headless layout computes is what the screen shows.
struct FormMetrics {
  static constexpr double stackSpacing = 8;
  static constexpr double formSectionSpacing = 20;
  static constexpr double sectionRowSpacing = 10;
  // Between a section's group edge and its rows.
  static constexpr double sectionInset = 12;
  // Above a section's header and footer texts, and the gap to the group.
  static constexpr double sectionCaptionGap = 6;
  static constexpr double sectionCornerRadius = 8;
  static constexpr double captionFontSize = 11;

  static constexpr double switchWidth = 32;
  static constexpr double switchHeight = 18;
  static constexpr double switchKnob = 16;
  // Between a labelled control's title and its control.
  static constexpr double labelGap = 8;

  // Around a grouped form's sections.
  static constexpr double formInset = 20;

  // A picker's box: its title plus this, the arrow in the trailing part of it.
  static constexpr double pickerChrome = 30;
  static constexpr double pickerTextInset = 8;
  static constexpr double pickerArrowWidth = 18;
  static constexpr double pickerExtraHeight = 6;
  static constexpr double pickerCornerRadius = 5;

  // Room a bordered button adds around its label.
  static constexpr double buttonChromeVertical = 3;
  static constexpr double buttonChromeHorizontal = 10;
  // The same for a large button.
  static constexpr double largeButtonChromeVertical = 7;
  static constexpr double largeButtonChromeHorizontal = 14;
  static constexpr double buttonCornerRadius = 6;

  static constexpr double spinnerRegular = 16;
  static constexpr double spinnerSmall = 12;
  static constexpr double progressBarHeight = 6;
  static constexpr double progressBarIdealWidth = 100;

  static constexpr double dividerThickness = 1;
  static constexpr double shapeIdeal = 10;

  static constexpr double focusRingWidth = 2;
};

}  // namespace platform::forms
