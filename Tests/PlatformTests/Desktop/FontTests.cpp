#include "Platform/Desktop/Font.h"

#include <gtest/gtest.h>

#include "Support/SimTest.h"

namespace platform {
namespace {

using FontTest = testing::SimTest;

TEST_F(FontTest, WidthIsTheAdvancePerCodePointOfTheFace) {
  struct Case {
    Font font;
    const char* text;
    double width;
  };
  const Case cases[] = {
      {Font::systemFont(11, FontWeight::semibold), "Label", 5 * 5.5},
      {Font::monospacedSystemFont(11, FontWeight::semibold), "Label", 5 * 6.6},
      {Font::systemFont(14, FontWeight::medium), "", 0},
      // Four code points in nine bytes: the width counts characters, not bytes.
      {Font::systemFont(10), "\xC3\xA9t\xC3\xA9\xE2\x80\xA6", 4 * 5.0},
      {Font::boldSystemFont(14), "\xC3\x97", 7},
      {*Font::named("Menlo-Bold", 18), "ab", 2 * 10.8},
      {*Font::named("HelveticaNeue-Bold", 18), "ab", 2 * 9.0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.font.fontName() + " " + c.text);
    EXPECT_DOUBLE_EQ(c.font.widthOf(c.text), c.width);
  }
}

TEST_F(FontTest, LineHeightRoundsUpWithoutFloatingPointDrift) {
  EXPECT_EQ(Font::systemFont(10).lineHeight(), 12);
  EXPECT_EQ(Font::systemFont(11).lineHeight(), 14);
  EXPECT_EQ(Font::systemFont(14).lineHeight(), 17);
  EXPECT_EQ(Font::monospacedSystemFont(18).lineHeight(), 22);
}

TEST_F(FontTest, NamedFacesMayBeMissing) {
  auto menlo = Font::named("Menlo-Bold", 11);
  ASSERT_TRUE(menlo);
  EXPECT_TRUE(menlo->isMonospaced());
  EXPECT_FALSE(menlo->isSystemFont());
  EXPECT_EQ(menlo->pointSize(), 11);

  sim().desktop->removeFont("Menlo-Bold");
  EXPECT_FALSE(Font::named("Menlo-Bold", 11));
  EXPECT_FALSE(Font::named("NoSuchFace", 11));
  sim().desktop->installFont({"Menlo-Bold", true, FontWeight::bold});
  EXPECT_TRUE(Font::named("Menlo-Bold", 11));

  // System faces of different weights or kinds are different fonts.
  EXPECT_NE(Font::systemFont(11, FontWeight::semibold), Font::systemFont(11));
  EXPECT_NE(Font::systemFont(11), Font::monospacedSystemFont(11));
  EXPECT_EQ(Font::systemFont(11).withSize(18), Font::systemFont(18));
}

}  // namespace
}  // namespace platform
