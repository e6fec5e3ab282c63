#include "Platform/Foundation/JSONSerialization.h"

#include "Platform/Foundation/DecodingError.h"

namespace platform {

namespace {

constexpr const char* kNotJSON = "The given data was not valid JSON.";

// The deepest nesting of arrays and objects, counted outside strings. Stops counting once past
// `limit`.
std::size_t nestingDepth(std::string_view text, std::size_t limit) {
  std::size_t depth = 0;
  std::size_t deepest = 0;
  bool inString = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (inString) {
      if (c == '\\') {
        ++i;
      } else if (c == '"') {
        inString = false;
      }
    } else if (c == '"') {
      inString = true;
    } else if (c == '[' || c == '{') {
      if (++depth > deepest) deepest = depth;
      if (deepest > limit) break;
    } else if ((c == ']' || c == '}') && depth > 0) {
      --depth;
    }
  }
  return deepest;
}

}  // namespace

JSON JSONSerialization::parse(std::string_view text) {
  if (nestingDepth(text, maxDepth) > maxDepth) {
    throw DecodingError(DecodingError::Kind::dataCorrupted, {},
                        std::string(kNotJSON) + " Arrays and objects nest deeper than " +
                            std::to_string(maxDepth) + " levels.");
  }
  try {
    return JSON::parse(text);
  } catch (const JSON::exception& e) {
    throw DecodingError(DecodingError::Kind::dataCorrupted, {},
                        std::string(kNotJSON) + " " + e.what());
  }
}

std::string JSONSerialization::serialize(const JSON& value, JSONWriteOptions options) {
  constexpr auto replace = nlohmann::json::error_handler_t::replace;
  std::string text = options.sortedKeys ? nlohmann::json(value).dump(-1, ' ', false, replace)
                                        : value.dump(-1, ' ', false, replace);
  if (options.withoutEscapingSlashes) return text;
  // Outside strings compact JSON has no "/", so every one is inside a string.
  std::string escaped;
  escaped.reserve(text.size());
  for (char c : text) {
    if (c == '/') escaped += '\\';
    escaped += c;
  }
  return escaped;
}

}  // namespace platform
