#include "Platform/Security/SHA256.h"

#include <openssl/evp.h>

#include "Platform/Foundation/FatalError.h"
#include "Platform/Foundation/Hex.h"

namespace platform {

namespace {
SHA256::Digest digestOf(const void* data, std::size_t size) {
  SHA256::Digest digest{};
  unsigned int length = 0;
  // Only a broken crypto library fails here; carrying on with a wrong digest would be worse.
  if (EVP_Digest(data, size, digest.data(), &length, EVP_sha256(), nullptr) != 1 ||
      length != digest.size()) {
    fatalError("SHA-256 digest failed");
  }
  return digest;
}
}  // namespace

SHA256::Digest SHA256::hash(std::span<const std::uint8_t> bytes) {
  return digestOf(bytes.data(), bytes.size());
}

SHA256::Digest SHA256::hash(std::string_view bytes) {
  return digestOf(bytes.data(), bytes.size());
}

std::string SHA256::hexDigest(std::span<const std::uint8_t> bytes) {
  return Hex::encode(hash(bytes));
}

std::string SHA256::hexDigest(std::string_view bytes) {
  return Hex::encode(hash(bytes));
}

}  // namespace platform
