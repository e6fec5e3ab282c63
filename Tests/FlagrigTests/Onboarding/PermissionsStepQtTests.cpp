// The first-run permissions step drawn by the Qt form renderer on a private X desktop, where
// both permissions count as granted.
#include <gtest/gtest.h>

#include "Flagrig/Onboarding/PermissionsStep.h"
#include "FormWindowQtTest.h"

namespace flagrig::testing {
namespace {

using platform::Color;
namespace forms = platform::forms;

const Color accent = Color::sRGB(0.851, 0.467, 0.024);
const Color coal = Color::sRGB(0.094, 0.094, 0.106);

class PermissionsStepQtTest : public FormWindowQtTest {};

TEST_F(PermissionsStepQtTest, BothRowsAreGrantedAndContinueCompletes) {
  int completions = 0;
  show(
      [&](forms::FormHost& h) {
        return PermissionsStep{h, accent, [&] { ++completions; }}
            .body()
            .colorScheme(forms::ColorScheme::dark)
            .accentColor(accent);
      },
      520, 640, coal);
  if (HasFatalFailure()) return;
  QImage image = shoot("permissions-granted");
  ASSERT_FALSE(image.isNull());

  for (const char* row : {"Accessibility", "Screen Recording"}) {
    SCOPED_TRACE(row);
    const auto* node = keyed(row);
    ASSERT_TRUE(node);
    EXPECT_NE(node->kind(), forms::NodeKind::button) << "a granted row is not clickable";
    const auto* state = keyed("state", node);
    ASSERT_TRUE(state);
    EXPECT_EQ(state->text(), "Granted");
    // The card's green-tinted border at its left edge, mid-height.
    QWidget* card = renderer->widgetFor(keyed("cardShape", node)->identity());
    ASSERT_TRUE(card);
    QColor edge = colourAt(image, card, QPoint(0, card->height() / 2));
    EXPECT_GT(edge.green(), edge.red() + 20) << edge.name().toStdString();
  }
  EXPECT_FALSE(keyed("helper")) << "no request for Accessibility";

  // "Continue" in the accent colour, clicked for real.
  QWidget* button = widgetOf("footerButton");
  ASSERT_TRUE(button);
  QColor fill = colourAt(image, button, QPoint(6, button->height() / 2));
  EXPECT_TRUE(platform::testing::near(fill, QColor::fromRgbF(0.851f, 0.467f, 0.024f), 14))
      << fill.name().toStdString();
  ASSERT_TRUE(click("footerButton"));
  EXPECT_TRUE(runUntil([&] { return completions == 1; }, 10));
  runFor(0.2);
  EXPECT_EQ(completions, 1);
  EXPECT_FALSE(screenshot("permissions-screen").isNull());
}

}  // namespace
}  // namespace flagrig::testing
