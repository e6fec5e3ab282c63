#include "Flagrig/Diagnostics/DiagnosticRedaction.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

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
  };
  for (const auto& c : cases)
    EXPECT_EQ(DiagnosticRedaction::redact(c.input), c.expected) << c.label << ": " << c.input;
}

TEST(DiagnosticRedactionTest, MegabyteMessagesAreRedactedWhole) {
  // Compared without printing: a failure would otherwise dump megabytes.
  auto repeated = [](std::string_view piece, std::size_t times) {
    std::string out;
    for (std::size_t i = 0; i < times; ++i) out += piece;
    return out;
  };
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
