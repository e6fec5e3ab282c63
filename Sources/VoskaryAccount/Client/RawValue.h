#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string_view>

namespace voskary {

// The case among `allCases` whose text raw value (`rawValue(E)`) is `raw`, compared exactly;
// nothing for any other text.
template <class E, std::size_t N>
constexpr std::optional<E> caseWithRawValue(const std::array<E, N>& allCases,
                                            std::string_view raw) {
  for (E value : allCases)
    if (rawValue(value) == raw) return value;
  return std::nullopt;
}

}  // namespace voskary
