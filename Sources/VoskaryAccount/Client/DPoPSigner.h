#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "Platform/Foundation/URL.h"
#include "Platform/Foundation/Value.h"
#include "Platform/Security/KeyReference.h"
#include "Platform/Security/P256SigningKey.h"

namespace platform {
class KeyStore;
}

namespace voskary {

// Binds the account session to this device (DPoP, RFC 9449): owns one P-256 key for the life
// of the app and signs a proof for each signed-in request. The key is the one an earlier run
// stored, else a new one (held by hardware when the machine can, else an ordinary keychain
// key), else, as a last resort, a key in memory that the next run will not see. Immutable
// after construction, so proofs may be made from any thread at once.
//
// Every failure is `VoskaryError::dpopUnavailable` with a reason such as "sign_failed".
class DPoPSigner {
 public:
  using JWK = std::map<std::string, std::string>;

  // The keychain tag of the stored key.
  static constexpr std::string_view applicationTag = "dev.voskary.account.dpop.privatekey";

  // Sets up the key in the environment's key store. Never fails: without a usable store the
  // key lives in memory.
  DPoPSigner();
  explicit DPoPSigner(std::shared_ptr<platform::KeyStore> keyStore);

  // {"kty": "EC", "crv": "P-256", "x": ..., "y": ...}, coordinates in base64url.
  const JWK& publicJWK() const { return publicJWK_; }
  // The RFC 7638 thumbprint of `publicJWK`, 43 characters.
  const std::string& jktThumbprint() const { return jktThumbprint_; }

  // A compact JWS proof for one request to `htu` with method `htm`; with `accessToken` it
  // also binds the token ("ath"). An empty token is still a token.
  std::string generateProof(const platform::URL& htu, std::string_view htm,
                            const std::optional<std::string>& accessToken) const;

  // {"crv":..,"kty":..,"x":..,"y":..} of the members present, hashed and in base64url.
  static std::string thumbprint(const JWK& jwk);
  // The r‖s form of an X9.62 DER ECDSA signature, each integer padded to `componentLength`.
  static platform::Bytes joseSignature(std::span<const std::uint8_t> der,
                                       std::size_t componentLength = 32);

 private:
  void setUp(platform::KeyStore* keyStore);
  platform::Bytes sign(std::span<const std::uint8_t> message) const;

  // Exactly one of the two is set: a key the store holds (by hardware or in the keychain;
  // both sign alike), or one in memory only.
  std::shared_ptr<platform::KeyReference> keyReference_;
  std::optional<platform::P256SigningKey> memoryKey_;
  JWK publicJWK_;
  std::string jktThumbprint_;
};

}  // namespace voskary
