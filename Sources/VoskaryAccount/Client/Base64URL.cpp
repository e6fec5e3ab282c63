#include "VoskaryAccount/Client/Base64URL.h"

#include "Platform/Foundation/Base64.h"

namespace voskary {

std::string base64URLEncodedString(std::span<const std::uint8_t> bytes) {
  return platform::Base64::urlEncode(bytes);
}

std::optional<platform::Bytes> bytesFromBase64URLEncoded(std::string_view text) {
  return platform::Base64::urlDecode(text);
}

}  // namespace voskary
