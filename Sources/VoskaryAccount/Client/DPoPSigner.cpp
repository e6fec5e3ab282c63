#include "VoskaryAccount/Client/DPoPSigner.h"

#include "Platform/Foundation/Clock.h"
#include "Platform/Foundation/DateFormats.h"
#include "Platform/Foundation/Environment.h"
#include "Platform/Foundation/JSON.h"
#include "Platform/Foundation/JSONSerialization.h"
#include "Platform/Foundation/UnicodeText.h"
#include "Platform/Security/KeyStore.h"
#include "Platform/Security/SHA256.h"
#include "VoskaryAccount/Client/Base64URL.h"
#include "VoskaryAccount/Client/SecureRandom.h"
#include "VoskaryAccount/Client/VoskaryError.h"

namespace voskary {
namespace {

std::span<const std::uint8_t> bytesOf(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// The JWK of an uncompressed P-256 point.
DPoPSigner::JWK jwkOf(const platform::Bytes& x963) {
  if (x963.empty()) throw VoskaryError::dpopUnavailable("public_key_export_failed");
  if (x963.size() != 65 || x963[0] != 0x04)
    throw VoskaryError::dpopUnavailable("public_key_format");
  std::span<const std::uint8_t> point(x963);
  return {{"kty", "EC"},
          {"crv", "P-256"},
          {"x", base64URLEncodedString(point.subspan(1, 32))},
          {"y", base64URLEncodedString(point.subspan(33, 32))}};
}

// Reads DER lengths and values without ever stepping past the end of the signature.
class DERReader {
 public:
  explicit DERReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

  bool atEnd() const { return position_ >= bytes_.size(); }
  std::uint8_t peek() const { return bytes_[position_]; }
  void skip() { ++position_; }

  // A short- or long-form length whose content fits in what is left; nothing otherwise.
  std::optional<std::size_t> length() {
    if (atEnd()) return std::nullopt;
    std::uint8_t first = bytes_[position_++];
    std::size_t value = first;
    if (first & 0x80) {
      std::size_t count = first & 0x7f;
      // Indefinite lengths and lengths beyond what any signature needs are refused.
      if (count == 0 || count > 4 || count > remaining()) return std::nullopt;
      value = 0;
      for (std::size_t i = 0; i < count; ++i) value = (value << 8) | bytes_[position_++];
    }
    if (value > remaining()) return std::nullopt;
    return value;
  }

  std::span<const std::uint8_t> take(std::size_t count) {
    auto out = bytes_.subspan(position_, count);
    position_ += count;
    return out;
  }

 private:
  std::size_t remaining() const { return bytes_.size() - position_; }

  std::span<const std::uint8_t> bytes_;
  std::size_t position_ = 0;
};

}  // namespace

DPoPSigner::DPoPSigner() : DPoPSigner(platform::env().keyStore) {}

DPoPSigner::DPoPSigner(std::shared_ptr<platform::KeyStore> keyStore) {
  setUp(keyStore.get());
  jktThumbprint_ = thumbprint(publicJWK_);
}

void DPoPSigner::setUp(platform::KeyStore* keyStore) {
  // Each step's failure only moves on to the next one.
  auto adopt = [this](const platform::KeyResult& result) {
    if (result.status != platform::KeychainStatus::success || !result.key) return false;
    try {
      publicJWK_ = jwkOf(result.key->publicKeyX963());
    } catch (const VoskaryError&) {
      return false;
    }
    keyReference_ = result.key;
    return true;
  };
  if (keyStore) {
    const std::string tag(applicationTag);
    if (adopt(keyStore->copyPrivateKey(tag))) return;
    platform::KeyGenerationAttributes hardware{
        .applicationTag = tag,
        .permanent = true,
        .token = platform::KeyToken::hardware,
        .accessControl = platform::KeyAccessControl{},
    };
    if (adopt(keyStore->createRandomKey(hardware))) return;
    platform::KeyGenerationAttributes software{.applicationTag = tag, .permanent = true};
    if (adopt(keyStore->createRandomKey(software))) return;
  }
  memoryKey_ = platform::P256SigningKey::generate();
  publicJWK_ = jwkOf(memoryKey_->publicKeyX963());
}

std::string DPoPSigner::thumbprint(const JWK& jwk) {
  std::string input = "{";
  for (const char* name : {"crv", "kty", "x", "y"}) {
    auto member = jwk.find(name);
    if (member == jwk.end()) continue;
    if (input.size() > 1) input += ",";
    input += "\"" + member->first + "\":\"" + member->second + "\"";
  }
  input += "}";
  return base64URLEncodedString(platform::SHA256::hash(input));
}

std::string DPoPSigner::generateProof(const platform::URL& htu, std::string_view htm,
                                      const std::optional<std::string>& accessToken) const {
  std::string target = htu.withPercentEncodedQuery(std::nullopt)
                           .withPercentEncodedFragment(std::nullopt)
                           .absoluteString();

  platform::JSON jwk = platform::JSON::object();
  for (const auto& [name, value] : publicJWK_) jwk[name] = value;
  platform::JSON header = {{"typ", "dpop+jwt"}, {"alg", "ES256"}, {"jwk", std::move(jwk)}};

  platform::JSON claims = {
      {"htm", platform::UnicodeText::uppercased(htm)},
      {"htu", target},
      {"iat", platform::DateFormats::unixSeconds(platform::env().clock->now())},
      {"jti", SecureRandom::urlSafeString(16)},
  };
  if (accessToken) claims["ath"] = base64URLEncodedString(platform::SHA256::hash(*accessToken));

  const platform::JSONWriteOptions compact{.sortedKeys = true, .withoutEscapingSlashes = true};
  std::string signingInput =
      base64URLEncodedString(bytesOf(platform::JSONSerialization::serialize(header, compact))) +
      "." +
      base64URLEncodedString(bytesOf(platform::JSONSerialization::serialize(claims, compact)));
  return signingInput + "." + base64URLEncodedString(sign(bytesOf(signingInput)));
}

platform::Bytes DPoPSigner::sign(std::span<const std::uint8_t> message) const {
  if (keyReference_) {
    auto der = keyReference_->sign(message);
    if (!der) throw VoskaryError::dpopUnavailable("sign_failed");
    return joseSignature(*der);
  }
  auto raw = memoryKey_->signatureRaw(message);
  if (!raw) throw VoskaryError::dpopUnavailable("sign_failed");
  return *raw;
}

platform::Bytes DPoPSigner::joseSignature(std::span<const std::uint8_t> der,
                                          std::size_t componentLength) {
  if (der.size() < 3 || der[0] != 0x30) throw VoskaryError::dpopUnavailable("der_not_sequence");
  DERReader sequence(der.subspan(1));
  auto sequenceLength = sequence.length();
  if (!sequenceLength) throw VoskaryError::dpopUnavailable("der_not_sequence");
  DERReader reader(sequence.take(*sequenceLength));

  platform::Bytes out;
  out.reserve(2 * componentLength);
  for (int i = 0; i < 2; ++i) {
    if (reader.atEnd() || reader.peek() != 0x02)
      throw VoskaryError::dpopUnavailable("der_not_integer");
    reader.skip();
    auto length = reader.length();
    if (!length) throw VoskaryError::dpopUnavailable("der_not_integer");
    auto value = reader.take(*length);
    while (value.size() > componentLength && value.front() == 0x00) value = value.subspan(1);
    // A longer integer cannot be a P-256 component; cutting it would forge a different one.
    if (value.size() > componentLength) throw VoskaryError::dpopUnavailable("der_not_integer");
    out.insert(out.end(), componentLength - value.size(), 0x00);
    out.insert(out.end(), value.begin(), value.end());
  }
  return out;
}

}  // namespace voskary
