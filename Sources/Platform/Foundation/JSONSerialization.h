#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "Platform/Foundation/JSON.h"

namespace platform {

// How JSONSerialization writes text.
struct JSONWriteOptions {
  bool sortedKeys = false;              // object keys in byte order, at every level
  bool withoutEscapingSlashes = false;  // "/" as it is rather than "\/"
};

// Reading and writing JSON text.
struct JSONSerialization {
  // Deeper documents are refused rather than walked, so that no reader or writer of a hostile
  // document runs out of stack.
  static constexpr std::size_t maxDepth = 512;

  // Throws DecodingError (data corrupted) for text that is not JSON, holds invalid UTF-8 or a
  // number out of range, or nests deeper than `maxDepth`.
  static JSON parse(std::string_view text);

  // Compact text: no white space between tokens. Non-ASCII characters are written as UTF-8;
  // invalid UTF-8 in a string is replaced by U+FFFD rather than refused.
  static std::string serialize(const JSON& value, JSONWriteOptions options = {});
};

}  // namespace platform
