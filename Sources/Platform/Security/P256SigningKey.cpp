#include "Platform/Security/P256SigningKey.h"

#include <openssl/core_names.h>
#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/param_build.h>
#include <openssl/x509.h>

#include <cstring>

#include "Platform/Foundation/FatalError.h"

namespace platform {

namespace {

constexpr std::size_t kCoordinate = 32;

std::shared_ptr<EVP_PKEY> own(EVP_PKEY* key) {
  return std::shared_ptr<EVP_PKEY>(key, EVP_PKEY_free);
}

struct MDContext {
  EVP_MD_CTX* ctx = EVP_MD_CTX_new();
  ~MDContext() { EVP_MD_CTX_free(ctx); }
};

bool isP256(EVP_PKEY* key) {
  if (!EVP_PKEY_is_a(key, "EC")) return false;
  char group[64] = {};
  std::size_t length = 0;
  if (!EVP_PKEY_get_utf8_string_param(key, OSSL_PKEY_PARAM_GROUP_NAME, group, sizeof group,
                                      &length))
    return false;
  return std::strcmp(group, SN_X9_62_prime256v1) == 0;
}

}  // namespace

P256SigningKey P256SigningKey::generate() {
  EVP_PKEY* key = EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", SN_X9_62_prime256v1);
  if (!key) fatalError("OpenSSL could not generate a P-256 key");
  return P256SigningKey(own(key));
}

std::optional<P256SigningKey> P256SigningKey::fromPKCS8(std::span<const std::uint8_t> der) {
  const unsigned char* cursor = der.data();
  PKCS8_PRIV_KEY_INFO* info =
      d2i_PKCS8_PRIV_KEY_INFO(nullptr, &cursor, static_cast<long>(der.size()));
  if (!info) return std::nullopt;
  bool whole = cursor == der.data() + der.size();
  EVP_PKEY* key = EVP_PKCS82PKEY(info);
  PKCS8_PRIV_KEY_INFO_free(info);
  if (!key) return std::nullopt;
  auto owned = own(key);
  if (!whole || !isP256(key)) return std::nullopt;
  return P256SigningKey(std::move(owned));
}

Bytes P256SigningKey::pkcs8() const {
  PKCS8_PRIV_KEY_INFO* info = EVP_PKEY2PKCS8(key_.get());
  if (!info) fatalError("OpenSSL could not encode a P-256 key");
  unsigned char* out = nullptr;
  int length = i2d_PKCS8_PRIV_KEY_INFO(info, &out);
  PKCS8_PRIV_KEY_INFO_free(info);
  if (length <= 0) fatalError("OpenSSL could not encode a P-256 key");
  Bytes bytes(out, out + length);
  OPENSSL_free(out);
  return bytes;
}

Bytes P256SigningKey::publicKeyX963() const {
  Bytes point(1 + 2 * kCoordinate);
  std::size_t length = 0;
  if (!EVP_PKEY_get_octet_string_param(key_.get(), OSSL_PKEY_PARAM_ENCODED_PUBLIC_KEY, point.data(),
                                       point.size(), &length) ||
      length != point.size() || point[0] != 0x04) {
    fatalError("OpenSSL gave no uncompressed public point for a P-256 key");
  }
  return point;
}

std::optional<Bytes> P256SigningKey::signatureDER(std::span<const std::uint8_t> message) const {
  MDContext md;
  std::size_t length = 0;
  if (!md.ctx || EVP_DigestSignInit(md.ctx, nullptr, EVP_sha256(), nullptr, key_.get()) != 1 ||
      EVP_DigestSign(md.ctx, nullptr, &length, message.data(), message.size()) != 1) {
    return std::nullopt;
  }
  Bytes signature(length);
  if (EVP_DigestSign(md.ctx, signature.data(), &length, message.data(), message.size()) != 1)
    return std::nullopt;
  signature.resize(length);
  return signature;
}

std::optional<Bytes> P256SigningKey::signatureRaw(std::span<const std::uint8_t> message) const {
  auto der = signatureDER(message);
  if (!der) return std::nullopt;
  const unsigned char* cursor = der->data();
  ECDSA_SIG* signature = d2i_ECDSA_SIG(nullptr, &cursor, static_cast<long>(der->size()));
  if (!signature) return std::nullopt;
  const BIGNUM* r = nullptr;
  const BIGNUM* s = nullptr;
  ECDSA_SIG_get0(signature, &r, &s);
  Bytes raw(2 * kCoordinate);
  bool ok = BN_bn2binpad(r, raw.data(), kCoordinate) == kCoordinate &&
            BN_bn2binpad(s, raw.data() + kCoordinate, kCoordinate) == kCoordinate;
  ECDSA_SIG_free(signature);
  if (!ok) return std::nullopt;
  return raw;
}

bool P256SigningKey::verify(std::span<const std::uint8_t> publicKeyX963,
                            std::span<const std::uint8_t> message,
                            std::span<const std::uint8_t> derSignature) {
  if (publicKeyX963.size() != 1 + 2 * kCoordinate || publicKeyX963[0] != 0x04) return false;
  OSSL_PARAM_BLD* builder = OSSL_PARAM_BLD_new();
  OSSL_PARAM_BLD_push_utf8_string(builder, OSSL_PKEY_PARAM_GROUP_NAME, SN_X9_62_prime256v1, 0);
  OSSL_PARAM_BLD_push_octet_string(builder, OSSL_PKEY_PARAM_PUB_KEY, publicKeyX963.data(),
                                   publicKeyX963.size());
  OSSL_PARAM* params = OSSL_PARAM_BLD_to_param(builder);
  OSSL_PARAM_BLD_free(builder);
  EVP_PKEY_CTX* context = EVP_PKEY_CTX_new_from_name(nullptr, "EC", nullptr);
  EVP_PKEY* key = nullptr;
  bool built = params && context && EVP_PKEY_fromdata_init(context) == 1 &&
               EVP_PKEY_fromdata(context, &key, EVP_PKEY_PUBLIC_KEY, params) == 1;
  EVP_PKEY_CTX_free(context);
  OSSL_PARAM_free(params);
  if (!built) return false;
  auto owned = own(key);
  MDContext md;
  return md.ctx && EVP_DigestVerifyInit(md.ctx, nullptr, EVP_sha256(), nullptr, key) == 1 &&
         EVP_DigestVerify(md.ctx, derSignature.data(), derSignature.size(), message.data(),
                          message.size()) == 1;
}

}  // namespace platform
