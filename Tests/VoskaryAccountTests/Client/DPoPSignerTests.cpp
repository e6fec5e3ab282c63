#include "VoskaryAccount/Client/DPoPSigner.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Platform/Foundation/JSONSerialization.h"
#include "Platform/Security/SHA256.h"
#include "Support/CompactJWS.h"
#include "Support/SimTest.h"
#include "VoskaryAccount/Client/Base64URL.h"
#include "VoskaryAccount/Client/VoskaryError.h"

namespace voskary {
namespace {

using platform::Bytes;

std::string dpopReason(const std::function<void()>& body) {
  try {
    body();
  } catch (const VoskaryError& error) {
    if (auto dpop = error.as<VoskaryError::DpopUnavailable>()) return dpop->reason;
    return "other VoskaryError";
  }
  return "no error";
}

class DPoPSignerTests : public platform::testing::SimTest {
 protected:
  // Checks a proof's shape and signature and gives its decoded claims.
  std::string checkedClaims(const DPoPSigner& signer, const std::string& proof) {
    EXPECT_EQ(proof.find('='), std::string::npos);
    auto jws = testing::CompactJWS::parse(proof);
    EXPECT_TRUE(jws) << proof;
    if (!jws) return {};
    const auto& jwk = signer.publicJWK();
    EXPECT_EQ(jws->header, R"({"alg":"ES256","jwk":{"crv":"P-256","kty":"EC","x":")" + jwk.at("x") +
                               R"(","y":")" + jwk.at("y") + R"("},"typ":"dpop+jwt"})");
    EXPECT_EQ(jws->signature.size(), 64u);
    EXPECT_TRUE(jws->verifies(jwk.at("x"), jwk.at("y")));
    return jws->claims;
  }
};

TEST_F(DPoPSignerTests, ProofCarriesExactlyTheHeaderAndClaimsAndVerifies) {
  DPoPSigner signer;
  platform::URL url("https://id.voskary.test/api/app-sessions/refresh?x=1#f");

  std::string claims = checkedClaims(signer, signer.generateProof(url, "post", std::nullopt));
  auto json = platform::JSONSerialization::parse(claims);
  std::string jti = json.at("jti").get<std::string>();
  EXPECT_EQ(jti.size(), 22u);
  EXPECT_EQ(claims, R"({"htm":"POST","htu":"https://id.voskary.test/api/app-sessions/refresh",)"
                    R"("iat":1800000000,"jti":")" +
                        jti + R"("})");

  // "ath" binds the token, an empty one included; proofs of the same second differ in "jti".
  const std::pair<std::string, std::string> tokens[] = {
      {"abc", "ungWv48Bz-pBQUDeXa4iI7ADYaOWF3qctBD_YfIAFa0"},
      {"", "47DEQpj8HBSa-_TImW-5JCeuQeRkm5NMpJWZG3hSuFU"},
  };
  for (const auto& [token, ath] : tokens) {
    auto withToken = platform::JSONSerialization::parse(
        checkedClaims(signer, signer.generateProof(url, "GET", token)));
    EXPECT_EQ(withToken.at("ath"), ath);
    EXPECT_EQ(withToken.at("htm"), "GET");
    EXPECT_NE(withToken.at("jti"), jti);
  }
}

TEST_F(DPoPSignerTests, ThumbprintFollowsRFC7638) {
  // The key and thumbprint of the DPoP proof example in RFC 9449.
  DPoPSigner::JWK jwk = {{"kty", "EC"},
                         {"x", "l8tFrhx-34tV3hRICRDY9zCkDlpBhF42UQUfWVAWBFs"},
                         {"y", "9VE4jf_Ok_o64zbTTlcuNJajHmt6v9TDVrU0CdvGRDA"},
                         {"crv", "P-256"}};
  EXPECT_EQ(DPoPSigner::thumbprint(jwk), "0ZcOCORZNYy-DWpqq30jZyJGHTN0d2HglBV3uiguA4I");
  // Members other than the four take no part.
  jwk["use"] = "sig";
  EXPECT_EQ(DPoPSigner::thumbprint(jwk), "0ZcOCORZNYy-DWpqq30jZyJGHTN0d2HglBV3uiguA4I");

  DPoPSigner signer;
  EXPECT_EQ(signer.jktThumbprint(), DPoPSigner::thumbprint(signer.publicJWK()));
  EXPECT_EQ(signer.jktThumbprint().size(), 43u);
  EXPECT_EQ(signer.publicJWK().size(), 4u);
}

