#include "Platform/Security/SHA256.h"

#include <gtest/gtest.h>

#include "Platform/Foundation/Base64.h"
#include "Platform/Foundation/Hex.h"

namespace platform {
namespace {

TEST(SHA256Tests, HashesThePublishedVectors) {
  EXPECT_EQ(SHA256::hexDigest(std::string_view("abc")),
            "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(SHA256::hexDigest(std::string_view("")),
            "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(SHA256::hexDigest(
                std::string_view("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq")),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  const Bytes bytes = {'a', 'b', 'c'};
  EXPECT_EQ(SHA256::hash(bytes), SHA256::hash(std::string_view("abc")));
}

// RFC 7636 appendix B: the S256 code challenge is base64url(SHA-256(verifier)).
TEST(SHA256Tests, GivesThePKCEChallengeOfTheStandard) {
  const Bytes verifierOctets = {116, 24,  223, 180, 151, 153, 224, 37,  79,  250, 96,
                                125, 216, 173, 187, 186, 22,  212, 37,  77,  105, 214,
                                191, 240, 91,  88,  5,   88,  83,  132, 141, 121};
  const std::string verifier = "dBjftJeZ4CVP-mB92K27uhbUJU1p1r_wW1gFWFOEjXk";
  EXPECT_EQ(Base64::urlEncode(verifierOctets), verifier);
  EXPECT_EQ(Base64::urlEncode(SHA256::hash(verifier)),
            "E9Melhoa2OwvFrEMTJguCHaoeK1t8URWbuGJSstw-cM");
}

TEST(HexTests, WritesBothCasesAndReadsDigits) {
  const Bytes bytes = {0x00, 0x9F, 0xA0, 0xFF};
  EXPECT_EQ(Hex::encode(bytes), "009fa0ff");
  EXPECT_EQ(Hex::encode(bytes, Hex::LetterCase::upper), "009FA0FF");
  EXPECT_EQ(Hex::digitValue('7'), 7);
  EXPECT_EQ(Hex::digitValue('b'), 11);
  EXPECT_EQ(Hex::digitValue('F'), 15);
  EXPECT_EQ(Hex::digitValue('g'), -1);
}

}  // namespace
}  // namespace platform
