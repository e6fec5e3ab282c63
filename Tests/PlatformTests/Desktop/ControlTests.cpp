#include <gtest/gtest.h>

#include <cmath>

#include "Platform/Desktop/Button.h"
#include "Platform/Desktop/TextField.h"
#include "Support/SimTest.h"

namespace platform {
namespace {

using ControlTest = testing::SimTest;

TEST_F(ControlTest, LabelsAndButtonsSizeThemselvesFromTheirText) {
  auto label = TextField::labelWithString("  Click  ·  ");  // 12 code points
  label->setFont(Font::systemFont(14, FontWeight::medium));
  label->setFrameOrigin({16, 9});
  label->sizeToFit();
  EXPECT_EQ(label->frame(), Rect(16, 9, 84 + 4, 17));

  auto field = std::make_shared<TextField>();
  field->setPlaceholderAttributedString(
      AttributedString{"#RRGGBB", Font::monospacedSystemFont(12)});
  field->sizeToFit();
  EXPECT_EQ(field->frame().size, (Size{std::ceil(7 * 7.2) + 4, 16 + 6}));

  auto reset = Button::withTitle("Reset to Defaults");  // 17 code points
  reset->setControlSize(ControlSize::small);
  reset->sizeToFit();
  EXPECT_EQ(reset->frame().size, (Size{std::ceil(17 * 5.5) + 24, 18}));

  auto big = Button::checkbox("Big tags");
  big->setControlSize(ControlSize::small);
  big->sizeToFit();
  EXPECT_EQ(big->frame().size, (Size{18 + 4 + 44, 14}));

  auto remove = Button::withImage(Image::systemSymbol("minus.circle.fill", "Remove"));
  remove->setBordered(false);
  remove->sizeToFit();
  EXPECT_EQ(remove->frame().size, (Size{16 + 4, 21}));
}

TEST_F(ControlTest, CheckboxesFlipTheirStateBeforeTheActionRuns) {
  std::vector<ControlState> seen;
  auto box = Button::checkbox(
      "Big tags", [&](Control& sender) { seen.push_back(static_cast<Button&>(sender).state()); });
  box->performClick();
  box->performClick();
  box->setEnabled(false);
  box->performClick();
  EXPECT_EQ(seen, (std::vector<ControlState>{ControlState::on, ControlState::off}));
}

TEST_F(ControlTest, AttributedValuesCarryTheFieldsFontAndColour) {
  auto field = std::make_shared<TextField>();
  field->setFont(Font::monospacedSystemFont(11, FontWeight::semibold));
  field->setTextColor(Color::white());
  field->setStringValue("abc");
  auto value = field->attributedStringValue();
  EXPECT_EQ(value.string, "abc");
  EXPECT_EQ(value.foregroundColor, Color::white());
  EXPECT_DOUBLE_EQ(value.size().width, 3 * 6.6);
  EXPECT_EQ(AttributedString{"ab"}.size(), (Size{12, 15}));
}

}  // namespace
}  // namespace platform
