#include <gtest/gtest.h>

#include <cstdio>
#include <limits>
#include <optional>

#include "Flagrig/Tagging/ColorHex.h"
#include "Support/SimTest.h"

namespace flagrig {
namespace {

using platform::Color;

std::optional<Color> rgb(int r, int g, int b) {
  return Color::sRGB(r / 255.0, g / 255.0, b / 255.0, 1);
}

TEST(ColorHexTest, ParsesSixHexDigitsAndNothingElse) {
  struct Case {
    const char* text;
    std::optional<Color> expected;
  } cases[] = {
      {"  #ff8800  ", rgb(255, 136, 0)},
      {"\t#ff8800 \t", rgb(255, 136, 0)},
      {"FF8800", rgb(255, 136, 0)},
      {"FF#88#00", rgb(255, 136, 0)},
      {"##0a0B0c", rgb(10, 11, 12)},
      {"+FFFFF", rgb(15, 255, 255)},
      {"-00000", rgb(0, 0, 0)},
      {"F80", std::nullopt},
      {"#GG0000", std::nullopt},
      {"#FF880011", std::nullopt},
      {"\n#ff8800", std::nullopt},
      {"FF 880", std::nullopt},
      {"-00001", std::nullopt},
      {"+-FFFF", std::nullopt},
      {"0x8800", std::nullopt},
      {"", std::nullopt},
      {"######", std::nullopt},
      // Every space separator trims, as does the tab; other white space does not.
      {"\u00a0#ff8800\u3000", rgb(255, 136, 0)},
      {"\u2009\u202f#ff8800\u205f\t", rgb(255, 136, 0)},
      {"#ff8800\u2028", std::nullopt},
      {"\u0085#ff8800", std::nullopt},
      {"#ff\u00a08800", std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(ColorHex::from(c.text), c.expected);
  }
}

TEST(ColorHexTest, EveryComponentValueSurvivesTheRoundTrip) {
  for (int v = 0; v <= 255; ++v) {
    char digits[3];
    std::snprintf(digits, sizeof digits, "%02X", v);
    std::string text = std::string("#") + digits + digits + digits;
    auto color = ColorHex::from(text);
    ASSERT_TRUE(color) << text;
    EXPECT_EQ(ColorHex::hexString(*color), text);
    // Each channel on its own too.
    EXPECT_EQ(ColorHex::hexString(*ColorHex::from(std::string(digits) + "0000")),
              std::string("#") + digits + "0000");
  }
}

TEST(ColorHexTest, FormatsTruncatedClampedSRGBComponents) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  struct Case {
    Color color;
    const char* expected;
  } cases[] = {
      {Color::sRGB(0.5, 0.5, 0.5), "#7F7F7F"},
      {Color::sRGB(1, 136 / 255.0, 0, 0.2), "#FF8800"},
      {Color::gray(1), "#FFFFFF"},
      {Color::systemRed(), "#FF4539"},
      {Color::sRGB(1.5, -0.5, nan), "#FF0000"},
      {Color::sRGB(inf, -inf, 0.999), "#FF00FE"},
      // Outside the sRGB gamut: extended components are clamped.
      {Color::displayP3(1, 0, 0), "#FF0000"},
      // Not convertible: read as it is.
      {Color::pattern("stripes"), "#000000"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.expected);
    EXPECT_EQ(ColorHex::hexString(c.color), c.expected);
  }
}

}  // namespace
}  // namespace flagrig
