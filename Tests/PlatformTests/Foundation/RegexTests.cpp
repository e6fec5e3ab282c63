#include "Platform/Foundation/Regex.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace platform {
namespace {

using Option = Regex::Option;

RegexError::Kind errorKindOf(const std::function<void()>& body) {
  try {
    body();
  } catch (const RegexError& e) {
    return e.kind();
  }
  ADD_FAILURE() << "no RegexError";
  return RegexError::Kind::invalidPattern;
}

double secondsFor(const std::function<void()>& body) {
  auto start = std::chrono::steady_clock::now();
  body();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// A bound that only a hang exceeds, on a loaded machine and under the sanitizers alike: the
// speed itself is for the benchmarks to measure.
constexpr double kNoHang = 30.0;

TEST(RegexTests, RefusesPatternsThatDoNotCompile) {
  for (const char* bad : {"(", "[a-", "a{2,1}", "(?<name>a)(?<name>b)", "\\"}) {
    EXPECT_EQ(errorKindOf([&] { Regex{bad}; }), RegexError::Kind::invalidPattern) << bad;
  }
  EXPECT_EQ(Regex("a+").pattern(), "a+");
}

TEST(RegexTests, SearchesWithICUSemantics) {
  const Regex accountID("^va_[0-9a-f]{8}-[0-9a-f]{4}-7[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}$");
  const std::string id = "va_0190a5b2-7c3d-7e4f-8a9b-0123456789ab";
  struct Case {
    const Regex& regex;
    std::string text;
    bool matches;
  };
  const Regex keyword("(?i)\\btoken\\b\\s*[:=]");
  const Regex digits("^\\d+$");
  const Regex word("\\bcaf\u00e9\\b");
  const Regex space("a\\sb");
  const Case cases[] = {
      {accountID, id, true},
      {accountID, id + "\n", true},  // "$" also matches before one final line terminator
      {accountID, id + "\n\n", false},
      {accountID, " " + id, false},
      {accountID, "va_0190A5B2-7c3d-7e4f-8a9b-0123456789ab", false},
      {keyword, "Refresh TOKEN = x", true},
      {keyword, "tokens=x", false},
      {digits, "\u0663\u0664", true},  // Arabic-Indic digits are digits
      {word, "un caf\u00e9.", true},
      {word, "un caf\u00e9s", false},
      {space, "a\u00a0b", true},  // no-break space is white space
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.regex.containsMatch(c.text), c.matches) << c.regex.pattern() << " on " << c.text;
  }
}

TEST(RegexTests, FirstMatchGivesCapturesAndByteOffsets) {
  const Regex email("([A-Za-z0-9._%+\\-]+)@([A-Za-z0-9.\\-]+\\.[A-Za-z]{2,})(:\\d+)?");
  auto match = email.firstMatch("caf\u00e9 \u2014 ann@example.com and bob@example.org");
  ASSERT_TRUE(match);
  EXPECT_EQ(match->text(), "ann@example.com");
  EXPECT_EQ(match->offset, 10u);  // "café — " is 10 bytes
  EXPECT_EQ(match->length, 15u);
  ASSERT_EQ(match->groups.size(), 4u);
  EXPECT_EQ(match->groups[1], "ann");
  EXPECT_EQ(match->groups[2], "example.com");
  EXPECT_EQ(match->groups[3], std::nullopt);
  EXPECT_FALSE(email.firstMatch("nobody here"));
  // Invalid UTF-8 reads as U+FFFD rather than failing.
  EXPECT_EQ(Regex("\\x{FFFD}")
                .firstMatch("a\xff"
                            "b")
                ->text(),
            "\xef\xbf\xbd");
}

TEST(RegexTests, ReplacesEveryMatchWithATemplate) {
  const Regex home("(/(?:Users|home|root))(/[^\\s/:\"']+)+");
  EXPECT_EQ(home.replacingMatches("open /Users/ann/Library/x.log and /home/bob /Applications/A",
                                  "$1/<redacted>"),
            "open /Users/<redacted> and /home/<redacted> /Applications/A");
  const Regex email("([A-Za-z0-9._%+\\-]+)@([A-Za-z0-9.\\-]+\\.[A-Za-z]{2,})");
  EXPECT_EQ(email.replacingMatches("a@b.io, c@d.org", "x****@$2"), "x****@b.io, x****@d.org");
  EXPECT_EQ(Regex("(?<n>\\d+)").replacingMatches("a1b22", "<${n}\\$>"), "a<1$>b<22$>");
  EXPECT_EQ(Regex("x*").replacingMatches("ab", "-"), "-a-b-");
  EXPECT_EQ(Regex("z").replacingMatches("unchanged", "$9"), "unchanged");
  EXPECT_EQ(errorKindOf([] { Regex("(a)").replacingMatches("a", "$2"); }),
            RegexError::Kind::invalidTemplate);
  EXPECT_EQ(errorKindOf([] { Regex("(a)").replacingMatches("a", "${missing}"); }),
            RegexError::Kind::invalidTemplate);
}

TEST(RegexTests, OptionsChangeTheMatch) {
  struct Case {
    const char* pattern;
    std::initializer_list<Option> options;
    const char* text;
    bool matches;
  };
  const Case cases[] = {
      {"abc", {}, "ABC", false},
      {"abc", {Option::caseInsensitive}, "ABC", true},
      {"^b$", {}, "a\nb\nc", false},
      {"^b$", {Option::anchorsMatchLines}, "a\nb\nc", true},
      {"a.b", {}, "a\nb", false},
      {"a.b", {Option::dotMatchesLineSeparators}, "a\nb", true},
      {"a.b", {Option::ignoreMetacharacters}, "axb", false},
      {"a.b", {Option::ignoreMetacharacters}, "a.b", true},
      {"a b # comment", {Option::allowCommentsAndWhitespace}, "ab", true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Regex(c.pattern, c.options).containsMatch(c.text), c.matches) << c.pattern;
  }
}

TEST(RegexTests, OneCompiledPatternServesManyThreads) {
  const Regex ip("\\b\\d{1,3}\\.\\d{1,3}\\.\\d{1,3}\\.\\d{1,3}(?::\\d{1,5})?\\b");
  std::atomic<int> correct{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 200; ++i) {
        auto text = "from 10.0." + std::to_string(t) + "." + std::to_string(i) + ":443 ok";
        if (ip.replacingMatches(text, "<redacted-ip>") == "from <redacted-ip> ok") ++correct;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(correct.load(), 1600);
}

TEST(RegexTests, AMegabyteFinishesInsteadOfHanging) {
  std::string log;
  while (log.size() < (1 << 20)) log += "token=abc123 user ann@example.com from 10.1.2.3 ok; ";
  const Regex secret("(?i)\\b(bearer|token|password)\\b\\s*[:=]\\s*\\S+");
  std::string redacted;
  EXPECT_LT(secondsFor([&] { redacted = secret.replacingMatches(log, "<redacted>"); }), kNoHang);
  EXPECT_EQ(redacted.find("abc123"), std::string::npos);

  // A run of a megabyte that one greedy pattern backtracks over from every position: stopped.
  const std::string run(1 << 20, 'a');
  const Regex email("([A-Za-z0-9._%+\\-]+)@([A-Za-z0-9.\\-]+\\.[A-Za-z]{2,})");
  double seconds = secondsFor([&] {
    EXPECT_EQ(errorKindOf([&] { email.replacingMatches(run, "x"); }),
              RegexError::Kind::timeLimitExceeded);
  });
  EXPECT_LT(seconds, kNoHang);
  EXPECT_EQ(errorKindOf([&] { Regex("(a|b)*c").containsMatch(run); }),
            RegexError::Kind::resourceLimitExceeded);
}

TEST(RegexTests, TheWorkLimitCoversAllSearchesOfOneCall) {
  // Each search backtracks over one run of letters before it finds the address after it: a
  // few runs are fine, many add up past the limit though no single search reaches it.
  const Regex email("[A-Za-z0-9._%+\\-]+@[A-Za-z0-9.\\-]+\\.[A-Za-z]{2,}");
  auto text = [](int runs) {
    std::string out;
    for (int i = 0; i < runs; ++i) out += std::string(3000, 'a') + " x@b.cc ";
    return out;
  };
  EXPECT_NO_THROW(email.replacingMatches(text(2), "<email>"));
  EXPECT_EQ(errorKindOf([&] { email.replacingMatches(text(40), "<email>"); }),
            RegexError::Kind::timeLimitExceeded);
}

}  // namespace
}  // namespace platform
