#pragma once

#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>
#include <type_traits>

#include "Platform/Foundation/JSONReader.h"
#include "Platform/Foundation/JSONWriter.h"
#include "VoskaryAccount/Client/RawValue.h"

namespace voskary {

// A type's name as a template argument, for error messages.
template <std::size_t N>
struct TypeName {
  constexpr TypeName(const char (&name)[N]) { std::copy_n(name, N, text); }  // NOLINT: implicit
  char text[N];
};

// JSON coding of an enumeration as its text raw value, for the library's enumerations that
// have `rawValue(E)` and a list of all their cases:
//
//   template <>
//   struct platform::JSONCoding<voskary::AuthScheme>
//       : voskary::RawValueJSONCoding<voskary::allAuthSchemes, "AuthScheme"> {};
//
// A text that is none of the raw values fails as data corrupted.
template <const auto& allCases, TypeName typeName>
struct RawValueJSONCoding {
  using Enum = typename std::remove_cvref_t<decltype(allCases)>::value_type;

  static Enum decode(const platform::JSONReader& json) {
    auto raw = json.decode<std::string>();
    if (auto value = caseWithRawValue(allCases, raw)) return *value;
    json.fail("Cannot initialize " + std::string(typeName.text) + " from invalid String value " +
              raw);
  }
  static void encode(platform::JSONWriter& json, Enum value) {
    json.encode(std::string(rawValue(value)));
  }
};

}  // namespace voskary
