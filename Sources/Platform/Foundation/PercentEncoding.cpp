#include "Platform/Foundation/PercentEncoding.h"

#include "Platform/Foundation/Hex.h"

namespace platform {

namespace {
constexpr char kHexDigits[] = "0123456789ABCDEF";

void appendEscaped(std::string& out, unsigned char byte) {
  out += '%';
  out += kHexDigits[byte >> 4];
  out += kHexDigits[byte & 0x0F];
}
}  // namespace

std::string PercentEncoding::encode(std::string_view text, const URLCharacterSet& allowed) {
  std::string out;
  out.reserve(text.size());
  for (unsigned char c : text) {
    if (allowed.contains(c)) {
      out += static_cast<char>(c);
    } else {
      appendEscaped(out, c);
    }
  }
  return out;
}

std::optional<std::string> PercentEncoding::decode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out += text[i];
      continue;
    }
    if (i + 2 >= text.size()) return std::nullopt;
    int high = Hex::digitValue(text[i + 1]);
    int low = Hex::digitValue(text[i + 2]);
    if (high < 0 || low < 0) return std::nullopt;
    out += static_cast<char>(high * 16 + low);
    i += 2;
  }
  return out;
}

std::string PercentEncoding::formURLEncode(std::string_view text) {
  static const URLCharacterSet kFormAllowed =
      URLCharacterSet("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789*-._ ");
  std::string out = encode(text, kFormAllowed);
  for (char& c : out) {
    if (c == ' ') c = '+';
  }
  return out;
}

bool PercentEncoding::hasValidEscapes(std::string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') continue;
    if (i + 2 >= text.size() || Hex::digitValue(text[i + 1]) < 0 ||
        Hex::digitValue(text[i + 2]) < 0) {
      return false;
    }
    i += 2;
  }
  return true;
}

}  // namespace platform
