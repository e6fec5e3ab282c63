#include "VoskaryAccount/Client/PKCE.h"

#include <gtest/gtest.h>

#include <string_view>

#include "Platform/Foundation/Error.h"
#include "VoskaryAccount/Client/Base64URL.h"
#include "VoskaryAccount/Client/SecureRandom.h"

namespace voskary {
namespace {

bool isBase64URLAlphabet(std::string_view text) {
  for (char c : text) {
    bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
              c == '-' || c == '_';
    if (!ok) return false;
  }
  return true;
}

TEST(PKCETests, ChallengeOfTheRFC7636Example) {
  PKCE pkce("dBjftJeZ4CVP-mB92K27uhbUJU1p1r_wW1gFWFOEjXk");
  EXPECT_EQ(pkce.codeVerifier(), "dBjftJeZ4CVP-mB92K27uhbUJU1p1r_wW1gFWFOEjXk");
  EXPECT_EQ(pkce.codeChallenge(), "E9Melhoa2OwvFrEMTJguCHaoeK1t8URWbuGJSstw-cM");
  EXPECT_EQ(pkce.codeChallengeMethod(), "S256");
  // Any verifier is accepted, even one no authorization server would take.
  EXPECT_EQ(PKCE("").codeChallenge(), "47DEQpj8HBSa-_TImW-5JCeuQeRkm5NMpJWZG3hSuFU");
}

TEST(PKCETests, GeneratedVerifiersAreFreshAndWellFormed) {
  PKCE first = PKCE::generate();
  PKCE second = PKCE::generate();
  for (const PKCE& pkce : {first, second}) {
    EXPECT_EQ(pkce.codeVerifier().size(), 43u);
    EXPECT_TRUE(isBase64URLAlphabet(pkce.codeVerifier()));
    EXPECT_EQ(pkce.codeChallenge().size(), 43u);
    EXPECT_EQ(pkce, PKCE(pkce.codeVerifier()));
  }
  EXPECT_NE(first.codeVerifier(), second.codeVerifier());
  EXPECT_NE(first, second);
}

TEST(SecureRandomTests, URLSafeStringLengthFollowsTheByteCount) {
  const std::pair<int, std::size_t> lengths[] = {{0, 0}, {1, 2},   {2, 3},
                                                 {3, 4}, {16, 22}, {32, 43}};
  for (auto [bytes, characters] : lengths) {
    std::string text = SecureRandom::urlSafeString(bytes);
    EXPECT_EQ(text.size(), characters) << bytes;
    EXPECT_TRUE(isBase64URLAlphabet(text)) << text;
  }
  EXPECT_THROW(SecureRandom::urlSafeString(-1), platform::ProgrammingError);
}

TEST(Base64URLTests, EncodesWithTheURLAlphabetAndNoPadding) {
  const platform::Bytes bytes = {0xfb, 0xff, 0xbf, 0x00, 0x10};
  EXPECT_EQ(base64URLEncodedString(bytes), "-_-_ABA");
  EXPECT_EQ(bytesFromBase64URLEncoded("-_-_ABA"), bytes);
}

TEST(Base64URLTests, DecodingIsStrict) {
  const platform::Bytes sixteen = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
  EXPECT_EQ(bytesFromBase64URLEncoded("AAECAwQFBgcICQoLDA0ODw"), sixteen);
  // Standard base64 passes the mapping unchanged.
  EXPECT_EQ(bytesFromBase64URLEncoded("+/+/ABA="), (platform::Bytes{0xfb, 0xff, 0xbf, 0x00, 0x10}));
  EXPECT_EQ(bytesFromBase64URLEncoded(""), platform::Bytes{});

  const std::string_view invalid[] = {
      "AAECA",      // five characters hold no whole byte count
      "AAEC AwQ",   // white space inside
      "AAECAwQ\n",  // a trailing line break
      " AAECAwQ",   // leading white space
      "AA=CAwQF",   // padding inside
      "=AAECAwQ",   // padding first
      "A===",       // too much padding
      "AAEC*wQF",   // outside the alphabet
      "AAE.",       // outside the alphabet in the last group
      "AB",         // unused low bits set
  };
  for (auto text : invalid) EXPECT_EQ(bytesFromBase64URLEncoded(text), std::nullopt) << text;
}

}  // namespace
}  // namespace voskary
