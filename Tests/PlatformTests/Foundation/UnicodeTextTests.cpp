#include "Platform/Foundation/UnicodeText.h"

#include <gtest/gtest.h>

#include <thread>

namespace platform {
namespace {

using WhiteSpace = UnicodeText::WhiteSpace;

TEST(UnicodeTextTests, MapsCaseWithTheRootLocale) {
  const std::pair<const char*, const char*> lower[] = {
      {"Sign-In FAILED", "sign-in failed"},
      {"\u0130stanbul", "i\u0307stanbul"},  // İ keeps its dot, as in the root locale
      {"\u039F\u0394\u039F\u03A3", "\u03BF\u03B4\u03BF\u03C2"},  // final sigma
      {"STRASSE \u00C9T\u00C9", "strasse \u00E9t\u00E9"},
      {"a\xff"
       "B",
       "a\xef\xbf\xbd"
       "b"},
  };
  for (const auto& [text, expected] : lower)
    EXPECT_EQ(UnicodeText::lowercased(text), expected) << text;
  EXPECT_EQ(UnicodeText::uppercased("post"), "POST");
  EXPECT_EQ(UnicodeText::uppercased("stra\u00DFe"), "STRASSE");
}

TEST(UnicodeTextTests, TellsTheTwoWhiteSpaceSetsApart) {
  struct Case {
    char32_t scalar;
    bool space, spaceOrNewline;
  };
  const Case cases[] = {
      {U' ', true, true},       {U'\t', true, true},       {U'\u00A0', true, true},
      {U'\u3000', true, true},  {U'\u2009', true, true},   {U'\n', false, true},
      {U'\r', false, true},     {U'\v', false, true},      {U'\f', false, true},
      {U'\u0085', false, true}, {U'\u2028', false, true},  {U'\u2029', false, true},
      {U'a', false, false},     {U'\u200B', false, false}, {U'\u001F', false, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(UnicodeText::isWhiteSpace(c.scalar, WhiteSpace::spaces), c.space)
        << std::hex << static_cast<std::uint32_t>(c.scalar);
    EXPECT_EQ(UnicodeText::isWhiteSpace(c.scalar, WhiteSpace::spacesAndNewlines), c.spaceOrNewline)
        << std::hex << static_cast<std::uint32_t>(c.scalar);
  }
}

TEST(UnicodeTextTests, TrimsAndSplitsOnTheChosenSet) {
  EXPECT_EQ(UnicodeText::trimmed(" \t va_123\n", WhiteSpace::spacesAndNewlines), "va_123");
  EXPECT_EQ(UnicodeText::trimmed(" \t va_123\n", WhiteSpace::spaces), "va_123\n");
  EXPECT_EQ(UnicodeText::trimmed("\u00A0min-version=2 \u3000", WhiteSpace::spaces),
            "min-version=2");
  EXPECT_EQ(UnicodeText::trimmed("  ", WhiteSpace::spaces), "");
  EXPECT_EQ(UnicodeText::trimmed("", WhiteSpace::spaces), "");
  EXPECT_EQ(UnicodeText::split("  timeout\t<n>\n\nms\u2028 ", WhiteSpace::spacesAndNewlines),
            (std::vector<std::string>{"timeout", "<n>", "ms"}));
  EXPECT_EQ(UnicodeText::split("a\nb c", WhiteSpace::spaces),
            (std::vector<std::string>{"a\nb", "c"}));
  EXPECT_TRUE(UnicodeText::split(" \n ", WhiteSpace::spacesAndNewlines).empty());
}

TEST(UnicodeTextTests, CountsAndCutsUserPerceivedCharactersAndScalars) {
  // "e" with a combining acute, a family emoji of seven scalars, a flag of two, then "x".
  const std::string text =
      "e\u0301\U0001F468\u200D\U0001F469\u200D\U0001F467\u200D\U0001F466\U0001F1E9\U0001F1EAx";
  EXPECT_EQ(UnicodeText::characterCount(text), 4u);
  EXPECT_EQ(UnicodeText::prefixCharacters(text, 1), "e\u0301");
  EXPECT_EQ(
      UnicodeText::prefixCharacters(text, 3),
      "e\u0301\U0001F468\u200D\U0001F469\u200D\U0001F467\u200D\U0001F466\U0001F1E9\U0001F1EA");
  EXPECT_EQ(UnicodeText::prefixCharacters(text, 10), text);
  EXPECT_EQ(UnicodeText::prefixCharacters(text, 0), "");
  EXPECT_EQ(UnicodeText::prefixScalars(text, 1), "e");
  EXPECT_EQ(UnicodeText::prefixScalars(text, 3), "e\u0301\U0001F468");
  EXPECT_EQ(UnicodeText::prefixScalars(text, 100), text);
  EXPECT_EQ(UnicodeText::characterCount("\r\n"), 1u);
  EXPECT_EQ(UnicodeText::characterCount(""), 0u);
}

TEST(UnicodeTextTests, ValidatesAndRepairsUTF8) {
  struct Case {
    std::string bytes;
    bool valid;
    std::string repaired;
  };
  const std::string fffd = "\xEF\xBF\xBD";
  const Case cases[] = {
      {"plain \xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80", true,
       "plain \xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"},
      {"\xFF", false, fffd},
      {"a\xC3", false, "a" + fffd},  // cut short at the end
      {"\xE2\x82"
       "A",
       false, fffd + "A"},                                     // one maximal subpart, one U+FFFD
      {"\xC0\xAF", false, fffd + fffd},                        // overlong
      {"\xE0\x80\xAF", false, fffd + fffd + fffd},             // overlong three-byte form
      {"\xED\xA0\x80", false, fffd + fffd + fffd},             // a surrogate
      {"\xF4\x90\x80\x80", false, fffd + fffd + fffd + fffd},  // above U+10FFFF
      {"\x80\x80", false, fffd + fffd},
      {std::string("a\0b", 3), true, std::string("a\0b", 3)},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(UnicodeText::isValidUTF8(c.bytes), c.valid) << c.bytes;
    EXPECT_EQ(UnicodeText::repairedUTF8(c.bytes), c.repaired) << c.bytes;
  }
}

TEST(UnicodeTextTests, TruncatesOnACodePointBoundaryWithinTheLimit) {
  // 63 ASCII bytes and then "é", "€" and more: a cut at 64 would split the "é".
  const std::string version = std::string(63, '1') + "\xC3\xA9\xE2\x82\xAC" + "tail";
  EXPECT_EQ(UnicodeText::truncatedUTF8(version, 64), std::string(63, '1'));
  EXPECT_EQ(UnicodeText::truncatedUTF8(version, 65), std::string(63, '1') + "\xC3\xA9");
  EXPECT_EQ(UnicodeText::truncatedUTF8(version, 67), std::string(63, '1') + "\xC3\xA9");
  EXPECT_EQ(UnicodeText::truncatedUTF8(version, 68), std::string(63, '1') + "\xC3\xA9\xE2\x82\xAC");
  EXPECT_EQ(UnicodeText::truncatedUTF8("flagrig-mac", 32), "flagrig-mac");
  EXPECT_EQ(UnicodeText::truncatedUTF8("\xF0\x9F\x98\x80", 3), "");
  // Invalid bytes are repaired first, and the repair still fits the limit.
  EXPECT_EQ(UnicodeText::truncatedUTF8("ab\xFF", 3), "ab");
  EXPECT_EQ(UnicodeText::truncatedUTF8("ab\xFF", 5), "ab\xEF\xBF\xBD");
}

TEST(UnicodeTextTests, CharacterBreaksWorkOnManyThreads) {
  std::vector<std::thread> threads;
  std::atomic<int> correct{0};
  for (int t = 0; t < 6; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 300; ++i) {
        if (UnicodeText::prefixCharacters("e\u0301e\u0301e\u0301", 2) == "e\u0301e\u0301")
          ++correct;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(correct.load(), 1800);
}

}  // namespace
}  // namespace platform
