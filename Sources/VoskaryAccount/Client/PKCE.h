#pragma once

#include <string>

namespace voskary {

// A proof key for code exchange (RFC 7636, method S256): the verifier the client keeps and
// the challenge it sends ahead of it.
class PKCE {
 public:
  // The challenge of any verifier text; no rule on its length or alphabet applies.
  explicit PKCE(std::string codeVerifier);
  // A verifier of 32 secure random bytes in base64url (43 characters).
  static PKCE generate();

  const std::string& codeVerifier() const { return codeVerifier_; }
  // Base64url of the SHA-256 of the verifier's UTF-8 bytes (43 characters).
  const std::string& codeChallenge() const { return codeChallenge_; }
  const std::string& codeChallengeMethod() const { return codeChallengeMethod_; }

  bool operator==(const PKCE&) const = default;

 private:
  std::string codeVerifier_;
  std::string codeChallenge_;
  std::string codeChallengeMethod_;
};

}  // namespace voskary
