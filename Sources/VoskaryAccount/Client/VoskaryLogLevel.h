#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace voskary {

// The account library's log level. The cases stand in order of severity, so levels compare
// with < and >; each has a text raw value.
enum class VoskaryLogLevel { debug, info, warning, error };

inline constexpr std::array<VoskaryLogLevel, 4> allVoskaryLogLevels = {
    VoskaryLogLevel::debug, VoskaryLogLevel::info, VoskaryLogLevel::warning,
    VoskaryLogLevel::error};

constexpr std::string_view rawValue(VoskaryLogLevel level) {
  switch (level) {
    case VoskaryLogLevel::debug:
      return "debug";
    case VoskaryLogLevel::info:
      return "info";
    case VoskaryLogLevel::warning:
      return "warning";
    case VoskaryLogLevel::error:
      return "error";
  }
  return "";
}

// The level whose raw value is `raw`, exactly; nothing for any other text.
constexpr std::optional<VoskaryLogLevel> voskaryLogLevel(std::string_view raw) {
  for (VoskaryLogLevel level : allVoskaryLogLevels)
    if (rawValue(level) == raw) return level;
  return std::nullopt;
}

}  // namespace voskary
