#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>

#include "Platform/Foundation/Value.h"

struct evp_pkey_st;

namespace platform {

// A P-256 private key for ECDSA with SHA-256, on OpenSSL's EVP interface. Copies share the
// same key; it is immutable and may sign from several threads at once.
class P256SigningKey {
 public:
  // A fresh random key. Ends the process when OpenSSL cannot make one, as a failing random
  // source does.
  static P256SigningKey generate();
  // The key of a PKCS#8 PrivateKeyInfo; absent unless it holds exactly one P-256 key.
  static std::optional<P256SigningKey> fromPKCS8(std::span<const std::uint8_t> der);

  Bytes pkcs8() const;
  // The public key as the uncompressed X9.63 point: 0x04, then x and y, 32 bytes each.
  Bytes publicKeyX963() const;

  // ECDSA over the SHA-256 of `message`: the X9.62 DER form, and the raw r‖s form of 64 bytes.
  std::optional<Bytes> signatureDER(std::span<const std::uint8_t> message) const;
  std::optional<Bytes> signatureRaw(std::span<const std::uint8_t> message) const;

  // Whether `derSignature` is a valid ECDSA-SHA256 signature of `message` by the holder of
  // `publicKeyX963`.
  static bool verify(std::span<const std::uint8_t> publicKeyX963,
                     std::span<const std::uint8_t> message,
                     std::span<const std::uint8_t> derSignature);

 private:
  explicit P256SigningKey(std::shared_ptr<evp_pkey_st> key) : key_(std::move(key)) {}
  std::shared_ptr<evp_pkey_st> key_;
};

}  // namespace platform
