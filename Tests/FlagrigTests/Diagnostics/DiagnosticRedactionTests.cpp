#include "Flagrig/Diagnostics/DiagnosticRedaction.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "Flagrig/Diagnostics/LinearRedaction.h"

namespace flagrig {
namespace {

struct Case {
  const char* label;
  std::string input;
  std::string expected;
};

TEST(DiagnosticRedactionTest, EachRuleAndItsTraps) {
  const std::vector<Case> cases = {
      {"empty", "", ""},
      {"nothing to hide", "App launched (v1.2.3)", "App launched (v1.2.3)"},
      // Keyed secrets: keyword, sign and value go together; the words after stay.
      {"keyed with equals", "refresh failed token=abc123 retrying",
       "refresh failed <redacted> retrying"},
      {"keyed case-insensitive with blanks", "PASSWORD = hunter2 set", "<redacted> set"},
      {"keyed compound keyword", "access_token:xyz", "<redacted>"},
      {"authorization keeps the credential for later rules", "Authorization: Bearer abc123",
       "<redacted> abc123"},
      {"keyword without a sign", "Bearer abc123", "Bearer abc123"},
      {"keyword inside a word", "mytoken=abc", "mytoken=abc"},
      // Three dot-separated runs of 8 or more.
      {"jwt", "got eyJhbGciOi.eyJzdWIiOi.SflKxwRJSM here", "got <redacted-token> here"},
      {"jwt run too short", "a.b.c and abcdefg.abcdefgh.abcdefgh",
       "a.b.c and abcdefg.abcdefgh.abcdefgh"},
      {"email keeps the domain", "sent to alice.smith+x@mail.example.co.uk now",
       "sent to x****@mail.example.co.uk now"},
      {"ipv4", "peer 192.168.1.20 up", "peer <redacted-ip> up"},
      {"ipv4 with port", "connect 10.0.0.1:8443 failed", "connect <redacted-ip> failed"},
      {"clock time reads as ipv6", "at 09:15:02 it broke", "at <redacted-ip> it broke"},
      {"ipv6 compressed", "via ::1 loopback", "via <redacted-ip> loopback"},
      {"ipv6 full", "2001:0db8:85a3:0000:0000:8a2e:0370:7334", "<redacted-ip>"},
      // Only the part after "::" matches, as the second alternative is tried at each offset.
      {"ipv6 with an inner gap", "fe80::1ff:fe23:4567:890a", "fe80<redacted-ip>"},
      {"home path", "open /home/alice/projects/a.txt failed", "open /home/<redacted> failed"},
      {"users path", "/Users/bob/Library/Logs/Flagrig", "/Users/<redacted>"},
      {"root path stops at a colon", "/root/.ssh/id_rsa: denied", "/root/<redacted>: denied"},
      {"other paths stay", "/Applications/Flagrig.app/Contents",
       "/Applications/Flagrig.app/Contents"},
      {"account id", "account va_0123abcd linked", "account va_<redacted> linked"},
      {"account id too short", "account va_0123abc linked", "account va_0123abc linked"},
      {"provisional account id", "pva_ABCDEFGH1 merged", "pva_<redacted> merged"},
      {"blob of 24", "key abcdefghijklmnopqrstuvwx end", "key <redacted> end"},
      {"blob of 23", "key abcdefghijklmnopqrstuvw end", "key abcdefghijklmnopqrstuvw end"},
      // No word boundary after "=" before a blank, so the padding is left behind.
      {"blob with padding", "sig QUJDREVGR0hJSktMTU5PUFFSU1RVVg== ok", "sig <redacted>== ok"},
      // Order: earlier rules take what later ones would have redacted differently.
      {"keyed before email", "code=alice@example.com", "<redacted>"},
      {"jwt before blob", "aaaaaaaaaaaaaaaaaaaaaaaaaaaa.bbbbbbbb.cccccccc", "<redacted-token>"},
      {"account id before blob", "va_ABCDEFGHIJKLMNOPQRSTUVWXYZ", "va_<redacted>"},
      {"home path before blob", "/home/abcdefghijklmnopqrstuvwxyz0123", "/home/<redacted>"},
      {"markers are not redacted again", "<redacted-ip> <redacted-token>",
       "<redacted-ip> <redacted-token>"},
      // Unicode semantics: \d, \s and \b follow Unicode, not ASCII.
      {"arabic-indic digits are digits", "peer ١٩٢.١٦٨.١.٢ up", "peer <redacted-ip> up"},
      {"no-break space is a blank", "password:\u00a0hunter2", "<redacted>"},
      {"a letter before the keyword is no boundary", "ätoken=abc", "ätoken=abc"},
      // Case-insensitive as ICU compares: by full case folding, never ending inside one.
      {"long s folds to s", "\u017fecret=x y", "<redacted> y"},
      {"sharp s folds to ss", "PA\u00dfWORD: hunter2", "<redacted>"},
      {"kelvin sign folds to k", "api\u212aey=1", "<redacted>"},
      {"a keyword ending inside a folding", "va\u00df=1", "va\u00df=1"},
      // \b looks through marks and format characters, and never stands before one.
      {"a format character is looked through", "x\u200btoken=1", "x\u200btoken=1"},
      {"a mark at the start is looked through", "\u0301token=1", "\u0301<redacted>"},
      {"no boundary before a mark", "1.2.3.4\u0301 up", "1.2.3.4\u0301 up"},
      // Backtracking corners of each rule.
      {"a port glued to a word is left", "1.2.3.4:80a", "<redacted-ip>:80a"},
      {"ipv6 ends after its last colon before a long run", "ab:cd:12345", "<redacted-ip>12345"},
      {"ipv6 ends before a trailing colon", "1:2:3: x", "<redacted-ip>: x"},
      {"compressed ipv6 takes four digits", "::12345", "<redacted-ip>5"},
      {"jwt gives back to a boundary", "aaaaaaaa.bbbbbbbb.cccccccccc-- x", "<redacted-token>-- x"},
      {"email after a failed one", "x@y@z.com", "x@x****@z.com"},
      {"email local part with underscore", "pva_a@b.cc9", "x****@b.cc9"},
      {"blob gives back to a boundary", "abcdefghijklmnopqrstuvwxyz++ x", "<redacted>++ x"},
      {"home path with other scripts", "/home/j\u00fcrgen/x y", "/home/<redacted> y"},
      // Ill-formed UTF-8 reads as U+FFFD, as ICU reads it.
      {"ill-formed bytes",
       "a\xff"
       "b token=\xc3",
       "a\ufffd"
       "b <redacted>"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DiagnosticRedaction::redact(c.input), c.expected) << c.label << ": " << c.input;
    // The table holds what the rules' regular expressions give.
    EXPECT_EQ(DiagnosticRedaction::redactWithRegularExpressions(c.input), c.expected) << c.label;
  }
}

std::string repeated(std::string_view piece, std::size_t times) {
  std::string out;
  for (std::size_t i = 0; i < times; ++i) out += piece;
  return out;
}

TEST(DiagnosticRedactionTest, TextsOnWhichTheExpressionsBacktrackAreRedactedNotWithheld) {
  // Small enough for the expressions to finish: both ways agree.
  const std::vector<std::string> small = {
      repeated("a-", 1500),
      repeated("a.", 1500) + "@x",
      repeated("a", 3000) + "@x.y",
      repeated("1:", 1500),
      repeated("\u0301", 1000) + "token=1",
      repeated("token ", 500) + "=",
      repeated("aaaaaaaa.", 300),
      repeated("/home/a", 400),
  };
  for (const auto& text : small) {
    EXPECT_TRUE(DiagnosticRedaction::redact(text) ==
                DiagnosticRedaction::redactWithRegularExpressions(text))
        << text.substr(0, 40);
  }
  // Where the expressions would run for seconds and be stopped, the scanners still redact.
  EXPECT_EQ(DiagnosticRedaction::redact(std::string(10'000, 'a') + "@x"), "<redacted>@x");
  EXPECT_EQ(DiagnosticRedaction::redact(repeated("a-", 50'000)), "<redacted>-");
  EXPECT_EQ(DiagnosticRedaction::redact(repeated("1:", 50'000)), "<redacted-ip>:");
}

TEST(DiagnosticRedactionTest, ATextBeyondTheWorkLimitIsWithheldWhole) {
  EXPECT_EQ(DiagnosticRedaction::redact("token=abc and more", 0), "<redacted>");
  EXPECT_EQ(DiagnosticRedaction::redact("", 0), "");
  EXPECT_EQ(LinearRedaction::redact("nothing here", 0), std::nullopt);
  EXPECT_EQ(DiagnosticRedaction::redact("token=abc and more"), "<redacted> and more");
}

TEST(DiagnosticRedactionTest, MegabyteMessagesAreRedactedWhole) {
  // Compared without printing: a failure would otherwise dump megabytes.
  const std::string words = repeated("lorem ipsum dolor ", 60'000);
  EXPECT_TRUE(DiagnosticRedaction::redact(words) == words);

  const std::string secrets = repeated("x token=s3cr3t 10.1.2.3 ", 45'000);
  ASSERT_GT(secrets.size(), 1'000'000u);
  EXPECT_TRUE(DiagnosticRedaction::redact(secrets) ==
              repeated("x <redacted> <redacted-ip> ", 45'000));

  // One unbroken run is one opaque blob.
  EXPECT_EQ(DiagnosticRedaction::redact(std::string(1'000'000, 'a')), "<redacted>");
}

}  // namespace
}  // namespace flagrig
