#include "VoskaryAccount/Client/PKCE.h"

#include "Platform/Security/SHA256.h"
#include "VoskaryAccount/Client/Base64URL.h"
#include "VoskaryAccount/Client/SecureRandom.h"

namespace voskary {

PKCE::PKCE(std::string codeVerifier)
    : codeVerifier_(std::move(codeVerifier)),
      codeChallenge_(base64URLEncodedString(platform::SHA256::hash(codeVerifier_))),
      codeChallengeMethod_("S256") {}

PKCE PKCE::generate() {
  return PKCE(SecureRandom::urlSafeString(32));
}

}  // namespace voskary
