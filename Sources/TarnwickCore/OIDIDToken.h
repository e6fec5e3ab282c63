#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Platform/Foundation/Date.h"
#include "Platform/Foundation/URL.h"
#include "Platform/Foundation/Value.h"

namespace tarnwick {

// The header and claims of an OpenID Connect ID token, read so that a token response can be
// checked. The signature is neither required nor verified. An immutable value.
class OIDIDToken {
 public:
  OIDIDToken() = delete;
  // Nothing unless the text has a header and a claims section that decode to JSON objects and
  // the claims carry issuer, subject, audience, expiry and issue time of the right types.
  static std::optional<OIDIDToken> parse(std::string_view idToken);

  const platform::Value::Dictionary& header() const { return header_; }
  const platform::Value::Dictionary& claims() const { return claims_; }
  const platform::URL& issuer() const { return issuer_; }
  const std::string& subject() const { return subject_; }
  // A single text "aud" reads as a list of one.
  const std::vector<std::string>& audience() const { return audience_; }
  platform::Date expiresAt() const { return expiresAt_; }
  platform::Date issuedAt() const { return issuedAt_; }
  const std::optional<std::string>& nonce() const { return nonce_; }

  // One base64url section decoded and read as a JSON object; nothing otherwise.
  static std::optional<platform::Value::Dictionary> parseJWTSection(std::string_view section);
  // Base64url without padding: the alphabet mapped back and the padding restored, then
  // decoded strictly.
  static std::optional<platform::Bytes> base64urlNoPaddingDecode(std::string_view text);

 private:
  OIDIDToken(platform::Value::Dictionary header, platform::Value::Dictionary claims,
             platform::URL issuer, std::string subject, std::vector<std::string> audience,
             platform::Date expiresAt, platform::Date issuedAt, std::optional<std::string> nonce);

  platform::Value::Dictionary header_;
  platform::Value::Dictionary claims_;
  platform::URL issuer_;
  std::string subject_;
  std::vector<std::string> audience_;
  platform::Date expiresAt_;
  platform::Date issuedAt_;
  std::optional<std::string> nonce_;
};

}  // namespace tarnwick
