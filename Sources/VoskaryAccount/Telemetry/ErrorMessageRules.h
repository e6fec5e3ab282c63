#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace voskary {

// The seven replacements that turn an error message into a telemetry template: e-mail
// addresses, time stamps, UUIDs, account ids, paths, hexadecimal runs and long numbers, in that
// order. Each is an ICU regular expression; `replace` gives exactly the expression's result but
// finds the matches with a linear scan where the text allows it (every rule on ASCII text, the
// ASCII-only rules on any text), since capture runs on the thread that logs.
struct ErrorMessageRules {
  static constexpr std::size_t count = 7;

  // Every match of rule `rule` in `text` replaced by its placeholder.
  static std::string replace(std::size_t rule, std::string_view text);
  // The same through the regular expression alone: the reference the scans are held to.
  static std::string replaceWithRegex(std::size_t rule, std::string_view text);
  static std::string_view placeholder(std::size_t rule);
};

}  // namespace voskary
