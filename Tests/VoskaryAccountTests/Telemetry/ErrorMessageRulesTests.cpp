#include "VoskaryAccount/Telemetry/ErrorMessageRules.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace voskary {
namespace {

// The scans must find exactly what the regular expressions find. Random texts built from the
// pieces the rules care about, ASCII and not, are run through both.
TEST(ErrorMessageRulesTest, EveryRuleGivesTheExpressionsResultOnRandomTexts) {
  const std::vector<std::string> pieces = {"a",
                                           "F",
                                           "g",
                                           "z",
                                           "T",
                                           "Z",
                                           "v",
                                           "va_",
                                           "_",
                                           "0",
                                           "7",
                                           "2026",
                                           "12",
                                           "-",
                                           "+",
                                           ".",
                                           "@",
                                           ":",
                                           "/",
                                           "\\",
                                           "\\\\",
                                           "C:",
                                           " ",
                                           "\t",
                                           "\n",
                                           "\r",
                                           "\v",
                                           "\f",
                                           "\x1c",
                                           "\x1f",
                                           "\u0085",
                                           "\u2028",
                                           ",",
                                           ";",
                                           "\"",
                                           "'",
                                           "<",
                                           ">",
                                           "%",
                                           "x@y.io",
                                           "deadbeef",
                                           "2026-01-31T09:15:02",
                                           ".250Z",
                                           "+02:00",
                                           "0f1e2d3c-4b5a-6978-8796-a5b4c3d2e1f0",
                                           "\u00e9",
                                           "\u0661\u0662\u0663\u0664",
                                           "\u2003",
                                           "\u00a0",
                                           "\u0301"};
  std::mt19937 random(20260131);
  std::uniform_int_distribution<std::size_t> pick(0, pieces.size() - 1);
  std::uniform_int_distribution<int> length(0, 24);
  for (int round = 0; round < 60'000; ++round) {
    std::string text;
    for (int i = length(random); i > 0; --i) text += pieces[pick(random)];
    for (std::size_t rule = 0; rule < ErrorMessageRules::count; ++rule) {
      ASSERT_EQ(ErrorMessageRules::replace(rule, text),
                ErrorMessageRules::replaceWithRegex(rule, text))
          << "rule " << rule << " on \"" << text << "\"";
    }
  }
}

TEST(ErrorMessageRulesTest, ScansStayLinearOnTextsThatMakeExpressionsBacktrack) {
  const std::string local(100'000, 'g');
  EXPECT_EQ(ErrorMessageRules::replace(0, local + "@ " + local + "@x.io"), local + "@ <email>");
  EXPECT_EQ(ErrorMessageRules::replace(0, local + "@" + local), local + "@" + local);
  const std::string hex(100'000, 'a');
  EXPECT_EQ(ErrorMessageRules::replace(5, hex + "g " + hex), hex + "g <hex>");
}

}  // namespace
}  // namespace voskary
