#include "TarnwickCore/OIDTokenUtilities.h"

#include "Platform/Foundation/Base64.h"
#include "Platform/Foundation/PercentEncoding.h"
#include "Platform/Foundation/UnicodeText.h"
#include "Platform/Security/SecureRandom.h"

namespace tarnwick {

std::string OIDTokenUtilities::encodeBase64urlNoPadding(std::span<const std::uint8_t> bytes) {
  return platform::Base64::urlEncode(bytes);
}

std::string OIDTokenUtilities::randomURLSafeStringWithSize(std::size_t size) {
  return encodeBase64urlNoPadding(platform::SecureRandom::bytes(size));
}

platform::SHA256::Digest OIDTokenUtilities::sha256(std::string_view text) {
  return platform::SHA256::hash(text);
}

std::optional<std::string> OIDTokenUtilities::redact(const std::optional<std::string>& text) {
  if (!text) return std::nullopt;
  if (text->empty()) return std::string();
  // Counted in Unicode scalars, so a multi-byte character is never cut in half.
  std::size_t scalars = 0;
  for (unsigned char c : *text) {
    if ((c & 0xC0) != 0x80) ++scalars;
  }
  if (scalars <= 8) return std::string("[redacted]");
  return platform::UnicodeText::prefixScalars(*text, 6) + "...[redacted]";
}

std::string OIDTokenUtilities::formUrlEncode(std::string_view text) {
  return platform::PercentEncoding::formURLEncode(text);
}

}  // namespace tarnwick
