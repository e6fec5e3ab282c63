#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "Platform/Foundation/URLCharacterSet.h"

namespace platform {

// Percent-encoding of URL parts (RFC 3986 section 2.1) and the form encoding of HTML forms.
struct PercentEncoding {
  // Every byte of `text` outside `allowed` becomes "%" and two upper-case hexadecimal digits.
  static std::string encode(std::string_view text, const URLCharacterSet& allowed);

  // Replaces each "%HH" by its byte. Nothing when a "%" is not followed by two hexadecimal
  // digits. The result is bytes: it need not be valid UTF-8.
  static std::optional<std::string> decode(std::string_view text);

  // application/x-www-form-urlencoded: letters, digits, "*", "-", "." and "_" stay, a space
  // becomes "+", every other byte is percent-encoded.
  static std::string formURLEncode(std::string_view text);

  // Whether every "%" in `text` starts a "%HH" escape.
  static bool hasValidEscapes(std::string_view text);
};

}  // namespace platform
