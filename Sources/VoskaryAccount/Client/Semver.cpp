#include "VoskaryAccount/Client/Semver.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <vector>

namespace voskary {

namespace {

// A whole piece of an optional sign and one or more digits that fits 64 bits; anything else
// is 0.
std::int64_t pieceValue(std::string_view piece) {
  bool hasSign = piece.starts_with('+') || piece.starts_with('-');
  std::string_view digits = hasSign ? piece.substr(1) : piece;
  if (digits.empty()) return 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return 0;
  }
  // from_chars reads a "-" but not a "+"; keeping the "-" lets the lowest value fit.
  std::string_view number = piece.starts_with('-') ? piece : digits;
  std::int64_t value = 0;
  auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
  if (error != std::errc() || end != number.data() + number.size()) return 0;
  return value;
}

std::vector<std::int64_t> pieces(std::string_view version) {
  std::vector<std::int64_t> out;
  while (!version.empty()) {
    auto dot = version.find('.');
    auto piece = version.substr(0, dot);
    if (!piece.empty()) out.push_back(pieceValue(piece));
    if (dot == std::string_view::npos) break;
    version.remove_prefix(dot + 1);
  }
  return out;
}

}  // namespace

int Semver::compare(std::string_view a, std::string_view b) {
  auto left = pieces(a);
  auto right = pieces(b);
  for (std::size_t i = 0; i < std::max(left.size(), right.size()); ++i) {
    std::int64_t x = i < left.size() ? left[i] : 0;
    std::int64_t y = i < right.size() ? right[i] : 0;
    if (x != y) return x > y ? 1 : -1;
  }
  return 0;
}

}  // namespace voskary
