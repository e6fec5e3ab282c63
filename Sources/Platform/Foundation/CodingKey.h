#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// One step of the path from the top of a coded document to a value: an object key or an
// array index ("Index 2").
struct CodingKey {
  std::string stringValue;
  std::optional<std::size_t> intValue;

  static CodingKey key(std::string_view name) { return {std::string(name), std::nullopt}; }
  static CodingKey index(std::size_t i) { return {"Index " + std::to_string(i), i}; }

  bool operator==(const CodingKey&) const = default;
};

using CodingPath = std::vector<CodingKey>;

// The path written with "." between the steps, such as "providers.Index 1".
std::string codingPathText(const CodingPath& path);

}  // namespace platform
