#include "VoskaryAccount/Client/VasResponse.h"

#include <gtest/gtest.h>

#include "Platform/Foundation/DecodingError.h"
#include "VoskaryAccount/Client/VoskaryJSON.h"

namespace voskary {
namespace {

using platform::Date;
using platform::DecodingError;

constexpr double kNoonJune30th2026 = 1782820800;  // 2026-06-30T12:00:00Z

constexpr std::string_view kMinimal =
    R"({"ok":true,"vas":"vas.token","expires_at":"2026-06-30T12:00:00Z",)"
    R"("voskary_account_id":"va_1","email":"a@example.com","app_slug":"flagrig"})";

VasResponse decode(std::string_view json) {
  return VoskaryJSON::decoder().decode<VasResponse>(json);
}

// `kMinimal` with `key` removed, or its value replaced by `value`.
std::string withKey(std::string_view key, std::optional<std::string_view> value) {
  auto json = platform::JSON::parse(kMinimal);
  if (value) {
    json[std::string(key)] = platform::JSON::parse(*value);
  } else {
    json.erase(std::string(key));
  }
  return json.dump();
}

TEST(VasResponseTests, FullAnswerDecodesEveryField) {
  auto response = decode(
      R"({"ok":true,"vas":"vas.token","session_token":"s","refresh_token":"r","expires_in":3600,)"
      R"("expires_at":"2026-06-30T12:00:00.000Z","voskary_account_id":"va_1","email":"a@example.com",)"
      R"("app_slug":"flagrig","platform":"macos","app_data_token":"adt",)"
      R"("app_data_token_expires_at":"2026-06-30T13:00:00Z",)"
      R"("voskary_lib_version":{"minVersion":"0.9.0","expires":"2026-06-30T12:00:00Z"},"new_key":[1]})");
  VasResponse expected{
      .ok = true,
      .vas = "vas.token",
      .sessionToken = "s",
      .refreshToken = "r",
      .expiresIn = 3600,
      .expiresAt = Date{kNoonJune30th2026},
      .voskaryAccountId = {"va_1"},
      .email = "a@example.com",
      .appSlug = "flagrig",
      .platform = "macos",
      .appDataToken = "adt",
      .appDataTokenExpiresAt = Date{kNoonJune30th2026 + 3600},
      .libVersionPolicy =
          LibVersionPolicy{.minVersion = "0.9.0", .expires = Date{kNoonJune30th2026}},
  };
  EXPECT_EQ(response, expected);
  EXPECT_EQ(decode(VoskaryJSON::encoder().encode(response)), response);
}

TEST(VasResponseTests, OptionalKeysMayBeAbsentOrNullAndAreNotWritten) {
  auto minimal = decode(kMinimal);
  EXPECT_EQ(minimal.refreshToken, std::nullopt);
  EXPECT_EQ(minimal.platform, std::nullopt);
  EXPECT_EQ(minimal.appDataTokenExpiresAt, std::nullopt);
  EXPECT_EQ(minimal.libVersionPolicy, std::nullopt);
  for (auto key : {"session_token", "refresh_token", "expires_in", "platform", "app_data_token",
                   "app_data_token_expires_at", "voskary_lib_version"}) {
    EXPECT_EQ(decode(withKey(key, "null")), minimal) << key;
  }
  EXPECT_EQ(VoskaryJSON::encoder().encode(minimal),
            R"({"ok":true,"vas":"vas.token","expires_at":"2026-06-30T12:00:00.000Z",)"
            R"("voskary_account_id":"va_1","email":"a@example.com","app_slug":"flagrig"})");
}

TEST(VasResponseTests, RequiredKeysMustBePresentWithTheirTypes) {
  struct Case {
    std::string_view key;
    std::optional<std::string_view> value;
    DecodingError::Kind kind;
  };
  const Case cases[] = {
      {"expires_at", std::nullopt, DecodingError::Kind::keyNotFound},
      {"vas", std::nullopt, DecodingError::Kind::keyNotFound},
      {"ok", std::nullopt, DecodingError::Kind::keyNotFound},
      {"app_slug", std::nullopt, DecodingError::Kind::keyNotFound},
      {"vas", "null", DecodingError::Kind::valueNotFound},
      {"ok", "1", DecodingError::Kind::typeMismatch},
      {"email", "false", DecodingError::Kind::typeMismatch},
      {"expires_at", "\"2026-06-30\"", DecodingError::Kind::dataCorrupted},
      {"expires_in", "\"3600\"", DecodingError::Kind::typeMismatch},
      {"expires_in", "1.5", DecodingError::Kind::dataCorrupted},  // a number that does not fit
  };
  for (const auto& c : cases) {
    try {
      decode(withKey(c.key, c.value));
      ADD_FAILURE() << c.key << " decoded";
    } catch (const DecodingError& error) {
      EXPECT_EQ(error.kind(), c.kind) << c.key;
      EXPECT_EQ(error.codingPath().front().stringValue, c.key);
    }
  }
}

}  // namespace
}  // namespace voskary
