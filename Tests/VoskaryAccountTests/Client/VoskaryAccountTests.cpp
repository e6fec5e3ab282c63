#include "VoskaryAccount/Client/VoskaryAccount.h"

#include <gtest/gtest.h>

#include "Platform/Foundation/DecodingError.h"
#include "VoskaryAccount/Client/VoskaryJSON.h"

namespace voskary {
namespace {

using platform::DecodingError;

constexpr std::string_view kValidID = "va_0190b3c4-5d6e-7f80-9a1b-2c3d4e5f6a7b";

VoskaryAccount decodeAccount(std::string_view json) {
  return VoskaryJSON::decoder().decode<VoskaryAccount>(json);
}

DecodingError::Kind decodingFailureOf(std::string_view json) {
  try {
    decodeAccount(json);
  } catch (const DecodingError& error) {
    return error.kind();
  }
  ADD_FAILURE() << "decoded " << json;
  return DecodingError::Kind::dataCorrupted;
}

TEST(VoskaryAccountIDTests, WellFormedIsExactlyPrefixAndLowerCaseVersion7UUID) {
  const std::string valid(kValidID);
  const std::pair<std::string, bool> cases[] = {
      {valid, true},
      {"va_01234567-89ab-7def-bfff-0123456789ab", true},
      {valid + "\n", true},  // ICU's "$" allows one final line terminator
      {valid + "\r\n", true},
      {valid + "\u2028", true},
      {valid + "\n\n", false},
      {valid + " ", false},
      {valid + "0", false},
      {" " + valid, false},
      {"\n" + valid, false},
      {"va_0190B3C4-5D6E-7F80-9A1B-2C3D4E5F6A7B", false},
      {"va_0190b3c4-5d6e-4f80-9a1b-2c3d4e5f6a7b", false},  // version 4
      {"va_0190b3c4-5d6e-7f80-ca1b-2c3d4e5f6a7b", false},  // variant bits 11
      {"va_0190b3c4-5d6e-7f80-7a1b-2c3d4e5f6a7b", false},  // variant bits 01
      {"0190b3c4-5d6e-7f80-9a1b-2c3d4e5f6a7b", false},
      {"VA_0190b3c4-5d6e-7f80-9a1b-2c3d4e5f6a7b", false},
      {"vb_0190b3c4-5d6e-7f80-9a1b-2c3d4e5f6a7b", false},
      {"va_0190b3c45d6e7f809a1b2c3d4e5f6a7b", false},
      {"", false},
  };
  for (const auto& [raw, wellFormed] : cases)
    EXPECT_EQ(VoskaryAccountID{raw}.isWellFormed(), wellFormed) << raw;
}

TEST(VoskaryAccountIDTests, CodedAsABareStringWithoutFormatCheck) {
  EXPECT_EQ(VoskaryJSON::decoder().decode<VoskaryAccountID>("\"not an id\""),
            VoskaryAccountID{"not an id"});
  EXPECT_EQ(VoskaryJSON::encoder().encode(VoskaryAccountID{"va_X"}), "\"va_X\"");
  EXPECT_THROW(VoskaryJSON::decoder().decode<VoskaryAccountID>("42"), DecodingError);
  EXPECT_EQ(VoskaryAccountID{"va_X"}.description(), "va_X");
  EXPECT_NE(VoskaryAccountID{"va_x"}, VoskaryAccountID{"va_X"});
}

TEST(VoskaryAccountTests, ProvidersMayBeAbsentOrNullButAreNeverAnEmptyListThen) {
  auto missing = decodeAccount(R"({"voskary_account_id":"va_1","email_primary":"a@example.com"})");
  auto null = decodeAccount(
      R"({"voskary_account_id":"va_1","email_primary":"a@example.com","providers":null})");
  auto empty = decodeAccount(
      R"({"voskary_account_id":"va_1","email_primary":"a@example.com","providers":[]})");
  EXPECT_EQ(missing.providers, std::nullopt);
  EXPECT_EQ(missing, null);
  EXPECT_NE(missing, empty);
  EXPECT_NE(std::hash<VoskaryAccount>()(missing), std::hash<VoskaryAccount>()(empty));

  EXPECT_EQ(VoskaryJSON::encoder().encode(null),
            R"({"voskary_account_id":"va_1","email_primary":"a@example.com"})");
  EXPECT_EQ(VoskaryJSON::encoder().encode(empty),
            R"({"voskary_account_id":"va_1","email_primary":"a@example.com","providers":[]})");
}

TEST(VoskaryAccountTests, ProvidersRoundTripInOrder) {
  auto account = decodeAccount(
      R"({"voskary_account_id":"va_1","email_primary":"a@example.com",)"
      R"("providers":["password","email-link","google","apple","passkey"],"extra":true})");
  ASSERT_TRUE(account.providers);
  EXPECT_EQ(*account.providers,
            (std::vector<VoskaryProvider>{VoskaryProvider::password, VoskaryProvider::emailLink,
                                          VoskaryProvider::google, VoskaryProvider::apple,
                                          VoskaryProvider::passkey}));
  EXPECT_EQ(decodeAccount(VoskaryJSON::encoder().encode(account)), account);

  VoskaryAccount reversed{
      account.voskaryAccountId, account.emailPrimary,
      std::vector<VoskaryProvider>(account.providers->rbegin(), account.providers->rend())};
  EXPECT_NE(reversed, account);
  EXPECT_EQ(std::hash<VoskaryAccount>()(account),
            std::hash<VoskaryAccount>()(VoskaryAccount(account)));
}

TEST(VoskaryAccountTests, InvalidRecordsFailAsAWhole) {
  const std::pair<std::string_view, DecodingError::Kind> cases[] = {
      {R"({"voskary_account_id":"va_1","email_primary":"a","providers":["password","Google"]})",
       DecodingError::Kind::dataCorrupted},
      {R"({"voskary_account_id":"va_1","email_primary":"a","providers":["email_link"]})",
       DecodingError::Kind::dataCorrupted},
      {R"({"voskary_account_id":"va_1"})", DecodingError::Kind::keyNotFound},
      {R"({"voskary_account_id":"va_1","email_primary":null})", DecodingError::Kind::valueNotFound},
      {R"({"voskary_account_id":7,"email_primary":"a"})", DecodingError::Kind::typeMismatch},
      {R"({"voskary_account_id":"va_1","email_primary":"a","providers":"password"})",
       DecodingError::Kind::typeMismatch},
  };
  for (const auto& [json, kind] : cases) EXPECT_EQ(decodingFailureOf(json), kind) << json;
}

}  // namespace
}  // namespace voskary
