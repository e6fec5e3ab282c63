#include "Platform/Security/P256SigningKey.h"

#include <gtest/gtest.h>
#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/x509.h>

#include <string_view>

namespace platform {
namespace {

std::span<const std::uint8_t> bytesOf(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

TEST(P256SigningKeyTests, DERSignaturesVerifyAndMatchTheRawForm) {
  auto key = P256SigningKey::generate();
  auto publicKey = key.publicKeyX963();
  ASSERT_EQ(publicKey.size(), 65u);
  EXPECT_EQ(publicKey[0], 0x04);

  auto message = bytesOf("header.claims");
  auto der = key.signatureDER(message);
  ASSERT_TRUE(der);
  EXPECT_EQ((*der)[0], 0x30);
  EXPECT_TRUE(P256SigningKey::verify(publicKey, message, *der));
  EXPECT_FALSE(P256SigningKey::verify(publicKey, bytesOf("header.claimz"), *der));
  EXPECT_FALSE(P256SigningKey::verify(P256SigningKey::generate().publicKeyX963(), message, *der));
  EXPECT_FALSE(P256SigningKey::verify(Bytes(65, 0x04), message, *der));

  // Each DER integer fits 32 bytes, so the signature converts to the 64-byte raw form.
  const unsigned char* cursor = der->data();
  ECDSA_SIG* parsed = d2i_ECDSA_SIG(nullptr, &cursor, static_cast<long>(der->size()));
  ASSERT_NE(parsed, nullptr);
  EXPECT_LE(BN_num_bytes(ECDSA_SIG_get0_r(parsed)), 32);
  EXPECT_LE(BN_num_bytes(ECDSA_SIG_get0_s(parsed)), 32);
  ECDSA_SIG_free(parsed);

  // A raw signature is r and s, 32 bytes each: encoded back to DER it verifies.
  auto raw = key.signatureRaw(message);
  ASSERT_TRUE(raw);
  ASSERT_EQ(raw->size(), 64u);
  ECDSA_SIG* rebuilt = ECDSA_SIG_new();
  ECDSA_SIG_set0(rebuilt, BN_bin2bn(raw->data(), 32, nullptr),
                 BN_bin2bn(raw->data() + 32, 32, nullptr));
  unsigned char* out = nullptr;
  int length = i2d_ECDSA_SIG(rebuilt, &out);
  Bytes reencoded(out, out + length);
  OPENSSL_free(out);
  ECDSA_SIG_free(rebuilt);
  EXPECT_TRUE(P256SigningKey::verify(publicKey, message, reencoded));
}

TEST(P256SigningKeyTests, PKCS8RoundTripsAndRejectsOtherKeys) {
  auto key = P256SigningKey::generate();
  auto restored = P256SigningKey::fromPKCS8(key.pkcs8());
  ASSERT_TRUE(restored);
  EXPECT_EQ(restored->publicKeyX963(), key.publicKeyX963());
  auto signature = restored->signatureDER(bytesOf("m"));
  ASSERT_TRUE(signature);
  EXPECT_TRUE(P256SigningKey::verify(key.publicKeyX963(), bytesOf("m"), *signature));

  auto withTrailer = key.pkcs8();
  withTrailer.push_back(0);
  EVP_PKEY* p384 = EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", SN_secp384r1);
  ASSERT_NE(p384, nullptr);
  PKCS8_PRIV_KEY_INFO* info = EVP_PKEY2PKCS8(p384);
  unsigned char* out = nullptr;
  int length = i2d_PKCS8_PRIV_KEY_INFO(info, &out);
  Bytes otherCurve(out, out + length);
  OPENSSL_free(out);
  PKCS8_PRIV_KEY_INFO_free(info);
  EVP_PKEY_free(p384);

  const Bytes rejected[] = {{}, Bytes{0x30, 0x03, 0x02, 0x01, 0x00}, withTrailer, otherCurve};
  for (const auto& der : rejected) EXPECT_FALSE(P256SigningKey::fromPKCS8(der)) << der.size();
}

}  // namespace
}  // namespace platform
