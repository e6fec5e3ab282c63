#include <gtest/gtest.h>

#include <algorithm>

#include <cmath>
#include <limits>
#include <optional>
#include <vector>

#include "Flagrig/Tagging/TagDefaultsKeys.h"
#include "Flagrig/Tagging/TagFont.h"
#include "Flagrig/Tagging/TagManager.h"
#include "Flagrig/Tagging/TagPalette.h"
#include "Flagrig/Tagging/TagPanel.h"
#include "Flagrig/Tagging/TagShape.h"
#include "TaggingTest.h"

namespace flagrig {
namespace {

using platform::Color;
using platform::ColorSpace;
using platform::FontWeight;
using platform::Value;
using Numbers = std::vector<double>;

class TagAppearanceTest : public testing::TaggingTest {};

Value stored(std::vector<Value> elements) {
  return Value(Value::Array(elements.begin(), elements.end()));
}
Value numbers(Numbers n) {
  return Value(Value::Array(n.begin(), n.end()));
}
// The six stored components of each entry, as loaded.
std::vector<Numbers> components(const std::vector<PaletteEntry>& palette) {
  std::vector<Numbers> out;
  for (const auto& e : palette) {
    out.push_back({e.background.redComponent(), e.background.greenComponent(),
                   e.background.blueComponent(), e.text.redComponent(), e.text.greenComponent(),
                   e.text.blueComponent()});
  }
  return out;
}

TEST_F(TagAppearanceTest, LoadsTheStoredPaletteOrNoneWhenItIsUnusable) {
  struct Case {
    const char* name;
    std::optional<Value> value;
    std::optional<std::vector<Numbers>> expected;  // nothing: no stored palette
  } cases[] = {
      {"absent", std::nullopt, std::nullopt},
      {"not an array", Value("red"), std::nullopt},
      {"empty", stored({}), std::nullopt},
      {"an element that is no array", stored({numbers({0, 0, 0, 1, 1, 1}), Value(3)}),
       std::nullopt},
      {"an element with a non-number",
       stored({Value(Value::Array{0.1, 0.2, 0.3, 1.0, 1.0, Value("x")})}), std::nullopt},
      {"a bool is no number", stored({Value(Value::Array{0.1, 0.2, 0.3, 1.0, 1.0, true})}),
       std::nullopt},
      {"every element too short", stored({numbers({0.1, 0.2}), numbers({0.1, 0.2, 0.3, 1, 1})}),
       std::nullopt},
      {"one valid among short ones",
       stored({numbers({0.1}), numbers({0.1, 0.2, 0.3, 0.4, 0.5, 0.6}), numbers({})}),
       std::vector<Numbers>{{0.1, 0.2, 0.3, 0.4, 0.5, 0.6}}},
      {"seven numbers load from the first six",
       stored({numbers({0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 9})}),
       std::vector<Numbers>{{0.1, 0.2, 0.3, 0.4, 0.5, 0.6}}},
      {"integers are numbers", stored({Value(Value::Array{1, 0, 0, 0u, 1, 1})}),
       std::vector<Numbers>{{1, 0, 0, 0, 1, 1}}},
      // Non-finite components never get this far: the preferences refuse to store them.
      {"out of range components are clamped", stored({numbers({1.5, -0.25, 0, 7, -7, 0.5})}),
       std::vector<Numbers>{{1, 0, 0, 1, 0, 0.5}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.value) {
      defaults().set(TagDefaultsKeys::palette, *c.value);
    } else {
      defaults().removeObject(TagDefaultsKeys::palette);
    }
    auto loaded = TagManager::loadPalette();
    ASSERT_EQ(loaded.has_value(), c.expected.has_value());
    if (!loaded) continue;
    EXPECT_EQ(components(*loaded), *c.expected);
    for (const auto& entry : *loaded) {
      EXPECT_EQ(entry.background.space(), ColorSpace::sRGB);
      EXPECT_EQ(entry.background.alphaComponent(), 0.95);
      EXPECT_EQ(entry.text.alphaComponent(), 1.0);
    }
  }
}

TEST_F(TagAppearanceTest, AnUnusableStoredPaletteGivesTheManagerTheDefaultPalette) {
  defaults().set(TagDefaultsKeys::palette, stored({numbers({0.1, 0.2, 0.3})}));
  auto& manager = TagManager::shared();
  EXPECT_EQ(manager.palette(), TagManager::defaultPalette());
  // What the user sees: the first tag wears the default palette's first colour, and eight tags
  // in a row wear eight different, slightly see-through colours with white labels.
  std::vector<Color> worn;
  for (int i = 0; i < 8; ++i) {
    ASSERT_TRUE(manager.createTag(openWindow(platform::Rect(100 + 10 * i, 100, 400, 300))));
    const auto& panel = *manager.tags().back().panel;
    EXPECT_EQ(panel.tagColor().alphaComponent(), 0.95);
    EXPECT_EQ(panel.tagTextColor(), Color::white());
    EXPECT_EQ(std::count(worn.begin(), worn.end(), panel.tagColor()), 0);
    worn.push_back(panel.tagColor());
  }
  EXPECT_EQ(worn.front(), TagManager::defaultPalette().front().background);
}

TEST_F(TagAppearanceTest, SavingWritesRGBOnlyAndLoadingRestoresTheFixedAlphas) {
  auto& manager = TagManager::shared();
  manager.setPalette({{Color::sRGB(0.2, 0.4, 0.6, 0.3), Color::gray(0.5, 0.2)},
                      {Color::pattern("stripes"), Color::white()}});
  manager.savePalette();
  EXPECT_EQ(*defaults().object(TagDefaultsKeys::palette),
            stored({numbers({0.2, 0.4, 0.6, 0.5, 0.5, 0.5}), numbers({0, 0, 0, 1, 1, 1})}));

  auto loaded = TagManager::loadPalette();
  ASSERT_TRUE(loaded);
  EXPECT_EQ((*loaded)[0].background, Color::sRGB(0.2, 0.4, 0.6, 0.95));
  EXPECT_EQ((*loaded)[0].text, Color::sRGB(0.5, 0.5, 0.5, 1));

  // A colour from another space is stored in sRGB.
  manager.setPaletteColor(0, Color::displayP3(1, 0, 0), std::nullopt);
  auto saved = *defaults().object(TagDefaultsKeys::palette);
  const auto& first = *saved.asArray()->front().asArray();
  EXPECT_GT(*first[0].asDouble(), 1.0);
  EXPECT_LT(*first[1].asDouble(), 0.0);
}

TEST_F(TagAppearanceTest, ReadsShapeFontAndSizeFromTheStoredIntegers) {
  using platform::Value;
  struct Case {
    std::optional<Value> shape, font, big;
    TagShape expectedShape;
    TagFont expectedFont;
    bool expectedBig;
  } cases[] = {
      {std::nullopt, std::nullopt, std::nullopt, TagShape::pill, TagFont::system, false},
      {Value(0), Value(0), Value(false), TagShape::pill, TagFont::system, false},
      {Value(1), Value(1), Value(true), TagShape::rounded, TagFont::mono, true},
      {Value(2), Value(2), std::nullopt, TagShape::square, TagFont::menlo, false},
      {Value(3), Value(3), std::nullopt, TagShape::rounded, TagFont::helvetica, false},
      {Value(-1), Value(4), std::nullopt, TagShape::rounded, TagFont::monaco, false},
      {Value(7), Value(5), std::nullopt, TagShape::rounded, TagFont::mono, false},
      {Value("2"), Value(-1), Value(1), TagShape::square, TagFont::mono, true},
  };
  int row = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(row++);
    auto put = [&](std::string_view key, const std::optional<Value>& v) {
      if (v) {
        defaults().set(key, *v);
      } else {
        defaults().removeObject(key);
      }
    };
    put(TagDefaultsKeys::shape, c.shape);
    put(TagDefaultsKeys::font, c.font);
    put(TagDefaultsKeys::bigTags, c.big);
    TagManager manager;
    EXPECT_EQ(manager.tagShape(), c.expectedShape);
    EXPECT_EQ(manager.tagFont(), c.expectedFont);
    EXPECT_EQ(manager.bigTags(), c.expectedBig);
  }
}

TEST_F(TagAppearanceTest, RawValuesAcceptOnlyTheirCases) {
  EXPECT_EQ(tagShapeFromRawValue(2), TagShape::square);
  EXPECT_EQ(tagShapeFromRawValue(3), std::nullopt);
  EXPECT_EQ(tagShapeFromRawValue(-1), std::nullopt);
  EXPECT_EQ(tagFontFromRawValue(4), TagFont::monaco);
  EXPECT_EQ(tagFontFromRawValue(5), std::nullopt);
  EXPECT_EQ(tagFontFromRawValue(-1), std::nullopt);
  struct {
    TagShape shape;
    double normal, big;
  } radii[] = {{TagShape::pill, 13, 21}, {TagShape::rounded, 6, 8}, {TagShape::square, 0, 0}};
  for (const auto& r : radii) {
    EXPECT_EQ(tagCornerRadius(r.shape, false), r.normal);
    EXPECT_EQ(tagCornerRadius(r.shape, true), r.big);
  }
}

TEST_F(TagAppearanceTest, FontsUseTheirFacesAndFallBackWhenANamedFaceIsMissing) {
  struct Case {
    TagFont font;
    const char* title;
    const char* face;          // installed
    const char* fallbackFace;  // once the named face is removed
    bool monospaced;
  } cases[] = {
      {TagFont::system, "System", ".SystemUI-Semibold", ".SystemUI-Semibold", false},
      {TagFont::mono, "SF Mono", ".SystemUIMono-Semibold", ".SystemUIMono-Semibold", true},
      {TagFont::menlo, "Menlo", "Menlo-Bold", ".SystemUIMono-Semibold", true},
      {TagFont::helvetica, "Helvetica Neue", "HelveticaNeue-Bold", ".SystemUI-Semibold", false},
      {TagFont::monaco, "Monaco", "Monaco", ".SystemUIMono-Semibold", true},
  };
  ASSERT_EQ(allTagFonts.size(), std::size(cases));
  for (std::size_t i = 0; i < allTagFonts.size(); ++i) {
    const auto& c = cases[i];
    SCOPED_TRACE(c.title);
    EXPECT_EQ(allTagFonts[i], c.font);
    EXPECT_EQ(title(c.font), c.title);
    auto font = nsFont(c.font, 18);
    EXPECT_EQ(font.fontName(), c.face);
    EXPECT_EQ(font.pointSize(), 18);
    EXPECT_EQ(font.isMonospaced(), c.monospaced);
  }
  for (const char* name : {"Menlo-Bold", "HelveticaNeue-Bold", "Monaco"})
    desktop().removeFont(name);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.title);
    auto font = nsFont(c.font, 11);
    EXPECT_EQ(font.fontName(), c.fallbackFace);
    EXPECT_EQ(font.weight(), FontWeight::semibold);
    EXPECT_EQ(font.isMonospaced(), c.monospaced);
  }
}

}  // namespace
}  // namespace flagrig
