#include "VoskaryAccount/Client/SecureRandom.h"

#include "Platform/Foundation/Error.h"
#include "Platform/Security/SecureRandom.h"
#include "VoskaryAccount/Client/Base64URL.h"

namespace voskary {

std::string SecureRandom::urlSafeString(int byteCount) {
  platform::precondition(byteCount >= 0, "SecureRandom.urlSafeString: negative byte count");
  return base64URLEncodedString(platform::SecureRandom::bytes(static_cast<std::size_t>(byteCount)));
}

}  // namespace voskary
