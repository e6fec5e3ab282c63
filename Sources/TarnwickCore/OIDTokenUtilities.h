#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "Platform/Security/SHA256.h"

namespace tarnwick {

// Random strings, digests and encodings for the secrets of a request, and the redaction of
// tokens in descriptions.
struct OIDTokenUtilities {
  static std::string encodeBase64urlNoPadding(std::span<const std::uint8_t> bytes);
  // `size` bytes from the secure random source in base64url (43 characters for 32 bytes). A
  // failing source ends the process, so a request never goes out without its secrets.
  static std::string randomURLSafeStringWithSize(std::size_t size);
  static platform::SHA256::Digest sha256(std::string_view text);
  // Nothing stays nothing and empty stays empty; up to 8 characters become "[redacted]",
  // longer texts keep their first 6 characters followed by "...[redacted]".
  static std::optional<std::string> redact(const std::optional<std::string>& text);
  // The form encoding of client credentials: letters, digits, "*", "-", ".", "_" stay, a space
  // becomes "+", everything else is percent-encoded.
  static std::string formUrlEncode(std::string_view text);
};

}  // namespace tarnwick
