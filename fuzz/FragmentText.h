#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

// The text a differential fuzz target compares on: with an even first byte the input itself,
// otherwise a text built from `fragments` that reach the rules' corners, one fragment per byte,
// where the top byte values repeat the last fragment for the long runs some rules need. Never
// longer than `maxText` (plus one fragment).
inline std::string fragmentText(const std::uint8_t* data, std::size_t size,
                                std::span<const std::string_view> fragments, std::size_t maxText) {
  if (size == 0) return {};
  if (data[0] % 2 == 0) return std::string(reinterpret_cast<const char*>(data + 1), size - 1);
  std::string text;
  std::string_view last;
  for (std::size_t i = 1; i < size && text.size() < maxText; ++i) {
    if (data[i] >= 0xF0) {
      for (int r = 0; r < (data[i] - 0xF0 + 1) * 4 && text.size() < maxText; ++r) text += last;
      continue;
    }
    last = fragments[data[i] % fragments.size()];
    text += last;
  }
  return text;
}