TEST_F(DPoPSignerTests, KeyIsStoredOnceAndFoundAgain) {
  const std::string tag(DPoPSigner::applicationTag);
  struct Case {
    const char* name;
    bool hardware;
    platform::KeyToken expected;
  };
  for (const Case& c : {Case{"keychain", false, platform::KeyToken::software},
                        Case{"hardware", true, platform::KeyToken::hardware}}) {
    sim().keychain->removeKey(tag);
    sim().keyStore->setHardwareAvailable(c.hardware);
    DPoPSigner first;
    DPoPSigner second;
    EXPECT_EQ(second.publicJWK(), first.publicJWK()) << c.name;
    EXPECT_EQ(second.jktThumbprint(), first.jktThumbprint()) << c.name;
    auto keys = sim().keychain->keys();
    ASSERT_EQ(keys.size(), 1u) << c.name;
    EXPECT_EQ(keys[0].applicationTag, tag);
    EXPECT_EQ(keys[0].token, c.expected) << c.name;
  }
}

TEST_F(DPoPSignerTests, WithoutAStoreTheKeyLivesInMemoryAndStillSigns) {
  sim().keychain->failOperation(platform::sim::KeychainOperation::add,
                                platform::KeychainStatus::interactionNotAllowed);
  DPoPSigner first;
  DPoPSigner second;
  EXPECT_TRUE(sim().keychain->keys().empty());
  EXPECT_NE(first.jktThumbprint(), second.jktThumbprint());
  checkedClaims(first,
                first.generateProof(platform::URL("https://id.voskary.test/a"), "POST", "t"));

  DPoPSigner storeless(nullptr);
  checkedClaims(storeless, storeless.generateProof(platform::URL("https://id.voskary.test/a"),
                                                   "POST", std::nullopt));
}

TEST_F(DPoPSignerTests, SigningFailureIsReported) {
  DPoPSigner signer;
  sim().keyStore->setSigningFails(true);
  EXPECT_EQ(dpopReason([&] {
              (void)signer.generateProof(platform::URL("https://id.voskary.test/a"), "POST", "t");
            }),
            "sign_failed");
}

TEST(DPoPSignerDERTests, ConvertsDERToFixedWidthComponents) {
  // r: 33 bytes with a leading zero; s: 31 bytes.
  Bytes r(32, 0xAB), s(31, 0x17);
  Bytes der = {0x30, 0x44, 0x02, 0x21, 0x00};
  der.insert(der.end(), r.begin(), r.end());
  der.insert(der.end(), {0x02, 0x1f});
  der.insert(der.end(), s.begin(), s.end());
  Bytes expected = r;
  expected.push_back(0x00);
  expected.insert(expected.end(), s.begin(), s.end());
  EXPECT_EQ(DPoPSigner::joseSignature(der), expected);

  // Long-form lengths read as well.
  Bytes longForm = {0x30, 0x81, 0x07, 0x02, 0x81, 0x01, 0x05, 0x02, 0x01, 0x07};
  Bytes small(64, 0x00);
  small[31] = 0x05;
  small[63] = 0x07;
  EXPECT_EQ(DPoPSigner::joseSignature(longForm), small);
}

TEST(DPoPSignerDERTests, RefusesMalformedDERWithoutReadingPastIt) {
  Bytes tooLong = {0x30, 0x26, 0x02, 0x21, 0x01};  // r of 33 bytes, the first not zero
  tooLong.insert(tooLong.end(), 32, 0x11);
  tooLong.insert(tooLong.end(), {0x02, 0x01, 0x01});
  const std::pair<Bytes, const char*> cases[] = {
      {{0x31, 0x06, 0x02, 0x01, 0x01, 0x02, 0x01, 0x01}, "der_not_sequence"},
      {{0x30, 0x00}, "der_not_sequence"},
      {{0x30, 0x7f, 0x02, 0x01, 0x01}, "der_not_sequence"},        // sequence runs past the end
      {{0x30, 0x84, 0xff, 0xff, 0xff, 0xff}, "der_not_sequence"},  // absurd long form
      {{0x30, 0x80, 0x02, 0x01, 0x01}, "der_not_sequence"},        // indefinite length
      {{0x30, 0x06, 0x03, 0x01, 0x01, 0x02, 0x01, 0x01}, "der_not_integer"},
      {{0x30, 0x03, 0x02, 0x01, 0x01}, "der_not_integer"},                    // no second integer
      {{0x30, 0x06, 0x02, 0x01, 0x01, 0x02, 0x05, 0x01}, "der_not_integer"},  // s past the end
      {{0x30, 0x05, 0x02, 0x01, 0x01, 0x02, 0x82}, "der_not_integer"},  // length bytes missing
      {tooLong, "der_not_integer"},
  };
  for (const auto& [der, reason] : cases) {
    EXPECT_EQ(dpopReason([&] { (void)DPoPSigner::joseSignature(der); }), reason)
        << ::testing::PrintToString(der);
  }
}

}  // namespace
}  // namespace voskary
