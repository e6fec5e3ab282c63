#include "Platform/Foundation/Base64.h"

#include <array>

namespace platform {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr std::array<std::int8_t, 256> makeDecodeTable() {
  std::array<std::int8_t, 256> table{};
  for (auto& entry : table) entry = -1;
  for (int i = 0; i < 64; ++i)
    table[static_cast<unsigned char>(kAlphabet[i])] = static_cast<std::int8_t>(i);
  return table;
}
constexpr auto kDecodeTable = makeDecodeTable();

std::string encodeStandard(const std::uint8_t* data, std::size_t size) {
  std::string out;
  out.reserve((size + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 3 <= size; i += 3) {
    std::uint32_t n = (data[i] << 16) | (data[i + 1] << 8) | data[i + 2];
    out += kAlphabet[(n >> 18) & 63];
    out += kAlphabet[(n >> 12) & 63];
    out += kAlphabet[(n >> 6) & 63];
    out += kAlphabet[n & 63];
  }
  if (std::size_t rest = size - i; rest > 0) {
    std::uint32_t n = data[i] << 16;
    if (rest == 2) n |= data[i + 1] << 8;
    out += kAlphabet[(n >> 18) & 63];
    out += kAlphabet[(n >> 12) & 63];
    out += rest == 2 ? kAlphabet[(n >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

std::string toURLAlphabet(std::string text) {
  while (!text.empty() && text.back() == '=') text.pop_back();
  for (char& c : text) {
    if (c == '+') c = '-';
    if (c == '/') c = '_';
  }
  return text;
}

}  // namespace

std::string Base64::encode(std::span<const std::uint8_t> bytes) {
  return encodeStandard(bytes.data(), bytes.size());
}

std::string Base64::encode(std::string_view bytes) {
  return encodeStandard(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

std::optional<Bytes> Base64::decode(std::string_view text) {
  if (text.size() % 4 != 0) return std::nullopt;
  std::size_t padding = 0;
  if (!text.empty() && text.back() == '=') padding = text[text.size() - 2] == '=' ? 2 : 1;
  Bytes out;
  out.reserve(text.size() / 4 * 3);
  for (std::size_t i = 0; i < text.size(); i += 4) {
    bool last = i + 4 == text.size();
    std::size_t present = last ? 4 - padding : 4;
    std::uint32_t n = 0;
    for (std::size_t k = 0; k < 4; ++k) {
      int value = 0;
      if (k < present) {
        value = kDecodeTable[static_cast<unsigned char>(text[i + k])];
        if (value < 0) return std::nullopt;
      }
      n = (n << 6) | static_cast<std::uint32_t>(value);
    }
    // The unused low bits of the last character must be zero, so each text is the only one
    // for its bytes.
    if (present == 2 && (n & 0xFFFF) != 0) return std::nullopt;
    if (present == 3 && (n & 0xFF) != 0) return std::nullopt;
    out.push_back(static_cast<std::uint8_t>(n >> 16));
    if (present >= 3) out.push_back(static_cast<std::uint8_t>(n >> 8));
    if (present == 4) out.push_back(static_cast<std::uint8_t>(n));
  }
  return out;
}

std::string Base64::urlEncode(std::span<const std::uint8_t> bytes) {
  return toURLAlphabet(encode(bytes));
}

std::string Base64::urlEncode(std::string_view bytes) {
  return toURLAlphabet(encode(bytes));
}

std::optional<Bytes> Base64::urlDecode(std::string_view text) {
  std::string standard(text);
  for (char& c : standard) {
    if (c == '-') c = '+';
    if (c == '_') c = '/';
  }
  while (standard.size() % 4 != 0) standard += '=';
  return decode(standard);
}

}  // namespace platform
