#include "Platform/Desktop/Color.h"

#include <gtest/gtest.h>

namespace platform {
namespace {

TEST(ColorTests, ConvertsToSRGBOrSaysItCannot) {
  auto gray = Color::gray(0.25, 0.5).toSRGB();
  ASSERT_TRUE(gray);
  EXPECT_EQ(*gray, Color::sRGB(0.25, 0.25, 0.25, 0.5));

  auto red = Color::systemRed().withAlphaComponent(0.7).toSRGB();
  ASSERT_TRUE(red);
  EXPECT_EQ(red->space(), ColorSpace::sRGB);
  EXPECT_EQ(red->alphaComponent(), 0.7);

  // Display P3 red lies outside sRGB: extended components, not clamped.
  auto p3 = Color::displayP3(1, 0, 0).toSRGB();
  ASSERT_TRUE(p3);
  EXPECT_NEAR(p3->redComponent(), 1.0931, 1e-3);
  EXPECT_NEAR(p3->greenComponent(), -0.2267, 1e-3);
  EXPECT_NEAR(p3->blueComponent(), -0.1501, 1e-3);
  auto p3Gray = Color::displayP3(0.5, 0.5, 0.5).toSRGB();
  EXPECT_NEAR(p3Gray->redComponent(), 0.5, 1e-6);
  EXPECT_NEAR(p3Gray->blueComponent(), 0.5, 1e-6);

  EXPECT_FALSE(Color::pattern("stripes").toSRGB());
  EXPECT_EQ(Color::pattern("stripes").redComponent(), 0);
}

TEST(ColorTests, EqualityTellsSpacesAndCatalogNamesApart) {
  EXPECT_EQ(Color::sRGB(0.24, 0.6, 0.9, 0.95),
            Color::sRGB(0.24, 0.6, 0.9).withAlphaComponent(0.95));
  EXPECT_NE(Color::gray(1), Color::sRGB(1, 1, 1));
  EXPECT_NE(Color::tertiaryLabel(), Color::secondaryLabel());
  EXPECT_EQ(Color::white(), Color::gray(1, 1));
  EXPECT_EQ(Color::clear().alphaComponent(), 0);
}

}  // namespace
}  // namespace platform
