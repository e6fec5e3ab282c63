#include <gtest/gtest.h>

#include "Platform/Foundation/DateFormats.h"
#include "TelemetryTest.h"

namespace voskary {
namespace {

using NormalizationTest = TelemetryTest;

TEST_F(NormalizationTest, MessagesBecomeTemplatesRuleByRuleInOrder) {
  struct Case {
    std::string message;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"Sign-in failed for bob.smith+x@example.co.uk at 2026-01-31T09:15:02.123Z",
       "sign-in failed for <email> at <ts>"},
      {"Retry at 2026-01-31 09:15:02+02:00 failed", "retry at <ts> failed"},
      {"Timeout 30000 ms", "timeout <n> ms"},
      {"Timeout 300 ms", "timeout 300 ms"},
      // Ten decimal digits are also hexadecimal digits: the hexadecimal rule takes them first.
      {"Request 1234567890 failed", "request <hex> failed"},
      {"Job 123E4567-E89B-12D3-A456-426614174000 ended", "job <uuid> ended"},
      {"Account va_01HQZ-x9 missing", "account <va_id> missing"},
      {"Cannot open /Users/bob/report.txt, giving up", "cannot open <path>, giving up"},
      {"Cannot open C:\\Temp\\x.log; giving up", "cannot open <path>; giving up"},
      {"Share \\\\server\\share failed", "share <path> failed"},
      // An address inside a path is an address first.
      {"Sent to /queue/bob@example.org", "sent to <path><email>"},
      {"Digest deadbeefcafe mismatch", "digest <hex> mismatch"},
      {"Digest deadbeefcafex mismatch", "digest deadbeefcafex mismatch"},
      {"Lines\r\n\tand   blanks\u2003and\u2028separators\u00a0here",
       "lines and blanks and separators here"},
      // Case mapping of the root locale, not byte by byte.
      {"\u039f\u0394\u039f\u03a3 NOT FOUND", "\u03bf\u03b4\u03bf\u03c2 not found"},
      {"Code \u0661\u0662\u0663\u0664 refused", "code <n> refused"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(client->normalizeMessage(c.message, std::nullopt), c.expected) << c.message;
}

TEST_F(NormalizationTest, ShortTemplatesTakeTheExceptionType) {
  EXPECT_EQ(client->normalizeMessage("Failed", "DecodingError"), "failed DecodingError");
  EXPECT_EQ(client->normalizeMessage("Failed", std::nullopt), "failed");
  EXPECT_EQ(client->normalizeMessage("Failed", ""), "failed");
  // Eight characters are enough, counted as characters, not bytes.
  EXPECT_EQ(client->normalizeMessage("Failed!!", "DecodingError"), "failed!!");
  EXPECT_EQ(client->normalizeMessage("Échoué", "DecodingError"), "échoué DecodingError");
  // White space alone comes back lower-cased but as it was.
  EXPECT_EQ(client->normalizeMessage("  ", std::nullopt), "  ");
  EXPECT_EQ(client->normalizeMessage("", std::nullopt), "");
  EXPECT_EQ(client->normalizeMessage(" \n ", "IOError"), "IOError");
}

TEST_F(NormalizationTest, OnlyTheStartOfAHugeMessageIsRead) {
  // A long run that a regular expression would rescan from every start.
  std::string hostile = "@ " + std::string(200'000, 'g') + " bob@example.org";
  EXPECT_EQ(client->normalizeMessage(hostile, std::nullopt), "@ " + std::string(65'534, 'g'));
  // Cut on a character boundary.
  std::string wide = std::string(65'535, 'x') + "\u00e9 tail";
  EXPECT_EQ(client->normalizeMessage(wide, std::nullopt), std::string(65'535, 'x'));
}

TEST_F(NormalizationTest, FrameDigestsIgnoreArgumentsReturnTypesCaseAndLaterFrames) {
  const auto digest = client->computeFrameDigest({"Foo.bar(x:) -> Int", "  Baz.QUX()  "});
  EXPECT_EQ(digest, client->computeFrameDigest({"foo.bar", "baz.qux"}));
  // SHA-256 of "foo.bar|baz.qux", computed by hand.
  EXPECT_EQ(digest, "fb88ec7cdf6b");
  EXPECT_EQ(client->computeFrameDigest({"a", "b", "c", "d"}),
            client->computeFrameDigest({"a", "b", "c", "e"}));
  EXPECT_EQ(client->computeFrameDigest({}).size(), 12u);
}

TEST_F(NormalizationTest, TheDailyTokenFollowsTheUTCDay) {
  const auto before = *platform::DateFormats::parseISO8601(
      "2027-01-15T23:59:59.999Z", platform::DateFormats::FractionalSeconds::included);
  const auto morning = *platform::DateFormats::parseISO8601(
      "2027-01-15T00:00:00.000Z", platform::DateFormats::FractionalSeconds::included);
  const auto after = before.addingTimeInterval(0.001);

  EXPECT_EQ(ErrorFirehoseClient::utcDateString(before), "2027-01-15");
  EXPECT_EQ(ErrorFirehoseClient::utcDateString(after), "2027-01-16");
  // SHA-256 of "install-1|<day>|kestrel-fault-v2", computed by hand.
  EXPECT_EQ(ErrorFirehoseClient::computeDailyToken("install-1", morning), "3e1ce64413ac4f47");
  EXPECT_EQ(ErrorFirehoseClient::computeDailyToken("install-1", before), "3e1ce64413ac4f47");
  EXPECT_EQ(ErrorFirehoseClient::computeDailyToken("install-1", after), "3a3dc038a4456f1c");
  EXPECT_EQ(ErrorFirehoseClient::computeDailyToken("", morning), "00594fb29d9d7db2");
  EXPECT_NE(ErrorFirehoseClient::computeDailyToken("install-2", morning), "3e1ce64413ac4f47");
  // The simulated clock starts on that day.
  EXPECT_EQ(ErrorFirehoseClient::computeDailyToken("install-1"), "3e1ce64413ac4f47");
}

}  // namespace
}  // namespace voskary
