#pragma once

#include <functional>
#include <string>

#include "Platform/Foundation/JSONReader.h"
#include "Platform/Foundation/JSONWriter.h"

namespace voskary {

// An account's identifier as the service sent it, such as
// "va_0190b3c4-5d6e-7f80-9a1b-2c3d4e5f6a7b". Coded as a bare JSON string; decoding takes any
// string and checks nothing, `isWellFormed` checks on request.
struct VoskaryAccountID {
  std::string raw;

  const std::string& description() const { return raw; }

  // Whether `raw` is "va_" and a lower-case version-7 UUID of the standard variant, and
  // nothing else; as ICU's "$" does, one line terminator may end the text.
  bool isWellFormed() const;

  static VoskaryAccountID decode(const platform::JSONReader& json) {
    return {json.decode<std::string>()};
  }
  void encode(platform::JSONWriter& json) const { json.encode(raw); }

  bool operator==(const VoskaryAccountID&) const = default;
};

}  // namespace voskary

template <>
struct std::hash<voskary::VoskaryAccountID> {
  std::size_t operator()(const voskary::VoskaryAccountID& id) const noexcept {
    return std::hash<std::string>()(id.raw);
  }
};
