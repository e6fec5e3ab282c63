#pragma once

#include <atomic>
#include <memory>
#include <optional>
#include <span>

#include "Platform/Security/Keychain.h"
#include "Platform/Security/P256SigningKey.h"

namespace platform {

// A private P-256 key that the key store holds, as the product sees it: it can give its public
// key and sign, and says where it lives, but never hands out the private part.
class KeyReference {
 public:
  KeyReference(P256SigningKey key, KeyToken token,
               std::shared_ptr<const std::atomic<bool>> signingFails = nullptr)
      : key_(std::move(key)), token_(token), signingFails_(std::move(signingFails)) {}

  KeyToken token() const { return token_; }
  // The 65-byte uncompressed X9.63 point.
  Bytes publicKeyX963() const { return key_.publicKeyX963(); }
  // ECDSA with SHA-256 over `message`, in X9.62 DER; absent when the key store cannot sign.
  std::optional<Bytes> sign(std::span<const std::uint8_t> message) const {
    if (signingFails_ && signingFails_->load()) return std::nullopt;
    return key_.signatureDER(message);
  }

 private:
  P256SigningKey key_;
  KeyToken token_;
  std::shared_ptr<const std::atomic<bool>> signingFails_;
};

}  // namespace platform
