#include "VoskaryAccount/Client/VoskaryJSON.h"

#include <gtest/gtest.h>

#include <functional>

#include "Platform/Foundation/DecodingError.h"
#include "VoskaryAccount/Client/AuthScheme.h"
#include "VoskaryAccount/Client/BreadcrumbEntry.h"
#include "VoskaryAccount/Client/LibVersionPolicy.h"

namespace voskary {
namespace {

using platform::Date;
using platform::DecodingError;

constexpr double kNoonJune30th2026 = 1782820800;  // 2026-06-30T12:00:00Z

// Runs `decode` and returns the decoding error it throws (failing the test when it throws
// nothing).
DecodingError decodingErrorOf(const std::function<void()>& decode) {
  try {
    decode();
  } catch (const DecodingError& error) {
    return error;
  }
  ADD_FAILURE() << "decoded without an error";
  return DecodingError(DecodingError::Kind::dataCorrupted, {}, "");
}

Date decodeDate(const std::string& json) {
  return VoskaryJSON::decoder()
      .decode<LibVersionPolicy>("{\"expires\":" + json + "}")
      .expires.value();
}

TEST(VoskaryJSONTests, DatesReadWithOrWithoutFractionAndWithOffsets) {
  const std::pair<std::string, double> cases[] = {
      {"\"2026-06-30T12:00:00.250Z\"", kNoonJune30th2026 + 0.25},
      {"\"2026-06-30T12:00:00Z\"", kNoonJune30th2026},
      {"\"2026-06-30T14:00:00+02:00\"", kNoonJune30th2026},
      {"\"2026-06-30T14:00:00.5+02:00\"", kNoonJune30th2026 + 0.5},
  };
  for (const auto& [json, seconds] : cases) EXPECT_EQ(decodeDate(json), Date{seconds}) << json;
}

TEST(VoskaryJSONTests, UnreadableDatesFailWithTheTextAsReceived) {
  const std::pair<std::string, std::string> corrupt[] = {
      {"\"2026-06-30\"", "Bad ISO 8601 date: 2026-06-30"},
      {"\"\"", "Bad ISO 8601 date: "},
      {"\"2026-06-30 12:00:00Z\"", "Bad ISO 8601 date: 2026-06-30 12:00:00Z"},
  };
  for (const auto& [json, description] : corrupt) {
    auto error = decodingErrorOf([&] { decodeDate(json); });
    EXPECT_EQ(error.kind(), DecodingError::Kind::dataCorrupted) << json;
    EXPECT_EQ(error.debugDescription(), description);
    EXPECT_EQ(error.codingPath(), platform::CodingPath{platform::CodingKey::key("expires")});
  }
  EXPECT_EQ(decodingErrorOf([] { decodeDate("1782820800"); }).kind(),
            DecodingError::Kind::typeMismatch);
}

TEST(VoskaryJSONTests, DatesAreWrittenInUTCWithMillisecondsAndRoundTripToTheMillisecond) {
  LibVersionPolicy policy{.expires = Date{kNoonJune30th2026 + 0.25}};
  EXPECT_EQ(VoskaryJSON::encoder().encode(policy), "{\"expires\":\"2026-06-30T12:00:00.250Z\"}");

  Date precise{kNoonJune30th2026 + 0.1234567};
  auto text = VoskaryJSON::encoder().encode(LibVersionPolicy{.expires = precise});
  EXPECT_EQ(text, "{\"expires\":\"2026-06-30T12:00:00.123Z\"}");
  auto back = VoskaryJSON::decoder().decode<LibVersionPolicy>(text).expires.value();
  EXPECT_NEAR(back.secondsSince1970, precise.secondsSince1970, 0.0005);
}

TEST(VoskaryJSONTests, LibVersionPolicyKeysAreCamelCaseAndAllOptional) {
  auto policy = VoskaryJSON::decoder().decode<LibVersionPolicy>(
      R"({"minVersion":"1.0","currentVersion":null,"reason":"old","other":1})");
  EXPECT_EQ(policy, (LibVersionPolicy{.minVersion = "1.0", .reason = "old"}));
  EXPECT_EQ(VoskaryJSON::encoder().encode(policy), R"({"minVersion":"1.0","reason":"old"})");
  EXPECT_EQ(VoskaryJSON::encoder().encode(LibVersionPolicy{}), "{}");
  EXPECT_EQ(VoskaryJSON::decoder().decode<LibVersionPolicy>("{}"), LibVersionPolicy{});
}

TEST(VoskaryJSONTests, SchemesAreCodedAsTheirExactRawValue) {
  EXPECT_EQ(VoskaryJSON::decoder().decode<AuthScheme>("\"systemBrowser\""),
            AuthScheme::systemBrowser);
  EXPECT_EQ(VoskaryJSON::encoder().encode(AuthScheme::aswas), "\"aswas\"");
  auto error =
      decodingErrorOf([] { VoskaryJSON::decoder().decode<AuthScheme>("\"systembrowser\""); });
  EXPECT_EQ(error.kind(), DecodingError::Kind::dataCorrupted);
  EXPECT_EQ(error.debugDescription(),
            "Cannot initialize AuthScheme from invalid String value systembrowser");
}

TEST(VoskaryJSONTests, BreadcrumbsAreWrittenInFieldOrder) {
  BreadcrumbEntry entry{"2026-06-30T12:00:00.000Z", "warn", "auth", "Sign-in failed"};
  EXPECT_EQ(VoskaryJSON::encoder().encode(entry),
            R"({"ts":"2026-06-30T12:00:00.000Z","level":"warn","category":"auth",)"
            R"("msg":"Sign-in failed"})");
}

}  // namespace
}  // namespace voskary
